// A long search keeps the window alive and can be stopped without losing
// the user's work; a stopped call keeps its pattern and library until it
// returns.

#include "CEngineSearch.h"
#include "TesterDriver.h"

#include <QProgressDialog>
#include <QTest>

#include <dlfcn.h>

namespace {

// (a+)+$ over runs of a's broken by b's backtracks through every split of
// each run: about 70 ms a run of 20 here, so `runs` sets the duration.
QByteArray BacktrackingInput(int runs)
{
    QByteArray input;
    for (int i = 0; i < runs; ++i)
        input += QByteArray(20, 'a') + 'b';
    return input;
}

bool LibraryStillMapped(const char *name)
{
    void *handle = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

} // namespace

class tst_RunawaySearch : public QObject
{
    Q_OBJECT
private slots:
    void init() { CEngineSearch::SetGracePeriod(std::chrono::milliseconds(30)); }
    void cleanup();
    void stopEndsTheSeriesAndKeepsTheWork();
    void slowSearchThatFinishesReportsItsResult();
};

void tst_RunawaySearch::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(CEngineSearch::RunningCount(), 0, 20000);
    QVERIFY(!PcreIsLoaded());
    QVERIFY(!LibraryStillMapped("libpcre.so.3"));
}

void tst_RunawaySearch::stopEndsTheSeriesAndKeepsTheWork()
{
    const QByteArray pattern = "(a+)+$";
    const QByteArray input = BacktrackingInput(40);
    bool sawBusyDialog = false;
    bool sawBusyCursor = false;
    {
        TesterDriver t;
        t.typePattern(pattern);
        t.typeInput(input);
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (auto *busy = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget())) {
                sawBusyDialog = busy->isVisible();
                sawBusyCursor = QApplication::overrideCursor() != nullptr;
                busy->cancel();
            }
        });
        stopper.start(50);
        t.click(IDC_EXEC);
        stopper.stop();

        QVERIFY(sawBusyDialog);
        QVERIFY(sawBusyCursor);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(t.status(), QStringLiteral("The search was stopped."));
        QVERIFY(!t.enabled(IDC_EXEC_NEXT));
        QVERIFY(!t.enabled(IDC_MORE));
        QVERIFY(!t.dlg->CompiledPattern());
        QCOMPARE(t.pattern()->GetTextBytes(), pattern);
        QCOMPARE(t.input()->GetTextBytes(), input);
        QCOMPARE(CEngineSearch::RunningCount(), 1);

        // The window may unload its library at once; the stopped call keeps
        // the library mapped until it returns.
        PcreSetDefaultLibraryNames({"libpcre-not-here.so.9"});
        QString nowhere;
        t.dlg->LoadLibraryFromPath(nowhere);
        QVERIFY(!PcreIsLoaded());
        QVERIFY(LibraryStillMapped("libpcre.so.3"));

        // And the window works on meanwhile.
        PcreSetDefaultLibraryNames({"libpcre.so.3"});
        t.dlg->LoadLibraryFromPath(nowhere);
        t.typePattern("b");
        t.click(IDC_EXEC);
        QCOMPARE(t.match(), (Range{20, 21}));
    }
}

void tst_RunawaySearch::slowSearchThatFinishesReportsItsResult()
{
    TesterDriver t;
    t.typePattern("(a+)+$");
    t.typeInput(BacktrackingInput(4));
    t.click(IDC_EXEC);
    QCOMPARE(t.status(), QStringLiteral("Not match."));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(tst_RunawaySearch)
#include "tst_runawaysearch.moc"
