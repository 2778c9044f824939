#include "CTesterApp.h"

#include "CTesterDlg.h"
#include "PromptForFile.h"

CTesterApp::CTesterApp(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("pcrechecker"));
    setApplicationDisplayName(QStringLiteral("PCRE Checker"));
    setDesktopFileName(QStringLiteral("pcrechecker"));
    if (m_scratchSettings.isValid())
        RedirectUserSettings(m_scratchSettings.path());
}

bool CTesterApp::InitInstance()
{
    CTesterDlg dlg;
    dlg.DoModal();
    return false;
}
