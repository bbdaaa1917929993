#pragma once

#include "platform/afxwin.h"

// Shows the five options and, on OK, stores and saves them. It keeps no
// values of its own: they live in g_options.
class CSettingsDialog : public CDialog {
public:
    explicit CSettingsDialog(CWnd* parent = nullptr);
    BOOL OnInitDialog() override;

protected:
    void OnOK() override;
    void OnCancel() override;
};
