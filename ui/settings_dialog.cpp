#include "ui/settings_dialog.h"

#include "core/options.h"
#include "res/resource.h"

namespace {

// The check boxes in the order of the four flags of Options.
struct FlagBox {
    int id;
    std::int32_t Options::*field;
};
constexpr FlagBox kFlagBoxes[] = {
    {IDC_PARANOIA, &Options::Paranoia},
    {IDC_SFX, &Options::SFX},
    {IDC_INTCHECK, &Options::IntCheck},
    {IDC_DELENCRYPTED, &Options::DelEncrypted},
};

}  // namespace

CSettingsDialog::CSettingsDialog(CWnd* parent) : CDialog(IDD_SETTINGS, parent) {}

BOOL CSettingsDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    // Item i stands for i + 1 rounds; a value outside 1 to 8 selects nothing.
    GetDlgItem(IDC_ROUNDS)->SendMessage(CB_SETCURSEL, static_cast<WPARAM>(g_options.Rounds - 1), 0);
    for (const FlagBox& box : kFlagBoxes) {
        GetDlgItem(box.id)->SendMessage(BM_SETCHECK, static_cast<WPARAM>(g_options.*box.field), 0);
    }
    return TRUE;
}

void CSettingsDialog::OnOK() {
    g_options.Rounds = static_cast<std::int32_t>(GetDlgItem(IDC_ROUNDS)->SendMessage(CB_GETCURSEL, 0, 0)) + 1;
    for (const FlagBox& box : kFlagBoxes) {
        g_options.*box.field = static_cast<std::int32_t>(GetDlgItem(box.id)->SendMessage(BM_GETCHECK, 0, 0));
    }
    SaveOptions();
    CDialog::OnOK();
}

void CSettingsDialog::OnCancel() { CDialog::OnCancel(); }
