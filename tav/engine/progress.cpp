#include "tav/engine/progress.h"

#include <cstdio>

#include "tav/base/printable.h"
#include "tav/os/notify.h"
#include "tav/os/terminal.h"

namespace tav {

namespace {
constexpr std::uint64_t kShowFrom = 16 * 1024 * 1024;
constexpr std::uint64_t kNotifyFrom = 256 * 1024 * 1024;
}  // namespace

Progress::Progress(const std::string& action, const std::string& name, std::uint64_t total)
    : label_(action + " " + Printable(name)),
      total_(total),
      enabled_(total >= kShowFrom && ErrorsGoToATerminal()),
      notifies_(total >= kNotifyFrom && NotificationsAvailable()) {}

Progress::~Progress() {
    if (enabled_ && shown_ >= 0) WriteError("\n");
}

void Progress::Advance(std::uint64_t bytes) {
    done_ += bytes;
    if (!enabled_ && !notifies_) return;
    const int percent = static_cast<int>(done_ * 100 / total_);
    if (percent == shown_) return;
    if (notifies_ && (shown_ < 0 || percent / 10 != shown_ / 10)) {
        notification_ = ShowNotification(label_ + " " + std::to_string(percent) + "%", notification_, false);
    }
    shown_ = percent;
    if (!enabled_) return;
    WriteError("\rTAV: " + label_ + " " + std::to_string(percent) + "%");
}

}  // namespace tav
