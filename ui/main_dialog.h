#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/afxwin.h"

// The main window: the key field, the drop area, the Exit button and the
// menu. Each drop or "Open" runs one batch of file jobs; while it runs the
// window stays responsive, ignores the cancel path, and holds drops and
// menu commands until the batch has ended.
class CMainDialog : public CDialog {
public:
    explicit CMainDialog(CWnd* parent = nullptr);

    BOOL OnInitDialog() override;

protected:
    void OnCancel() override;
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDropFiles(HDROP hDropInfo);
    void OnFileOpen();
    void OnHelpAbout();
    void OnOptionsSettings();
    void OnHelpTopics();

    DECLARE_MESSAGE_MAP()

private:
    bool KeyGiven();
    bool BatchAcceptable(const std::vector<std::string>& names, const std::string& key);
    void DropEntry(const std::vector<std::string>& names);
    void BeginBatch();
    void EndBatch();
    void SetFileCaption(const std::string& path);
    // Keeps `input` for after the batch when one runs; else handles it now.
    bool HoldWhileBusy(std::function<void()> input);
    void HandleHeldInput();

    int m_bBusy = 0;
    HICON m_hIcon;
    std::vector<std::function<void()>> m_heldInput;
};
