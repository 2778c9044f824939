#include "CTesterApp.h"

#include "CTesterDlg.h"

CTesterApp::CTesterApp(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("pcrechecker"));
    setApplicationDisplayName(QStringLiteral("PCRE Checker"));
    setDesktopFileName(QStringLiteral("pcrechecker"));
}

bool CTesterApp::InitInstance()
{
    CTesterDlg dlg;
    dlg.DoModal();
    return false;
}
