// Searches that run long or deep: the window stays alive, Stop ends the
// engine's work at once without losing the user's, and recursion as deep as
// the input is long ends in a result, not in the end of the program.

#include "SearchWait.h"
#include "TesterDriver.h"

#include <QAccessible>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QTest>

#include <sys/resource.h>

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

// Processes this one has started and not yet collected.
int ChildProcesses()
{
    int children = 0;
    for (const QString &task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file("/proc/self/task/" + task + "/children");
        if (file.open(QIODevice::ReadOnly))
            children += file.readAll().split(' ').count() - 1;
    }
    return children;
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class tst_RunawaySearch : public QObject
{
    Q_OBJECT
private slots:
    void init() { SetSearchGracePeriod(std::chrono::milliseconds(30)); }
    void cleanup() { verifyNoWindowLeftOpen(); }

    void stopEndsTheSearchAtOnce()
    {
        const QByteArray pattern = "(a+)+$";
        const QByteArray input = BacktrackingInput(40);
        bool sawBusyDialog = false;
        bool sawBusyCursor = false;
        TesterDriver t;
        t.typePattern(pattern);
        t.typeInput(input);
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (auto *busy = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget())) {
                sawBusyDialog = busy->isVisible();
                sawBusyCursor = QApplication::overrideCursor() != nullptr;
                // A screen reader's actions reach the window under the busy
                // dialog: they must neither edit the fields nor start a
                // second search.
                QAccessible::queryAccessibleInterface(t.input())->editableTextInterface()->insertText(0, "x");
                t.click(IDC_EXEC);
                t.click(IDC_BROWSE);
                t.dlg->LoadInputFromFile(PC_FAKE_LIBRARY_DIR "/libfakepcre_full.so");   // as a file dropped there
                busy->cancel();
            }
        });
        stopper.start(50);
        t.click(IDC_EXEC);
        stopper.stop();

        // Nothing of the search is left to use a processor.
        const double cpuBefore = CpuSeconds();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ChildProcesses(), 0);
        QTest::qWait(200);
        QVERIFY2(CpuSeconds() - cpuBefore < 0.02 * clock.elapsed() / 200.0 + 0.01,
                 qPrintable(QString::number(CpuSeconds() - cpuBefore)));

        QVERIFY(sawBusyDialog && sawBusyCursor);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(t.status(), QStringLiteral("The search was stopped."));
        QVERIFY(!t.enabled(IDC_EXEC_NEXT) && !t.enabled(IDC_MORE));
        QVERIFY(!t.dlg->Series().CompiledPattern());
        QCOMPARE(t.pattern()->GetTextBytes(), pattern);
        QCOMPARE(t.input()->GetTextBytes(), input);

        // The window works on, with the same library or another.
        QString path = PC_FAKE_LIBRARY_DIR "/libfakepcre_full.so";
        t.dlg->LoadLibraryFromPath(path);
        t.typePattern("b");
        t.click(IDC_EXEC);
        QCOMPARE(t.match(), (Range{20, 21}));
    }

    void slowSearchThatFinishesReportsItsResult()
    {
        TesterDriver t;
        t.typePattern("(a+)+$");
        t.typeInput(BacktrackingInput(4));
        t.click(IDC_EXEC);
        QCOMPARE(t.status(), QStringLiteral("Not match."));
        QVERIFY(!QApplication::activeModalWidget());
    }

    // The engine recurses once or more per repetition: on a thread's usual
    // stack these ended the program at about 8,500 repetitions.
    void deepRecursion_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("status");
        const QByteArray as(100000, 'a');
        QTest::newRow("(a)*$") << QByteArray("(a)*$") << as << "Match found!";
        QTest::newRow("(.|\\n)*") << QByteArray("(.|\\n)*") << QByteArray("line\n").repeated(20000)
                                  << "Match found!";
        QTest::newRow("past the limit") << QByteArray("(a)*$") << QByteArray(2000000, 'a')
                                        << "Engine error -21: recursion limit exceeded.";
    }

    void deepRecursion()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(QByteArray, input);
        TesterDriver t;
        t.setCheck(IDC_GREEDY, true);
        typeAndExec(t, pattern, input);
        QTEST(t.status(), "status");
        QCOMPARE(t.input()->GetTextBytes(), input);
    }
};

QTEST_MAIN(tst_RunawaySearch)
#include "tst_runawaysearch.moc"
