// Writes the Windows resource script for the resources in res/resources.cpp,
// so that Druvel.exe carries the very dialogs, menu, icon and version block
// the other backends build their windows from:
//   make_rc <folder>  ->  druvel.rc, druvel.ico, druvel.manifest
// Built and run on the build machine; windres compiles the script.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/resources.h"
#include "res/resource.h"

namespace {

constexpr UINT kChildStyle = 0x40000000u;  // WS_CHILD
constexpr char kBackground = '.';          // the icon's letter that is left transparent

std::string Quoted(const char* text) {
    std::string quoted = "\"";
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '"') quoted += '"';  // a quote inside a resource string is doubled
        quoted += *c;
    }
    return quoted + '"';
}

std::string Hex(UINT value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

const char* ClassOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::GroupBox:
    case ControlKind::CheckBox:
        return "Button";
    case ControlKind::Static:
        return "Static";
    case ControlKind::Edit:
        return "Edit";
    case ControlKind::ComboBox:
        return "ComboBox";
    }
    return "Static";
}

// The dialog is created hidden and shown once the program has set it up.
void WriteDialog(std::ostream& rc, const DialogTemplate& dialog) {
    rc << dialog.id << " DIALOGEX 0, 0, " << dialog.cx << ", " << dialog.cy << "\n"
       << "STYLE " << Hex(dialog.style & ~WS_VISIBLE) << "\n"
       << "EXSTYLE " << Hex(dialog.exStyle) << "\n"
       << "CAPTION " << Quoted(dialog.caption) << "\n";
    if (dialog.menuId != 0) rc << "MENU " << dialog.menuId << "\n";
    rc << "FONT " << dialog.pointSize << ", " << Quoted(dialog.fontName) << "\nBEGIN\n";
    for (const ControlTemplate& control : dialog.controls) {
        rc << "    CONTROL " << Quoted(control.text) << ", " << control.id << ", \"" << ClassOf(control.kind) << "\", "
           << Hex(control.style | kChildStyle) << ", " << control.x << ", " << control.y << ", " << control.cx << ", "
           << control.cy << "\n";
    }
    rc << "END\n\n";
}

void WriteMenu(std::ostream& rc, const MenuTemplate& menu) {
    rc << menu.id << " MENU\nBEGIN\n";
    for (const MenuPopup& popup : menu.popups) {
        rc << "    POPUP " << Quoted(popup.text) << "\n    BEGIN\n";
        for (const MenuItem& item : popup.items) {
            if (item.text == nullptr) {
                rc << "        MENUITEM SEPARATOR\n";
            } else {
                rc << "        MENUITEM " << Quoted(item.text) << ", " << item.command << (item.grayed ? ", GRAYED" : "")
                   << "\n";
            }
        }
        rc << "    END\n";
    }
    rc << "END\n\n";
}

void WriteVersion(std::ostream& rc, const VersionBlock& version) {
    char block[16];
    std::snprintf(block, sizeof block, "%04X%04X", version.language, version.codePage);
    const auto numbers = [](const std::uint16_t (&v)[4]) {
        return std::to_string(v[0]) + "," + std::to_string(v[1]) + "," + std::to_string(v[2]) + "," +
               std::to_string(v[3]);
    };
    rc << "1 VERSIONINFO\n"
       << "FILEVERSION " << numbers(version.fileVersion) << "\n"
       << "PRODUCTVERSION " << numbers(version.productVersion) << "\n"
       << "FILEFLAGSMASK 0x3F\nFILEFLAGS 0x0\nFILEOS 0x40004\nFILETYPE 0x1\nFILESUBTYPE 0x0\n"
       << "BEGIN\n    BLOCK \"StringFileInfo\"\n    BEGIN\n        BLOCK \"" << block << "\"\n        BEGIN\n";
    for (const auto& [key, value] : version.strings) {
        rc << "            VALUE " << Quoted(key) << ", " << Quoted(value) << "\n";
    }
    rc << "        END\n    END\n    BLOCK \"VarFileInfo\"\n    BEGIN\n"
       << "        VALUE \"Translation\", " << Hex(version.language) << ", " << version.codePage << "\n"
       << "    END\nEND\n";
}

