#pragma once

#include <QString>

class QDBusConnection;

namespace tidewell {

// Tells the desktop that something happened (a run ended) through the
// freedesktop notification service (org.freedesktop.Notifications on the
// session bus). It never waits: the message is sent without asking for the
// reply, and where there is no session bus it does nothing at all, so a
// desktop without a notification service costs the program nothing.
void sendDesktopNotice(const QString& summary, const QString& body);
// The same on a given bus connection (nothing when it is not connected).
void sendNoticeOn(const QDBusConnection& bus, const QString& summary, const QString& body);

}  // namespace tidewell
