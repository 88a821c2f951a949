// The run-end notification on a real message bus: a private dbus-daemon,
// with a stand-in for the desktop's notification service on it.
#include "dialogs/desktop_notice.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTest>

namespace tidewell {
namespace {

// Answers Notify as a notification service does and keeps its arguments.
class NotificationService final : public QDBusVirtualObject {
 public:
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("Notify")) {
      return false;
    }
    calls.append(message.arguments());
    connection.send(message.createReply(QVariant::fromValue(7U)));
    return true;
  }
  [[nodiscard]] QString introspect(const QString& /*path*/) const override { return {}; }

  QList<QList<QVariant>> calls;
};

class PrivateBus {
 public:
  PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (daemon_.waitForStarted(5000) && daemon_.waitForReadyRead(5000)) {
      address = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
  }
  ~PrivateBus() {
    daemon_.kill();
    daemon_.waitForFinished(5000);
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  QString address;

 private:
  QProcess daemon_;
};

TEST(DesktopNotice, ReachesTheNotificationServiceAndNeedsNone) {
  PrivateBus bus;
  if (bus.address.isEmpty()) {
    GTEST_SKIP() << "no dbus-daemon";
  }
  QDBusConnection sender = QDBusConnection::connectToBus(bus.address, QStringLiteral("sender"));
  ASSERT_TRUE(sender.isConnected());
  // No service yet: the bus's error answer is not waited for.
  sendNoticeOn(sender, QStringLiteral("Tidewell: the run has ended"), QStringLiteral("Finished."));

  QDBusConnection desktop = QDBusConnection::connectToBus(bus.address, QStringLiteral("desktop"));
  NotificationService service;
  ASSERT_TRUE(desktop.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &service));
  ASSERT_TRUE(desktop.registerService(QStringLiteral("org.freedesktop.Notifications")));
  sendNoticeOn(sender, QStringLiteral("Tidewell: the run has ended"), QStringLiteral("Finished."));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !service.calls.isEmpty(); }));
  const QList<QVariant>& notify = service.calls.front();
  ASSERT_EQ(notify.size(), 8);
  EXPECT_EQ(notify[0].toString(), "Tidewell");                     // app name
  EXPECT_EQ(notify[3].toString(), "Tidewell: the run has ended");  // summary
  EXPECT_EQ(notify[4].toString(), "Finished.");                    // body

  desktop.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
  QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
  QDBusConnection::disconnectFromBus(QStringLiteral("sender"));
  // A bus that cannot be reached: nothing happens.
  QDBusConnection gone =
      QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("gone"));
  EXPECT_FALSE(gone.isConnected());
  sendNoticeOn(gone, QStringLiteral("Tidewell: the run has ended"), QStringLiteral("Finished."));
  QDBusConnection::disconnectFromBus(QStringLiteral("gone"));
}

}  // namespace
}  // namespace tidewell
