#include "ui/druvel_app.h"

#include "ui/main_dialog.h"

BEGIN_MESSAGE_MAP(CDruvelApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CDruvelApp::CDruvelApp() = default;

CDruvelApp theApp;

BOOL CDruvelApp::InitInstance() {
    Enable3dControls();
    CMainDialog dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
