// The tester window with the keyboard alone, its modifier tooltips, and
// files dropped on its fields.

#include "TesterDriver.h"

#include "CFullInfoDlg.h"
#include "CListBox.h"
#include "DialogTemplate.h"

#include <QClipboard>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

void showActive(QWidget *window)
{
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// The controls Tab visits, in template order: focusable and enabled.
QList<QWidget *> tabStops(const CDialogBase &dialog)
{
    QList<QWidget *> stops;
    for (int index = 0; index < int(dialog.Template().controls.size()); ++index) {
        QWidget *widget = dialog.ControlAt(index);
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled())
            stops.append(widget);
    }
    return stops;
}

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("dropped.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

// Sends a drag that enters `field` and drops `mime` on it, as the window
// system delivers them (to the editor's viewport). Returns whether the
// drop was accepted.
bool dragAndDrop(CRichEditCtrl *field, const QMimeData &mime, bool *enterAccepted = nullptr)
{
    const QPoint at = field->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field->viewport(), &enter);
    if (enterAccepted)
        *enterAccepted = enter.isAccepted();
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field->viewport(), &drop);
    QCoreApplication::processEvents();   // the load runs after the drop returns
    return drop.isAccepted();
}

std::unique_ptr<QMimeData> urlDrag(const QList<QUrl> &urls)
{
    auto mime = std::make_unique<QMimeData>();
    mime->setUrls(urls);
    // File managers offer the names as text too, which an editor would insert.
    QStringList names;
    for (const QUrl &url : urls)
        names << url.toString();
    mime->setText(names.join(QLatin1Char('\n')));
    return mime;
}

} // namespace

class tst_DesktopIntegration : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void tabVisitsEnabledControlsInTemplateOrder();
    void functionKeysRunEnabledCommands_data();
    void functionKeysRunEnabledCommands();
    void ctrlCCopiesListLines_data();
    void ctrlCCopiesListLines();
    void modifierTooltipsNameTheOption_data();
    void modifierTooltipsNameTheOption();
    void droppedFileLoadsLikeLoadButton_data();
    void droppedFileLoadsLikeLoadButton();
    void droppedFileErrorsLikeLoadButton();
    void dropsRefused_data();
    void dropsRefused();
    void textDragStaysWithEditor();
};

void tst_DesktopIntegration::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName() + " left open"));
}

void tst_DesktopIntegration::tabVisitsEnabledControlsInTemplateOrder()
{
    TesterDriver t;
    t.typePattern("a");   // enables Exec and "Expression details..."
    showActive(t.dlg.get());
    const QList<QWidget *> stops = tabStops(*t.dlg);
    QVERIFY(stops.contains(t.item(IDC_EXEC)) && !stops.contains(t.item(IDC_EXEC_NEXT)));

    t.item(IDCANCEL)->setFocus();
    for (int i = 1; i <= stops.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), stops[i % stops.size()]->objectName());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), stops.last()->objectName());
    t.dlg->hide();
}

void tst_DesktopIntegration::functionKeysRunEnabledCommands_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<Range>("expected");
    QTest::newRow("F5 runs Exec") << QByteArray("b+") << QList<int>{Qt::Key_F5} << Range{1, 2};
    QTest::newRow("F3 runs Exec next") << QByteArray("b+") << QList<int>{Qt::Key_F5, Qt::Key_F3}
                                       << Range{3, 4};
    QTest::newRow("F5 with Exec disabled") << QByteArray("b(") << QList<int>{Qt::Key_F5} << Range{-1, -1};
    QTest::newRow("F3 before any Exec") << QByteArray("b+") << QList<int>{Qt::Key_F3} << Range{-1, -1};
}

void tst_DesktopIntegration::functionKeysRunEnabledCommands()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QList<int>, keys);
    QFETCH(Range, expected);
    TesterDriver t;
    t.setCheck(IDC_GREEDY, true);
    t.typePattern(pattern);
    t.typeInput("abab-b");
    showActive(t.dlg.get());
    // From inside the editor, which takes most keys itself.
    t.input()->setFocus();
    for (int key : keys)
        QTest::keyClick(t.input(), Qt::Key(key));
    QCOMPARE(t.match(), expected);
    t.dlg->hide();
}

void tst_DesktopIntegration::ctrlCCopiesListLines_data()
{
    QTest::addColumn<bool>("details");
    QTest::addColumn<QString>("lines");
    QTest::newRow("subpattern list") << false << "0 {3,10}\nmon (2) {8,10}\nyear (1) {3,7}";
    QTest::newRow("details names") << true << "1 year\n2 mon";
}

void tst_DesktopIntegration::ctrlCCopiesListLines()
{
    QFETCH(bool, details);
    QFETCH(QString, lines);
    TesterDriver t;
    t.typePattern("(?<year>\\d{4})-(?<mon>\\d\\d)");
    t.typeInput("on 2026-12 and 2027-01");
    t.click(IDC_EXEC);
    QApplication::clipboard()->clear();

    CFullInfoDlg info(t.dlg.get());
    if (details) {
        info.FillFromPattern(t.dlg->CompiledPattern(), t.dlg->StudyData(), t.pattern()->GetTextBytes());
        info.Create();
    } else {
        t.click(IDC_MORE);
    }
    CDialogBase *window = details ? static_cast<CDialogBase *>(&info) : t.dlg->SubpatternList();
    auto *list = qobject_cast<CListBox *>(window->GetDlgItem(details ? IDC_INFO_NAMES : IDC_SUBPATTERN_LIST));
    showActive(window);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), lines);
    window->hide();
}

