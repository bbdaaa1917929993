#pragma once

#include "platform/afxwin.h"
#include "res/resource.h"

// Name, version and credits; any button closes it.
class CAboutDialog : public CDialog {
public:
    explicit CAboutDialog(CWnd* parent = nullptr) : CDialog(IDD_ABOUT, parent) {}
};
