#pragma once

#include <cstdint>
#include <string>

namespace tav {

// Desktop notifications through the session bus's notification service
// (title "TAV"), for a run that has no terminal to report to inside a
// graphical session, as under Druvel started from the desktop. Sent by
// GLib's gdbus tool, so TAV links no bus library; without a session bus,
// a display or that tool, nothing happens. It never fails a run.
bool NotificationsAvailable();

// True when TAV_NOTIFY is "off" (or "0"): no notifications at all.
bool NotificationsTurnedOff();

// Shows `body`, replacing notification `replaces` (0: a new one); returns
// the notification's id, or 0 when the service gave none.
std::uint32_t ShowNotification(const std::string& body, std::uint32_t replaces, bool failure);

// Where the system has no notification service for a failure (Windows),
// TAV started with this argument alone is the one window that collects the
// failure messages of this user's TAV runs (see notify.cpp of each system).
inline constexpr const char* kNoticeWindowArgument = "--notice-window";
int RunNoticeWindow();

}  // namespace tav
