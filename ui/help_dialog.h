#pragma once

#include "platform/afxwin.h"
#include "res/resource.h"

// A placeholder until there is help to show; any button closes it.
class CHelpDialog : public CDialog {
public:
    explicit CHelpDialog(CWnd* parent = nullptr) : CDialog(IDD_HELP, parent) {}
};
