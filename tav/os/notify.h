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

// Shows `body`, replacing notification `replaces` (0: a new one); returns
// the notification's id, or 0 when the service gave none.
std::uint32_t ShowNotification(const std::string& body, std::uint32_t replaces, bool failure);

}  // namespace tav
