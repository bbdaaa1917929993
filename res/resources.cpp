// Druvel's dialogs, menu, icon and version block.
#include "platform/resources.h"

#include "res/resource.h"

namespace {

constexpr UINT kChild = WS_VISIBLE;
constexpr UINT kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr UINT kDefaultButton = kChild | WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr UINT kCheckBox = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr UINT kLabel = kChild | SS_LEFT;
constexpr UINT kCentredLabel = kChild | SS_CENTER | SS_CENTERIMAGE;
constexpr UINT kGroupBox = kChild | BS_GROUPBOX;
constexpr const char* kFont = "MS Sans Serif";

const DialogTemplate kMain{
    IDD_MAIN, "Druvel", kFont, 8, 182, 86,
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_3DLOOK,
    WS_EX_ACCEPTFILES | WS_EX_APPWINDOW, IDR_MAINMENU,
    {
        {IDCANCEL, ControlKind::PushButton, "Exit", 5, 65, 170, 14, kButton},
        {IDC_STATIC, ControlKind::Static, "Drop files here...", 60, 20, 55, 10, kLabel},
        {IDC_STATIC, ControlKind::Static, "Key:", 5, 50, 20, 10, kLabel},
        {IDC_KEY, ControlKind::Edit, "", 25, 50, 150, 12, kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
        {IDC_STATIC, ControlKind::GroupBox, "", 5, 0, 170, 45, kGroupBox},
        // Invisible default button without a handler: Enter in the key field does nothing.
        {IDC_ENTER_SINK, ControlKind::PushButton, "", 113, 79, 7, 7, WS_TABSTOP | BS_DEFPUSHBUTTON},
    }};

const DialogTemplate kSettings{
    IDD_SETTINGS, "Settings", kFont, 8, 155, 118, WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 0,
    {
        {IDOK, ControlKind::PushButton, "OK", 5, 100, 50, 14, kDefaultButton},
        {IDCANCEL, ControlKind::PushButton, "Cancel", 100, 100, 50, 14, kButton},
        {IDC_STATIC, ControlKind::GroupBox, "Encryption Options", 5, 0, 145, 55, kGroupBox},
        {IDC_STATIC, ControlKind::GroupBox, "Decryption Options", 5, 60, 145, 35, kGroupBox},
        {IDC_STATIC, ControlKind::Static, "Rounds:", 10, 15, 30, 15, kLabel | SS_CENTERIMAGE},
        {IDC_ROUNDS, ControlKind::ComboBox, "", 40, 15, 40, 90, kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
         {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {IDC_PARANOIA, ControlKind::CheckBox, "Paranoia", 85, 15, 60, 15, kCheckBox},
        {IDC_SFX, ControlKind::CheckBox, "Create self decrypting executable", 10, 35, 135, 15, kCheckBox},
        {IDC_INTCHECK, ControlKind::CheckBox, "Integrity check", 10, 75, 60, 15, kCheckBox},
        {IDC_DELENCRYPTED, ControlKind::CheckBox, "Delete encrypted", 75, 75, 70, 15, kCheckBox},
    }};

const DialogTemplate kAbout{
    IDD_ABOUT, "About Druvel", kFont, 8, 176, 106, WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 0,
    {
        {IDCANCEL, ControlKind::PushButton, "OK", 65, 90, 45, 14, kButton},
        {IDC_STATIC, ControlKind::Static, "Druvel V1.00", 10, 5, 155, 10, kCentredLabel},
        {IDC_STATIC, ControlKind::Static, "Copyright (C) 2026 the Druvel authors.", 10, 20, 155, 10, kCentredLabel},
        {IDC_STATIC, ControlKind::Static, "All rights reserved.", 10, 30, 155, 10, kCentredLabel},
        {IDC_STATIC, ControlKind::Static, "Written by the Druvel authors", 10, 45, 155, 10, kCentredLabel},
        {IDC_STATIC, ControlKind::Static, "Encryption algorithms and code:", 10, 65, 155, 10,
         kCentredLabel},
        {IDC_STATIC, ControlKind::Static, "libsodium, OpenSSL's libcrypto", 10, 75, 155, 8, kCentredLabel},
        {IDC_STATIC, ControlKind::GroupBox, "", 5, 60, 165, 25, kGroupBox},
        {IDC_STATIC, ControlKind::GroupBox, "", 5, 0, 165, 60, kGroupBox},
    }};

const DialogTemplate kHelp{
    IDD_HELP, "Druvel Help", kFont, 8, 307, 76, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0,
    {
        {IDOK, ControlKind::PushButton, "OK", 5, 55, 50, 14, kDefaultButton},
        {IDCANCEL, ControlKind::PushButton, "Cancel", 250, 55, 50, 14, kButton},
        {IDC_STATIC, ControlKind::Static, "Druvel V1.00 Help", 5, 5, 295, 15, kCentredLabel | SS_SUNKEN},
        {IDC_STATIC, ControlKind::Static, "To be written... Sorry", 85, 40, 70, 15, kLabel},
    }};

const MenuTemplate kMainMenu{
    IDR_MAINMENU,
    {
        {"&File", {{"&Open", ID_FILE_OPEN, false}, {nullptr, 0, false}, {"&Exit", ID_FILE_EXIT, false}}},
        {"&Options", {{"&Settings", ID_OPTIONS_SETTINGS, false}}},
        {"&Help", {{"&Help on Druvel", ID_HELP_TOPICS, true}, {nullptr, 0, false}, {"&About Druvel", ID_HELP_ABOUT, false}}},
    }};

// A padlock: dark outline, steel shackle, gold body with a keyhole.
const char* const kIconRows[32] = {
    "................................",
    "................................",
    "...........oooooooooo...........",
    ".........oossssssssssoo.........",
    "........osssoooooooossso........",
    ".......ossoo........oosso.......",
    "......osso............osso......",
    "......oso..............oso......",
    "......oso..............oso......",
    "......oso..............oso......",
    "......oso..............oso......",
    "......oso..............oso......",
    "......oso..............oso......",
    "....oooooooooooooooooooooooo....",
    "....oyyyyyyyyyyyyyyyyyyyyyyo....",
    "....oyggggggggggggggggggggyo....",
    "....oygggggggggggggggggggggo....",
    "....oyggggggggggoogggggggggo....",
    "....oygggggggggokkoggggggggo....",
    "....oygggggggggokkoggggggggo....",
    "....oyggggggggggkkgggggggggo....",
    "....oyggggggggggkkgggggggggo....",
    "....oygggggggggokkoggggggggo....",
    "....oygggggggggokkoggggggggo....",
    "....oyggggggggggoogggggggggo....",
    "....oygggggggggggggggggggggo....",
    "....oygggggggggggggggggggggo....",
    "....oyggggggggggggggggggggbo....",
    "....obbbbbbbbbbbbbbbbbbbbbbo....",
    "....oooooooooooooooooooooooo....",
    "................................",
    "................................",
};

const IconImage kMainIcon{IDR_MAINFRAME, 32, 32, kIconRows,
                          {{'.', 0xF0F0F0}, {'o', 0x202020}, {'s', 0xA8B0B8}, {'y', 0xFFE680},
                           {'g', 0xE0B020}, {'b', 0xA07810}, {'k', 0x101010}}};

const VersionBlock kVersion{{1, 0, 0, 1},
                            {1, 0, 0, 1},
                            0x0410,
                            1200,
                            {{"FileDescription", "Druvel V1.00"},
                             {"ProductName", "Druvel V1.00"},
                             {"Comments", "Druvel V1.00"},
                             {"InternalName", "Druvel"},
                             {"OriginalFilename", "Druvel.EXE"},
                             {"FileVersion", "1, 0, 0, 1"},
                             {"ProductVersion", "1, 0, 0, 1"}}};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate* dialog : {&kMain, &kSettings, &kAbout, &kHelp}) {
        if (dialog->id == id) return dialog;
    }
    return nullptr;
}

const MenuTemplate* FindMenu(int id) { return id == kMainMenu.id ? &kMainMenu : nullptr; }

HICON LoadIconResource(int id) { return id == kMainIcon.id ? &kMainIcon : nullptr; }

const VersionBlock& GetVersionBlock() { return kVersion; }