void tst_DesktopIntegration::modifierTooltipsNameTheOption_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("tipWords");
    QTest::newRow("/i") << IDC_CASELESS << "/i" << QStringList{"Caseless", "(PCRE_CASELESS)"};
    QTest::newRow("/m") << IDC_MULTILINE << "/m" << QStringList{"Multi-line", "(PCRE_MULTILINE)"};
    QTest::newRow("/s") << IDC_DOTALL << "/s" << QStringList{"Dot matches newline", "(PCRE_DOTALL)"};
    QTest::newRow("/x") << IDC_EXTENDED << "/x" << QStringList{"Extended", "(PCRE_EXTENDED)"};
    QTest::newRow("Greedy") << IDC_GREEDY << "Greedy"
                            << QStringList{"Unchecked: quantifiers are ungreedy (PCRE_UNGREEDY)"};
    QTest::newRow("Locale:") << IDC_LOCALE_CHECK << "Locale:"
                             << QStringList{"character tables built for the locale"};
    QTest::newRow("Highlight") << IDC_HIGHLIGHT << "Highlight matches" << QStringList{"red"};
}

void tst_DesktopIntegration::modifierTooltipsNameTheOption()
{
    QFETCH(int, id);
    QFETCH(QString, caption);
    QFETCH(QStringList, tipWords);
    TesterDriver t;
    QCOMPARE(t.button(id)->text(), caption);
    for (const QString &words : tipWords)
        QVERIFY2(t.item(id)->toolTip().contains(words), qPrintable(t.item(id)->toolTip()));
}

void tst_DesktopIntegration::droppedFileLoadsLikeLoadButton_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("loaded");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("execEnabled");
    // The pattern is validated as typed; either drop withdraws the subpatterns
    // of the last match.
    QTest::newRow("pattern") << IDC_PATTERN << QByteArray("x(y") << QByteArray("x(y") << "missing )" << false;
    QTest::newRow("pattern with NUL") << IDC_PATTERN << QByteArray("xy\0z", 4) << QByteArray("xy")
                                      << "The pattern file was cut at its NUL byte at offset 2." << true;
    const QByteArray input("a\r\nb\0\xff", 6);
    QTest::newRow("input") << IDC_INPUT << input << input << "" << true;
}

void tst_DesktopIntegration::droppedFileLoadsLikeLoadButton()
{
    QFETCH(int, field);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, loaded);
    QFETCH(QString, status);
    QFETCH(bool, execEnabled);
    TesterDriver t;
    t.typePattern("(a)");
    t.typeInput("aa");
    t.click(IDC_EXEC);
    QVERIFY(t.enabled(IDC_MORE));
    QTemporaryDir dir;
    const QString path = writeFile(dir, bytes);

    auto *editor = qobject_cast<CRichEditCtrl *>(t.item(field));
    QVERIFY(editor->viewport()->acceptDrops());
    bool entered = false;
    QVERIFY(dragAndDrop(editor, *urlDrag({QUrl::fromLocalFile(path)}), &entered));
    QVERIFY(entered);

    QCOMPARE(editor->GetTextBytes(), loaded);
    QVERIFY2(t.status().contains(status), qPrintable(t.status()));
    QCOMPARE(t.enabled(IDC_EXEC), execEnabled);
    QVERIFY(!t.enabled(IDC_MORE));
}

void tst_DesktopIntegration::droppedFileErrorsLikeLoadButton()
{
    TesterDriver t;
    t.typeInput("kept");
    const QString missing = QStringLiteral("/nonexistent/dropped.txt");
    const auto viaButton = captureModalMessage([&] { t.dlg->LoadInputFromFile(missing); });
    QVERIFY(!viaButton.second.isEmpty());

    const auto viaDrop = captureModalMessage([&] {
        dragAndDrop(t.input(), *urlDrag({QUrl::fromLocalFile(missing)}));
    });
    QCOMPARE(viaDrop, viaButton);
    QCOMPARE(t.input()->GetTextBytes(), QByteArray("kept"));
}

void tst_DesktopIntegration::dropsRefused_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("libraryLoaded");
    QTest::addColumn<QList<QUrl>>("urls");
    const QList<QUrl> localFile{QUrl::fromLocalFile(QStringLiteral("/etc/hostname"))};
    QTest::newRow("remote URL on input") << IDC_INPUT << true
                                         << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.txt"))};
    QTest::newRow("remote URL on pattern") << IDC_PATTERN << true
                                           << QList<QUrl>{QUrl(QStringLiteral("ftp://example.org/p"))};
    QTest::newRow("disabled pattern field") << IDC_PATTERN << false << localFile;
}

void tst_DesktopIntegration::dropsRefused()
{
    QFETCH(int, field);
    QFETCH(bool, libraryLoaded);
    QFETCH(QList<QUrl>, urls);
    TesterDriver t(libraryLoaded ? std::vector<std::string>{"libpcre.so.3"}
                                 : std::vector<std::string>{"libpcre-not-here.so.9"});
    auto *editor = qobject_cast<CRichEditCtrl *>(t.item(field));
    editor->SetTextBytes("before");
    const QString status = t.status();

    bool entered = true;
    QVERIFY(!dragAndDrop(editor, *urlDrag(urls), &entered));
    QVERIFY(!entered);
    // Neither loaded nor inserted as text.
    QCOMPARE(editor->GetTextBytes(), QByteArray("before"));
    QCOMPARE(t.status(), status);
}

void tst_DesktopIntegration::textDragStaysWithEditor()
{
    TesterDriver t;
    QMimeData mime;
    mime.setText(QStringLiteral("typed"));
    QVERIFY(dragAndDrop(t.input(), mime));
    QCOMPARE(t.input()->GetTextBytes(), QByteArray("typed"));
}

QTEST_MAIN(tst_DesktopIntegration)
#include "tst_desktopintegration.moc"
