#include "platform/system/win32/wide.h"

#include <windows.h>

#include "platform/text.h"

namespace platform {

bool WideFromText(std::string_view text, std::wstring& wide) {
    std::u16string units;
    const bool converted = Utf16FromUtf8(text, units);
    wide.assign(units.begin(), units.end());
    return converted;
}

std::wstring Wide(std::string_view text) {
    std::wstring wide;
    return WideFromText(text, wide) ? wide : std::wstring();
}

std::string TextFromWide(std::wstring_view wide) { return Utf8FromUtf16(std::u16string(wide.begin(), wide.end())); }

bool SystemPath(const std::string& path, std::wstring& full) {
    std::wstring wide;
    if (!WideFromText(path, wide) || wide.empty()) return false;
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    full.assign(size, L'\0');
    full.resize(size == 0 ? 0 : GetFullPathNameW(wide.c_str(), size, full.data(), nullptr));
    if (full.empty()) return false;
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return true;
    if (full.rfind(L"\\\\", 0) == 0) {
        full.replace(0, 2, L"\\\\?\\UNC\\");
    } else {
        full.insert(0, L"\\\\?\\");
    }
    return true;
}

}  // namespace platform
