#pragma once

#include <cstddef>

// Between a failing TAV and the notice window (notice_window.cpp); not for
// use elsewhere.
namespace tav {

inline constexpr const char* kNoticePipePurpose = "notices";
inline constexpr std::size_t kMaxNoticeSize = 4096;

}  // namespace tav
