#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "tests/win32/file_info.h"

namespace file_info {

namespace {

std::vector<char> VersionBlock(const std::string& program) {
    DWORD ignored;
    const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoA(program.c_str(), 0, size, block.data())) block.clear();
    return block;
}

}  // namespace

bool FileVersion(const std::string& program, std::uint16_t (&version)[4]) {
    std::vector<char> block = VersionBlock(program);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    if (block.empty() || !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &size)) return false;
    version[0] = HIWORD(fixed->dwFileVersionMS);
    version[1] = LOWORD(fixed->dwFileVersionMS);
    version[2] = HIWORD(fixed->dwFileVersionLS);
    version[3] = LOWORD(fixed->dwFileVersionLS);
    return true;
}

std::string VersionString(const std::string& program, unsigned language, unsigned codePage, const std::string& name) {
    std::vector<char> block = VersionBlock(program);
    char path[128];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\%s", language, codePage, name.c_str());
    void* value = nullptr;
    UINT size = 0;
    if (block.empty() || !VerQueryValueA(block.data(), path, &value, &size) || size == 0) return "<none>";
    return static_cast<const char*>(value);
}

int IconCount(const std::string& program) {
    return static_cast<int>(ExtractIconExA(program.c_str(), -1, nullptr, nullptr, 0));
}

int FirstIconWidth(const std::string& program) {
    HICON icon = nullptr;
    if (ExtractIconExA(program.c_str(), 0, &icon, nullptr, 1) != 1) return 0;
    ICONINFO info{};
    BITMAP bitmap{};
    if (GetIconInfo(icon, &info)) {
        GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    DestroyIcon(icon);
    return bitmap.bmWidth;
}

}  // namespace file_info
