#include "CTesterApp.h"

#include "CTesterDlg.h"

CTesterApp::CTesterApp(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("pcrechecker"));
    // No display name: on X11 Qt appends it to every window title, and each
    // window's title is its own text exactly. The launcher names the program,
    // and the desktop file name ties the windows to it and to its icon.
    setDesktopFileName(QStringLiteral("pcrechecker"));
}

bool CTesterApp::InitInstance()
{
    CTesterDlg dlg;
    dlg.DoModal();
    return false;
}
