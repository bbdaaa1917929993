#include "ui/main_dialog.h"

#include "core/file_jobs.h"
#include "core/options.h"
#include "platform/system/path.h"
#include "res/resource.h"
#include "ui/about_dialog.h"
#include "ui/help_dialog.h"
#include "ui/settings_dialog.h"

namespace {

constexpr const char* kIdleCaption = "Druvel";
constexpr const char* kOpenFilter = "Tutti i Files (*.*)|*.*||";
constexpr UINT kOpenFlags =
    OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;

// The names a drop carries, in order; the drop handle is released.
std::vector<std::string> TakeDroppedNames(HDROP hDrop) {
    std::vector<std::string> names;
    const UINT count = DragQueryFile(hDrop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::vector<char> name(DragQueryFile(hDrop, i, nullptr, 0) + 2, '\0');
        DragQueryFile(hDrop, i, name.data(), static_cast<UINT>(name.size()));
        names.emplace_back(name.data());
    }
    DragFinish(hDrop);
    return names;
}

}  // namespace

BEGIN_MESSAGE_MAP(CMainDialog, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_DROPFILES()
    ON_COMMAND(ID_FILE_EXIT, OnCancel)
    ON_COMMAND(ID_FILE_OPEN, OnFileOpen)
    ON_COMMAND(ID_HELP_ABOUT, OnHelpAbout)
    ON_COMMAND(ID_OPTIONS_SETTINGS, OnOptionsSettings)
    ON_COMMAND(ID_HELP_TOPICS, OnHelpTopics)
END_MESSAGE_MAP()

CMainDialog::CMainDialog(CWnd* parent) : CDialog(IDD_MAIN, parent), m_hIcon(LoadIcon(IDR_MAINFRAME)) {}

BOOL CMainDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    m_bBusy = 0;
    LoadOptions();
    GetDlgItem(IDC_KEY)->SetFocus();
    return FALSE;
}

// Exit, Escape, the close box and File > Exit: ends the program when no batch runs.
void CMainDialog::OnCancel() {
    if (!m_bBusy) CDialog::OnCancel();
}

void CMainDialog::OnPaint() {
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (static_cast<int>(rect.right - rect.left) - cxIcon + 1) / 2;
    const int y = (static_cast<int>(rect.bottom - rect.top) - cyIcon + 1) / 2;
    DrawIcon(dc.m_hDC, x, y, m_hIcon);
}

HCURSOR CMainDialog::OnQueryDragIcon() { return m_hIcon; }

void CMainDialog::OnDropFiles(HDROP hDropInfo) {
    const std::vector<std::string> names = TakeDroppedNames(hDropInfo);
    if (HoldWhileBusy([this, names] { DropEntry(names); })) return;
    DropEntry(names);
}

void CMainDialog::DropEntry(const std::vector<std::string>& names) {
    SetForegroundWindow();
    if (!KeyGiven()) return;
    CString key;
    GetDlgItem(IDC_KEY)->GetWindowText(key);
    if (!BatchAcceptable(names, key)) return;

    BeginBatch();
    for (const std::string& name : names) {
        if (names.size() == 1) {
            SetFileCaption(name);
        } else {
            SetWindowText("Druvel: Multiple files...");
        }
        ProcessFile(name, key);
    }
    EndBatch();
}

void CMainDialog::OnFileOpen() {
    if (HoldWhileBusy([this] { OnFileOpen(); })) return;
    if (!KeyGiven()) return;
    CString key;
    GetDlgItem(IDC_KEY)->GetWindowText(key);

    CFileDialog dlg(TRUE, nullptr, nullptr, kOpenFlags, kOpenFilter, this);
    dlg.DoModal();  // a cancelled dialog leaves no names to take

    std::vector<std::string> names;
    POSITION pos = dlg.GetStartPosition();
    while (pos != 0) {
        const CString path = dlg.GetNextPathName(pos);
        if (path.empty()) break;
        names.push_back(path);
    }
    if (!BatchAcceptable(names, key)) return;

    BeginBatch();
    for (const std::string& name : names) {
        SetFileCaption(name);
        ProcessFile(name, key);
    }
    EndBatch();
}

void CMainDialog::OnHelpAbout() {
    if (HoldWhileBusy([this] { OnHelpAbout(); })) return;
    CAboutDialog dlg;
    dlg.DoModal();
}

void CMainDialog::OnOptionsSettings() {
    if (HoldWhileBusy([this] { OnOptionsSettings(); })) return;
    CSettingsDialog dlg;
    dlg.DoModal();
}

void CMainDialog::OnHelpTopics() {
    if (HoldWhileBusy([this] { OnHelpTopics(); })) return;
    CHelpDialog dlg;
    dlg.DoModal();
}

// The key check of both entries: no batch without a key.
bool CMainDialog::KeyGiven() {
    CWnd* keyField = GetDlgItem(IDC_KEY);
    if (keyField->GetWindowTextLength() > 0) return true;
    MessageBox("You must specify a key.");
    keyField->SetFocus();
    return false;
}

// A batch the tool cannot be given whole (a key that is not valid Unicode,
// a key too long for the system's command line, rounds the tool does not
// take) is not started: the user is told once, and no file is processed.
bool CMainDialog::BatchAcceptable(const std::vector<std::string>& names, const std::string& key) {
    const std::string problem = BatchProblem(names, key);
    if (problem.empty()) return true;
    MessageBox(problem.c_str());
    return false;
}

void CMainDialog::BeginBatch() {
    GetDlgItem(IDCANCEL)->EnableWindow(FALSE);
    m_bBusy = 1;
}

void CMainDialog::EndBatch() {
    m_bBusy = 0;
    GetDlgItem(IDCANCEL)->EnableWindow(TRUE);
    SetWindowText(kIdleCaption);
    HandleHeldInput();
}

void CMainDialog::SetFileCaption(const std::string& path) {
    const platform::PathParts parts = platform::SplitPath(path);
    SetWindowText(("Druvel: [" + parts.fname + parts.ext + "]").c_str());
}

bool CMainDialog::HoldWhileBusy(std::function<void()> input) {
    if (!m_bBusy) return false;
    m_heldInput.push_back(std::move(input));
    return true;
}

void CMainDialog::HandleHeldInput() {
    while (!m_heldInput.empty() && !m_bBusy) {
        const std::function<void()> next = std::move(m_heldInput.front());
        m_heldInput.erase(m_heldInput.begin());
        next();
    }
}
