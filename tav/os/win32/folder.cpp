// Folders are encrypted and restored by TAV on Linux only: their archive
// carries POSIX modes, links and nanosecond times that a Windows folder
// cannot hold faithfully, so the Windows tool refuses them with a clear
// message rather than restoring a different tree.
#include "tav/base/failure.h"
#include "tav/os/folder.h"

namespace tav {

namespace {

[[noreturn]] void RefuseFolder(const std::string& path) {
    throw Failure(Exit::Io, "folders are encrypted and decrypted by TAV on Linux only: " + path);
}

}  // namespace

bool FoldersSupported() { return false; }

class OutputFolder::Builder {};

FolderSource::FolderSource(const std::string& path) { RefuseFolder(path); }

FolderSource::~FolderSource() = default;

std::size_t FolderSource::ReadAt(std::uint64_t, void*, std::size_t) const { RefuseFolder("."); }

OutputFolder::OutputFolder(const std::string& target) : target_(target) { RefuseFolder(target); }

OutputFolder::~OutputFolder() = default;

void OutputFolder::Write(const void*, std::size_t) { RefuseFolder(target_); }

void OutputFolder::Complete() { RefuseFolder(target_); }

}  // namespace tav
