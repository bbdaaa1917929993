#pragma once

#include "platform/afxwin.h"

// The application object: runs the main window and ends when it closes.
class CDruvelApp : public CWinApp {
public:
    CDruvelApp();
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CDruvelApp theApp;
