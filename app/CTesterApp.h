#pragma once
// The application object: runs the tester window modally; when the window
// closes, the program ends.

#include <QApplication>

class CTesterApp : public QApplication
{
    Q_OBJECT
public:
    CTesterApp(int &argc, char **argv);

    // Shows the tester window until it is closed. Always returns false: the
    // program then ends without a message loop of its own.
    bool InitInstance();
};
