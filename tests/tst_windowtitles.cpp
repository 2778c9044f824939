// Window titles as a window manager reads them on X11: Qt's xcb platform
// may add to a title what the offscreen platform never shows.

#include "CTesterApp.h"
#include "TesterDriver.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// The window's _NET_WM_NAME property, which window managers show.
QString titleOnX11(QWidget *window)
{
    xcb_connection_t *x = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const QByteArray name("_NET_WM_NAME");
    auto *atom = xcb_intern_atom_reply(x, xcb_intern_atom(x, 1, name.size(), name.data()), nullptr);
    auto *property = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window->winId(), atom->atom, XCB_ATOM_ANY, 0, 256), nullptr);
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
        for (QWidget *window : QList<QWidget *>{windows.tester.dlg.get(), windows.tester.dlg->SubpatternList(),
                                                &windows.details}) {
            window->show();
            seen << titleOnX11(window);
            window->hide();
        }
        windows.tester.typeInput("");   // Exec then shows the empty-input message box
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
