// Start-up, library state and the window's own behaviour.

#include "TesterDriver.h"


#include <QAccessible>
#include <QCheckBox>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include "PcreTables.h"

namespace {

const QString kRealLibrary = QFileInfo(QStringLiteral("/usr/lib/x86_64-linux-gnu/libpcre.so.3")).canonicalFilePath();

constexpr int kModifiers[] = {IDC_CASELESS, IDC_MULTILINE, IDC_DOTALL, IDC_EXTENDED, IDC_GREEDY, IDC_LOCALE_CHECK};

QString pcreVersion()
{
    return QString::fromLatin1(PcreVersionText());
}

} // namespace

class tst_TesterDlg : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void startup_data();
    void startup();
    void startupLeavesMatchCommandsDisabled();
    void firstValidEditEnablesExec();
    void localeCheckTogglesField();
    void enterNeverClosesWindow_data();
    void enterNeverClosesWindow();
    void escapeAndCancelClose_data();
    void escapeAndCancelClose();
    void accessibleNames_data();
    void accessibleNames();
    void windowIsFixedAndTitled();
    void teardownReleasesEverything();
    void reloadEndsTheSeries();
};

void tst_TesterDlg::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName() + " left open"));
    QVERIFY(!PcreIsLoaded());
}

void tst_TesterDlg::startup_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::newRow("default library reachable") << true;
    QTest::newRow("no library reachable") << false;
}

void tst_TesterDlg::startup()
{
    QFETCH(bool, reachable);
    TesterDriver t(reachable ? std::vector<std::string>{"libpcre.so.3"}
                             : std::vector<std::string>{"libpcre-not-here.so.9"});
    QCOMPARE(PcreIsLoaded(), reachable);
    if (reachable) {
        QCOMPARE(t.status(), QStringLiteral("PCRE.dll was loaded. Version ") + pcreVersion());
        QCOMPARE(t.libraryPath(), kRealLibrary);
    } else {
        QCOMPARE(t.status(), QStringLiteral("First, load PCRE.dll..."));
        QCOMPARE(t.libraryPath(), QString());
    }
    for (int id : kModifiers)
        QCOMPARE(t.enabled(id), reachable);
    QCOMPARE(t.enabled(IDC_PATTERN), reachable);
    QCOMPARE(t.enabled(IDC_LOAD_PATTERN), reachable);
    // Enabled in both states.
    for (int id : {IDC_BROWSE, IDC_LOAD_INPUT, IDC_HIGHLIGHT, IDCANCEL, IDC_INPUT})
        QVERIFY(t.enabled(id));
    // The locale field starts enabled even when no library loaded, showing
    // the user's locale, with "Locale:" checked.
    QVERIFY(t.enabled(IDC_LOCALE));
    QVERIFY(t.button(IDC_LOCALE_CHECK)->isChecked());
    QCOMPARE(qobject_cast<QLineEdit *>(t.item(IDC_LOCALE))->text(),
             QString::fromLocal8Bit(GetAnsiLocaleName()));
    for (int id : {IDC_CASELESS, IDC_MULTILINE, IDC_DOTALL, IDC_EXTENDED, IDC_GREEDY, IDC_HIGHLIGHT})
        QVERIFY(!t.button(id)->isChecked());
}

void tst_TesterDlg::startupLeavesMatchCommandsDisabled()
{
    TesterDriver t;
    for (int id : {IDC_EXEC, IDC_EXEC_NEXT, IDC_DETAILS, IDC_MORE})
        QVERIFY(!t.enabled(id));
    // Start-up itself does not validate the empty pattern.
    QCOMPARE(t.status().left(29), QStringLiteral("PCRE.dll was loaded. Version "));
}

void tst_TesterDlg::firstValidEditEnablesExec()
{
    TesterDriver t;
    t.typePattern("a");
    QVERIFY(t.enabled(IDC_EXEC));
    QVERIFY(t.enabled(IDC_DETAILS));
    QCOMPARE(t.status(), QString());
}

void tst_TesterDlg::localeCheckTogglesField()
{
    TesterDriver t;
    auto *field = qobject_cast<QLineEdit *>(t.item(IDC_LOCALE));
    field->setText(QStringLiteral("de_DE.ISO-8859-1"));
    t.click(IDC_LOCALE_CHECK);
    QVERIFY(!field->isEnabled());
    t.click(IDC_LOCALE_CHECK);
    QVERIFY(field->isEnabled());
    QCOMPARE(field->text(), QStringLiteral("de_DE.ISO-8859-1"));
}

