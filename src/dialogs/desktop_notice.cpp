#include "dialogs/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>
#include <QtGlobal>

namespace tidewell {

namespace {

// Only a bus that is announced or sits at its usual place is used: asking
// for the session bus otherwise may start a bus daemon (autolaunch).
bool sessionBusAnnounced() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
    return true;
  }
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

}  // namespace

void sendDesktopNotice(const QString& summary, const QString& body) {
  if (sessionBusAnnounced()) {
    sendNoticeOn(QDBusConnection::sessionBus(), summary, body);
  }
}

void sendNoticeOn(const QDBusConnection& bus, const QString& summary, const QString& body) {
  if (!bus.isConnected()) {
    return;
  }
  QDBusMessage notify = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tidewell"));
  notify << QStringLiteral("Tidewell") << 0U << QStringLiteral("tidewell") << summary << body << QStringList() << hints
         << -1;
  // No reply is waited for; without a notification service the bus answers
  // with an error that nobody reads.
  notify.setAutoStartService(false);
  bus.send(notify);
}

}  // namespace tidewell
