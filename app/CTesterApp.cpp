#include "CTesterApp.h"

#include "CTesterDlg.h"

#include <QSettings>

CTesterApp::CTesterApp(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("pcrechecker"));
    setApplicationDisplayName(QStringLiteral("PCRE Checker"));
    setDesktopFileName(QStringLiteral("pcrechecker"));
    if (m_scratchSettings.isValid()) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_scratchSettings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_scratchSettings.path());
    }
}

bool CTesterApp::InitInstance()
{
    CTesterDlg dlg;
    dlg.DoModal();
    return false;
}