void tst_TesterDlg::enterNeverClosesWindow_data()
{
    QTest::addColumn<int>("id");
    QTest::newRow("locale field") << IDC_LOCALE;
    QTest::newRow("check box") << IDC_CASELESS;
    QTest::newRow("library path") << IDC_LIBRARY_PATH;
}

void tst_TesterDlg::enterNeverClosesWindow()
{
    QFETCH(int, id);
    TesterDriver t;
    t.dlg->show();
    QSignalSpy finished(t.dlg.get(), &QDialog::finished);
    t.item(id)->setFocus();
    QTest::keyClick(t.item(id), Qt::Key_Return);
    QTest::keyClick(t.item(id), Qt::Key_Enter);
    QCOMPARE(finished.count(), 0);
    QVERIFY(t.dlg->isVisible());
    t.dlg->hide();
}

void tst_TesterDlg::escapeAndCancelClose_data()
{
    QTest::addColumn<bool>("useEscape");
    QTest::newRow("Escape") << true;
    QTest::newRow("Cancel button") << false;
}

void tst_TesterDlg::escapeAndCancelClose()
{
    QFETCH(bool, useEscape);
    TesterDriver t;
    t.dlg->show();
    QSignalSpy finished(t.dlg.get(), &QDialog::finished);
    if (useEscape)
        QTest::keyClick(t.dlg.get(), Qt::Key_Escape);
    else
        t.click(IDCANCEL);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!t.dlg->isVisible());
}

void tst_TesterDlg::accessibleNames_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("pattern") << IDC_PATTERN << "Regular expression to be tested.";
    QTest::newRow("input") << IDC_INPUT << "Input text.";
    QTest::newRow("library path") << IDC_LIBRARY_PATH << "Load  PCRE.dll:";
    QTest::newRow("locale") << IDC_LOCALE << "Locale:";
    QTest::newRow("exec") << IDC_EXEC << "Exec";
    QTest::newRow("greedy") << IDC_GREEDY << "Greedy";
    QTest::newRow("details") << IDC_DETAILS << "Expression details...";
}

void tst_TesterDlg::accessibleNames()
{
    QFETCH(int, id);
    QFETCH(QString, name);
    TesterDriver t;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(t.item(id));
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), name);
    // The status line is read out as what it shows.
    QAccessibleInterface *status = QAccessible::queryAccessibleInterface(t.item(IDC_STATUS));
    QCOMPARE(status->text(QAccessible::Name), t.status());
}

void tst_TesterDlg::windowIsFixedAndTitled()
{
    TesterDriver t;
    QCOMPARE(t.dlg->windowTitle(), QStringLiteral("Checker for PCRE.dll and regular expressions."));
    QCOMPARE(t.dlg->minimumSize(), t.dlg->maximumSize());
    QVERIFY(!(t.dlg->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!t.dlg->windowIcon().isNull());
}

void tst_TesterDlg::teardownReleasesEverything()
{
    {
        TesterDriver t;
        t.typePattern("(a)");
        t.typeInput("a");
        t.click(IDC_EXEC);
        QVERIFY(t.dlg->CompiledPattern());
    }
    QVERIFY(!PcreIsLoaded());
    QVERIFY(!PcreBinding.tables);
    QVERIFY(!PcreBinding.library);
}

void tst_TesterDlg::reloadEndsTheSeries()
{
    TesterDriver t;
    t.typePattern("(a)");
    t.typeInput("aaa");
    t.click(IDC_EXEC);
    QVERIFY(t.enabled(IDC_EXEC_NEXT));
    QVERIFY(t.enabled(IDC_MORE));
    QString path = QStringLiteral("libpcre.so.3");
    t.dlg->LoadLibraryFromPath(path);
    QVERIFY(PcreIsLoaded());
    QCOMPARE(path, kRealLibrary);
    QVERIFY(!t.dlg->CompiledPattern());
    QVERIFY(!t.enabled(IDC_EXEC_NEXT));
    QVERIFY(!t.enabled(IDC_MORE));
}

QTEST_MAIN(tst_TesterDlg)
#include "tst_testerdlg.moc"
