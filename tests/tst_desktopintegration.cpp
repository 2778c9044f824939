// The tester window with the keyboard alone, its modifier tooltips, and
// files dropped on its fields.

#include "TesterDriver.h"

#include <QClipboard>
#include <QMimeData>
#include <QTemporaryFile>

namespace {

void showActive(QWidget *window)
{
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// Drags `urls` onto `field` as the window system delivers a drag (to the
// editor's viewport), with the names as text too, as file managers offer
// them. Returns whether the drag was accepted on entering and on the drop,
// and the text of a message box the drop brought up.
std::tuple<bool, bool, QString> dropUrls(CRichEditCtrl *field, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    mime.setText(urls.first().toString());
    const QPoint at = field->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field->viewport(), &drop);
    // The load runs after the drop returns.
    const QString message = captureModalMessage([] { QCoreApplication::processEvents(); }).second;
    return {enter.isAccepted(), drop.isAccepted(), message};
}

} // namespace

class tst_DesktopIntegration : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { verifyNoWindowLeftOpen(); }

    void tabVisitsEnabledControlsInTemplateOrder()
    {
        TesterDriver t;
        t.typePattern("a");   // enables Exec and "Expression details..."
        showActive(t.dlg.get());
        QStringList stops;    // focusable and enabled, in template order
        for (int index = 0; index < int(t.dlg->Template().controls.size()); ++index)
            if ((t.dlg->ControlAt(index)->focusPolicy() & Qt::TabFocus) && t.dlg->ControlAt(index)->isEnabled())
                stops << t.dlg->ControlAt(index)->objectName();
        t.dlg->findChild<QWidget *>(stops.last())->setFocus();
        QStringList visited;
        while (visited.size() < stops.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, stops);
    }

    void functionKeysRunEnabledCommands_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<Range>("expected");
        QTest::addColumn<QString>("status");
        QTest::newRow("F5 runs Exec") << QByteArray("b+") << QKeySequence("F5") << Range{1, 2} << "Matches found!";
        // Exec would report the error with its offset, "Exec next" no match.
        QTest::newRow("F5, Exec disabled") << QByteArray("b(") << QKeySequence("F5") << Range{-1, -1} << "missing )";
        QTest::newRow("F3 to the last match") << QByteArray("b+") << QKeySequence("F5, F3, F3, F3") << Range{5, 6}
                                              << "Matches found!";
    }
    void functionKeysRunEnabledCommands()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(QKeySequence, keys);
        TesterDriver t;
        t.typePattern(pattern);
        t.typeInput("abab-b");
        showActive(t.dlg.get());
        t.input()->setFocus();   // the editor takes most keys itself
        QTest::keySequence(t.input(), keys);
        QTEST(t.match(), "expected");
        QTEST(t.status(), "status");
    }

    void ctrlCCopiesListLines()
    {
        ThreeWindows windows;
        QTest::keyClick(windows.details.GetDlgItem(IDC_INFO_NAMES), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1 year\n2 mon"));
    }

    // The captions stay as they are; the tips end with the option's name.
    void modifierTooltipsNameTheOption()
    {
        TesterDriver t;
        QStringList shown;
        for (int id : {IDC_CASELESS, IDC_MULTILINE, IDC_DOTALL, IDC_EXTENDED, IDC_GREEDY, IDC_LOCALE_CHECK})
            shown << t.button(id)->text() + QLatin1Char(' ') + t.item(id)->toolTip().section(QLatin1Char(' '), -1);
        QCOMPARE(shown, (QStringList{"/i (PCRE_CASELESS)", "/m (PCRE_MULTILINE)", "/s (PCRE_DOTALL)",
                                     "/x (PCRE_EXTENDED)", "Greedy (PCRE_UNGREEDY)", "Locale: (pcre_maketables)"}));
    }

    void drops_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("url");         // empty: a local file of `bytes`
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("shown");    // null: refused (and no library loaded), the field unchanged
        QTest::addColumn<QString>("status");
        const QByteArray input("a\r\nb\0\xff", 6);
        const QString noLibrary = QStringLiteral("First, load PCRE.dll...");
        QTest::newRow("pattern") << IDC_PATTERN << "" << QByteArray("x(\0z", 4) << QByteArray("x(")
                                 << "missing ) The pattern file was cut at its NUL byte at offset 2.";
        QTest::newRow("input") << IDC_INPUT << "" << input << input << "Matches found!";
        QTest::newRow("missing file") << IDC_INPUT << "/nonexistent/dropped.txt" << input << QByteArray("aa")
                                      << "Matches found!";
        QTest::newRow("remote URL") << IDC_INPUT << "https://example.org/a.txt" << input << QByteArray() << noLibrary;
        QTest::newRow("disabled field") << IDC_PATTERN << "" << input << QByteArray() << noLibrary;
    }
    // A dropped file loads through the load buttons' code, errors included;
    // the names a drag carries as text are never inserted.
    void drops()
    {
        QFETCH(int, field);
        QFETCH(QString, url);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, shown);
        const bool accepted = !shown.isNull();
        TesterDriver t({accepted ? "libpcre.so.3" : "libpcre-not-here.so.9"});
        t.typePattern("(a)");
        t.typeInput("aa");
        t.click(IDC_EXEC);
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(bytes) == bytes.size() && file.flush());
        auto *editor = qobject_cast<CRichEditCtrl *>(t.item(field));
        const QByteArray before = editor->GetTextBytes();
        const QUrl dropped = url.isEmpty() ? QUrl::fromLocalFile(file.fileName()) : QUrl::fromUserInput(url);
        // A failed load says what a click on "Load file" would have said.
        const bool failed = accepted && shown == before;
        const QString viaButton = failed ? captureModalMessage([&] { t.dlg->LoadInputFromFile(url); }).second : "";

        QCOMPARE(dropUrls(editor, {dropped}), std::make_tuple(accepted, accepted, viaButton));
        QCOMPARE(editor->GetTextBytes(), accepted ? shown : before);
        QTEST(t.status(), "status");
        QCOMPARE(t.enabled(IDC_MORE), failed);
    }
};

QTEST_MAIN(tst_DesktopIntegration)
#include "tst_desktopintegration.moc"
