#include "tav/progress.h"

#include <unistd.h>

#include <cstdio>

namespace tav {

namespace {
constexpr std::uint64_t kShowFrom = 16 * 1024 * 1024;
}

Progress::Progress(std::string label, std::uint64_t total)
    : label_(std::move(label)), total_(total), enabled_(total >= kShowFrom && ::isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
    if (enabled_ && shown_ >= 0) std::fputs("\n", stderr);
}

void Progress::Advance(std::uint64_t bytes) {
    done_ += bytes;
    if (!enabled_) return;
    const int percent = static_cast<int>(done_ * 100 / total_);
    if (percent == shown_) return;
    shown_ = percent;
    std::fprintf(stderr, "\rTAV: %s %d%%", label_.c_str(), percent);
    std::fflush(stderr);
}

}  // namespace tav
