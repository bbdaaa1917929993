#pragma once

#include <cstdint>
#include <string>

namespace tav {

// A percentage on standard error for large files, shown only when standard
// error is a terminal, so scripts and Druvel see nothing of it. Without a
// terminal in a graphical session, very large files show it in a desktop
// notification instead, updated in steps of 10%. Both name the file:
// "encrypting <name> 50%".
class Progress {
public:
    Progress(const std::string& action, const std::string& name, std::uint64_t total);
    ~Progress();
    void Advance(std::uint64_t bytes);

private:
    std::string label_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    int shown_ = -1;
    bool enabled_;
    bool notifies_;
    std::uint32_t notification_ = 0;
};

}  // namespace tav
