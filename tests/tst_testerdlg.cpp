// Start-up, library state and the window's own behaviour.

#include "TesterDriver.h"

#include "PcreTables.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kRealLibrary = LibraryPath("libpcre.so.3");

} // namespace

class tst_TesterDlg : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        verifyNoWindowLeftOpen();
        QVERIFY(!PcreIsLoaded());
    }

    void startup_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::newRow("default library reachable") << true;
        QTest::newRow("no library reachable") << false;
    }

    void startup()
    {
        QFETCH(bool, reachable);
        TesterDriver t(reachable ? std::vector<std::string>{"libpcre.so.3"}
                                 : std::vector<std::string>{"libpcre-not-here.so.9"});
        QCOMPARE(PcreIsLoaded(), reachable);
        QCOMPARE(t.status(), reachable ? "PCRE.dll was loaded. Version " + QString::fromLatin1(PcreVersionText())
                                       : QStringLiteral("First, load PCRE.dll..."));
        QCOMPARE(t.libraryPath(), reachable ? kRealLibrary : QString());
        for (int id : {IDC_CASELESS, IDC_MULTILINE, IDC_DOTALL, IDC_EXTENDED, IDC_GREEDY, IDC_LOCALE_CHECK, IDC_PATTERN,
                       IDC_LOAD_PATTERN})
            QCOMPARE(t.enabled(id), reachable);
        for (int id : {IDC_BROWSE, IDC_LOAD_INPUT, IDC_HIGHLIGHT, IDCANCEL, IDC_INPUT})
            QVERIFY(t.enabled(id));
        // Nothing to run yet: start-up does not validate the empty pattern.
        for (int id : {IDC_EXEC, IDC_EXEC_NEXT, IDC_DETAILS, IDC_MORE})
            QVERIFY(!t.enabled(id));
        // The locale field starts enabled even when no library loaded, showing
        // the user's locale, with "Locale:" checked.
        QVERIFY(t.enabled(IDC_LOCALE));
        QVERIFY(t.button(IDC_LOCALE_CHECK)->isChecked());
        QCOMPARE(qobject_cast<QLineEdit *>(t.item(IDC_LOCALE))->text(), QString::fromLocal8Bit(GetAnsiLocaleName()));
        for (int id : {IDC_CASELESS, IDC_MULTILINE, IDC_DOTALL, IDC_EXTENDED, IDC_GREEDY, IDC_HIGHLIGHT})
            QVERIFY(!t.button(id)->isChecked());
        QVERIFY(!t.dlg->windowIcon().isNull());
    }

    void firstValidEditEnablesExec()
    {
        TesterDriver t;
        t.typePattern("a");
        QVERIFY(t.enabled(IDC_EXEC) && t.enabled(IDC_DETAILS));
        QCOMPARE(t.status(), QString());
    }

    // The window follows its check boxes however they change: a click or a
    // screen reader's toggle action.
    void boxesActWhateverTogglesThem_data()
    {
        QTest::addColumn<bool>("screenReader");
        QTest::newRow("click") << false;
        QTest::newRow("screen reader") << true;
    }
    void boxesActWhateverTogglesThem()
    {
        QFETCH(bool, screenReader);
        TesterDriver t;
        auto toggle = [&](int id) {
            if (!screenReader)
                return t.click(id);
            QAccessible::queryAccessibleInterface(t.item(id))->actionInterface()->doAction(
                QAccessibleActionInterface::toggleAction());
        };
        auto *field = qobject_cast<QLineEdit *>(t.item(IDC_LOCALE));
        field->setText(QStringLiteral("de_DE.ISO-8859-1"));
        toggle(IDC_LOCALE_CHECK);
        QVERIFY(!field->isEnabled());
        toggle(IDC_LOCALE_CHECK);
        QVERIFY(field->isEnabled());
        QCOMPARE(field->text(), QStringLiteral("de_DE.ISO-8859-1"));
        toggle(IDC_HIGHLIGHT);
        typeAndExec(t, "b", "abc");
        QVERIFY(t.input()->IsColoredRed(1));
        toggle(IDC_HIGHLIGHT);
        QVERIFY(!t.input()->IsColoredRed(1));
    }

    // The modifiers, the pattern and the locale field follow the library,
    // also after a refused load followed by a good one.
    void libraryStateAfterRefusalAndReload_data()
    {
        QTest::addColumn<bool>("locale");
        QTest::newRow("Locale: checked") << true;
        QTest::newRow("Locale: unchecked") << false;
    }
    void libraryStateAfterRefusalAndReload()
    {
        QFETCH(bool, locale);
        TesterDriver t;
        t.setCheck(IDC_LOCALE_CHECK, locale);
        const QList<int> followers{IDC_CASELESS, IDC_MULTILINE, IDC_DOTALL, IDC_EXTENDED,  IDC_GREEDY,
                                   IDC_LOCALE_CHECK, IDC_PATTERN, IDC_LOAD_PATTERN, IDC_LOCALE};
        auto states = [&] {
            QList<bool> enabled;
            for (int id : followers)
                enabled << t.enabled(id);
            return enabled;
        };
        auto load = [&t](QString path) { captureModalMessage([&] { t.dlg->LoadLibraryFromPath(path); }); };
        load(QStringLiteral(PC_FAKE_LIBRARY_DIR "/libfakepcre_missing_pcre_exec.so"));
        QCOMPARE(states(), QList<bool>(9, false));
        QCOMPARE(t.status(), QStringLiteral("First, load PCRE.dll..."));
        load(kRealLibrary);
        QCOMPARE(states(), QList<bool>(8, true) << locale);
    }

    void onlyEscapeAndCancelClose_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("key");   // 0: a click
        QTest::addColumn<bool>("closes");
        QTest::newRow("Return in the locale field") << IDC_LOCALE << int(Qt::Key_Return) << false;
        QTest::newRow("Enter on a check box") << IDC_CASELESS << int(Qt::Key_Enter) << false;
        QTest::newRow("Return in the library path") << IDC_LIBRARY_PATH << int(Qt::Key_Return) << false;
        QTest::newRow("Escape on a button") << IDC_BROWSE << int(Qt::Key_Escape) << true;
        QTest::newRow("Escape in the pattern") << IDC_PATTERN << int(Qt::Key_Escape) << true;
        QTest::newRow("Escape in the input") << IDC_INPUT << int(Qt::Key_Escape) << true;
        QTest::newRow("Cancel") << IDCANCEL << 0 << true;
    }

    void onlyEscapeAndCancelClose()
    {
        QFETCH(int, id);
        QFETCH(int, key);
        QFETCH(bool, closes);
        TesterDriver t;
        t.dlg->show();
        QSignalSpy finished(t.dlg.get(), &QDialog::finished);
        t.item(id)->setFocus();
        if (key)
            QTest::keyClick(t.item(id), Qt::Key(key));
        else
            t.click(id);
        QCOMPARE(finished.count(), int(closes));
        QCOMPARE(t.dlg->result(), int(QDialog::Rejected));
        QCOMPARE(t.dlg->isVisible(), !closes);
        t.dlg->hide();
    }

    void teardownReleasesEverything()
    {
        {
            TesterDriver t;
            typeAndExec(t, "(a)", "a");
            QVERIFY(t.dlg->Series().CompiledPattern());
        }
        QVERIFY(!PcreIsLoaded() && !PcreBinding.tables && !PcreBinding.library);
    }

    void reloadEndsTheSeries()
    {
        TesterDriver t;
        typeAndExec(t, "(a)", "aaa");
        QVERIFY(t.enabled(IDC_EXEC_NEXT) && t.enabled(IDC_MORE));
        QString path = QStringLiteral("libpcre.so.3");
        t.dlg->LoadLibraryFromPath(path);
        QVERIFY(PcreIsLoaded());
        QCOMPARE(path, kRealLibrary);
        QVERIFY(!t.dlg->Series().CompiledPattern());
        QVERIFY(!t.enabled(IDC_EXEC_NEXT) && !t.enabled(IDC_MORE));
    }
};

QTEST_MAIN(tst_TesterDlg)
#include "tst_testerdlg.moc"
