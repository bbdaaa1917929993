#pragma once

// The shapes of resources: dialog templates, menus, icons and the version
// block, held as data that every backend builds its windows from.

#include <cstdint>
#include <vector>

#include "platform/windefs.h"

enum class ControlKind { PushButton, Static, Edit, GroupBox, ComboBox, CheckBox };

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;  // dialog units
    UINT style;        // kind-specific and WS_ styles, with Windows values
    std::vector<const char*> items = {};  // initial list items of a combo box

    bool visible() const { return (style & WS_VISIBLE) != 0; }
    bool tabStop() const { return (style & WS_TABSTOP) != 0; }
    bool isDefaultButton() const { return kind == ControlKind::PushButton && (style & 0x0Fu) == BS_DEFPUSHBUTTON; }
};

struct DialogTemplate {
    int id;
    const char* caption;
    const char* fontName;
    int pointSize;
    int cx, cy;  // client size in dialog units
    UINT style;
    UINT exStyle;
    int menuId;  // 0 for none
    std::vector<ControlTemplate> controls;  // in tab order

    bool hasCloseBox() const { return (style & WS_SYSMENU) != 0; }
    bool acceptsFiles() const { return (exStyle & WS_EX_ACCEPTFILES) != 0; }
};

struct MenuItem {
    const char* text;  // nullptr for a separator
    int command;
    bool grayed;
};

struct MenuPopup {
    const char* text;
    std::vector<MenuItem> items;
};

struct MenuTemplate {
    int id;
    std::vector<MenuPopup> popups;
};

// An icon as rows of palette letters, top row first.
struct IconImage {
    int id;
    int width, height;
    const char* const* rows;
    std::vector<std::pair<char, std::uint32_t>> palette;  // letter to 0xRRGGBB
    std::uint32_t Pixel(int x, int y) const;
};

struct VersionBlock {
    std::uint16_t fileVersion[4];
    std::uint16_t productVersion[4];
    std::uint16_t language;
    std::uint16_t codePage;
    std::vector<std::pair<const char*, const char*>> strings;
};

// Looked up by identifier; nullptr when there is none.
const DialogTemplate* FindDialogTemplate(int id);
const MenuTemplate* FindMenu(int id);
HICON LoadIconResource(int id);
const VersionBlock& GetVersionBlock();