void Put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

// One icon image: a 32-bit bitmap, bottom row first, with its opacity also
// in the 1-bit mask that older systems go by.
std::string IconBitmap(const IconImage& icon) {
    std::string bits;
    Put32(bits, 40);
    Put32(bits, static_cast<std::uint32_t>(icon.width));
    Put32(bits, static_cast<std::uint32_t>(icon.height * 2));
    Put16(bits, 1);
    Put16(bits, 32);
    for (int i = 0; i < 6; ++i) Put32(bits, 0);
    for (int y = icon.height - 1; y >= 0; --y) {
        for (int x = 0; x < icon.width; ++x) {
            const bool transparent = icon.rows[y][x] == kBackground;
            const std::uint32_t rgb = icon.Pixel(x, y);
            Put32(bits, transparent ? 0u : (0xFF000000u | rgb));
        }
    }
    const int maskRowBytes = (icon.width + 31) / 32 * 4;
    for (int y = icon.height - 1; y >= 0; --y) {
        std::vector<unsigned char> row(static_cast<std::size_t>(maskRowBytes), 0);
        for (int x = 0; x < icon.width; ++x) {
            if (icon.rows[y][x] == kBackground) row[static_cast<std::size_t>(x / 8)] |= 0x80 >> (x % 8);
        }
        bits.append(row.begin(), row.end());
    }
    return bits;
}

std::string IconFile(const IconImage& icon) {
    const std::string bitmap = IconBitmap(icon);
    std::string file;
    Put16(file, 0);
    Put16(file, 1);  // an icon
    Put16(file, 1);  // one image
    file += static_cast<char>(icon.width);
    file += static_cast<char>(icon.height);
    file += '\0';  // no palette
    file += '\0';
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<std::uint32_t>(bitmap.size()));
    Put32(file, 6 + 16);
    return file + bitmap;
}

// Common controls 6 (the system's current look), DPI awareness, and no
// request for administrator rights; "*" lets the system pick the controls
// of the program's own architecture, for the 32-bit and the 64-bit build.
std::string Manifest(const VersionBlock& version) {
    const std::uint16_t* v = version.fileVersion;
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="Druvel" version=")" +
           std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]) +
           R"(" processorArchitecture="*"/>
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                        processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security><requestedPrivileges><requestedExecutionLevel level="asInvoker" uiAccess="false"/></requestedPrivileges></security>
  </trustInfo>
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings><dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware></windowsSettings>
  </application>
</assembly>
)";
}

bool WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary);
    out << contents;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_rc <folder>\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    std::ostringstream rc;
    rc << "// Generated from res/resources.cpp by res/make_rc.cpp; edit those instead.\n\n"
       << IDR_MAINFRAME << " ICON " << Quoted((folder + "/druvel.ico").c_str()) << "\n"
       << "1 24 " << Quoted((folder + "/druvel.manifest").c_str()) << "\n\n";
    WriteMenu(rc, *FindMenu(IDR_MAINMENU));
    for (int id : {IDD_MAIN, IDD_SETTINGS, IDD_ABOUT, IDD_HELP}) WriteDialog(rc, *FindDialogTemplate(id));
    WriteVersion(rc, GetVersionBlock());

    const bool written = WriteFile(folder + "/druvel.rc", rc.str()) &&
                         WriteFile(folder + "/druvel.ico", IconFile(*LoadIconResource(IDR_MAINFRAME))) &&
                         WriteFile(folder + "/druvel.manifest", Manifest(GetVersionBlock()));
    if (!written) std::fprintf(stderr, "make_rc: cannot write into %s\n", folder.c_str());
    return written ? 0 : 1;
}
