// Window titles as a window manager reads them on X11: Qt's xcb platform
// may add to a title what the offscreen platform never shows.

#include "CTesterApp.h"
#include "TesterDriver.h"

#include <QGuiApplication>
#include <QTimer>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// The window's _NET_WM_NAME property, which window managers show.
QString titleOnX11(QWidget *window)
{
    xcb_connection_t *connection = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const char name[] = "_NET_WM_NAME";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
    xcb_get_property_reply_t *property = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window->winId(), atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr);
    const QString title = QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(property)),
                                            xcb_get_property_value_length(property));
    std::free(atom);
    std::free(property);
    return title;
}

} // namespace

class tst_WindowTitles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(qApp->nativeInterface<QNativeInterface::QX11Application>(), "needs xcb"); }
    void cleanup() { verifyNoWindowLeftOpen(); }

    void titlesAreExactlyTheirTexts()
    {
        ThreeWindows windows;
        QStringList seen;
        for (QWidget *window : {static_cast<QWidget *>(windows.tester.dlg.get()),
                                static_cast<QWidget *>(windows.tester.dlg->SubpatternList()),
                                static_cast<QWidget *>(&windows.details)}) {
            window->show();
            seen << titleOnX11(window);
            window->hide();
        }
        windows.tester.typeInput("");
        QTimer::singleShot(0, [&seen] {
            if (QWidget *box = QApplication::activeModalWidget()) {
                seen << titleOnX11(box);
                box->close();
            }
        });
        windows.tester.click(IDC_EXEC);
        QCOMPARE(seen, QStringList({"Checker for PCRE.dll and regular expressions.", "List of matched subpatterns",
                                    "Full info about a regular expression.", "Nothing to match!"}));
    }
};

// The program's own application object, which decides what Qt adds to titles.
int main(int argc, char **argv)
{
    CTesterApp app(argc, argv);
    tst_WindowTitles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowtitles.moc"
