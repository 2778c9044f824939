// The match series without a window: Exec, "Exec next" with the empty-match
// rule, and every way a series ends.

#include "MatchSeries.h"

#include <QtTest>

using namespace std::chrono_literals;

namespace {

using Range = QPair<int, int>;

Range MatchOf(const MatchSeries &series)
{
    return {series.Offsets()[0], series.Offsets()[1]};
}

} // namespace

class tst_MatchSeries : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(PcreLoad(nullptr), 1); }
    void cleanupTestCase() { PcreUnload(); }

    void series_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("options");
        QTest::addColumn<QList<Range>>("matches");
        QTest::newRow("last match is reachable") << QByteArray("a") << QByteArray("aaa") << 0
                                                 << QList<Range>{{0, 1}, {1, 2}, {2, 3}};
        QTest::newRow("ungreedy a+") << QByteArray("a+") << QByteArray("aaa") << PCRE_UNGREEDY
                                     << QList<Range>{{0, 1}, {1, 2}, {2, 3}};
        QTest::newRow("greedy a+") << QByteArray("a+") << QByteArray("aaa") << 0 << QList<Range>{{0, 3}};
        QTest::newRow("empty matches advance, greedy")
            << QByteArray("a*") << QByteArray("baaac") << 0 << QList<Range>{{0, 0}, {1, 4}, {4, 4}, {5, 5}};
        QTest::newRow("empty matches advance, ungreedy")
            << QByteArray("a*") << QByteArray("baaac") << PCRE_UNGREEDY
            << QList<Range>{{0, 0}, {1, 1}, {1, 2}, {2, 2}, {2, 3}, {3, 3}, {3, 4}, {4, 4}, {5, 5}};
        QTest::newRow("empty match steps over a UTF-8 character")
            << QByteArray("(*UTF8)x*") << QByteArray("\xC3\xA9") << 0 << QList<Range>{{0, 0}, {2, 2}};
        QTest::newRow("empty match steps over CR LF where it is a line break")
            << QByteArray("(*CRLF)") << QByteArray("\r\n") << 0 << QList<Range>{{0, 0}, {2, 2}};
        QTest::newRow("empty match between CR and LF where LF alone breaks lines")
            << QByteArray("(*LF)") << QByteArray("\r\n") << 0 << QList<Range>{{0, 0}, {1, 1}, {2, 2}};
        // \K in an assertion: the match starts after its end; the series goes
        // on after both.
        QTest::newRow("start after end") << QByteArray("(?=ab\\K)") << QByteArray("xabab") << 0
                                         << QList<Range>{{3, 1}, {5, 3}};
    }
    void series()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(QByteArray, input);
        QFETCH(int, options);
        QFETCH(QList<Range>, matches);
        MatchSeries series;
        MatchSeries::Outcome outcome = series.Exec(pattern, options, input);
        QList<Range> seen{MatchOf(series)};
        QCOMPARE(outcome.message, outcome.canContinue ? "Matches found!" : "Match found!");
        while (outcome.canContinue && seen.size() <= matches.size()) {
            outcome = series.ExecNext();
            if (!outcome.matched)
                break;
            QCOMPARE(outcome.message, QStringLiteral("Matches found!"));
            seen << MatchOf(series);
        }
        QCOMPARE(seen, matches);
        QVERIFY(!outcome.canContinue);
    }

    // A series ends with a message that tells why, and gives its pattern back.
    void endings_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("options");
        QTest::addColumn<bool>("stop");   // the user stops the search
        QTest::addColumn<QString>("message");
        QTest::newRow("no match") << QByteArray("z") << QByteArray("abc") << 0 << false << "Not match.";
        QTest::newRow("catastrophic backtracking") << QByteArray("(a+)+$") << QByteArray(40, 'a') + "b" << 0 << false
                                                   << "Engine error -8: match limit exceeded.";
        QTest::newRow("compiles only without /x") << QByteArray("(#)") << QByteArray("#") << PCRE_EXTENDED << false
                                                  << "missing ) (at offset 3)";
        QTest::newRow("stopped") << QByteArray("(a+)+$") << QByteArray(40, 'a') + "b" << 0 << true
                                 << "The search was stopped.";
    }
    void endings()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(QByteArray, input);
        QFETCH(int, options);
        QFETCH(bool, stop);
        MatchSeries series([stop](PcreSearch &search) {
            if (!search.Call().Wait(stop ? 50ms : 60s))
                search.Stop();
        });
        const MatchSeries::Outcome outcome = series.Exec(pattern, options, input);
        QTEST(outcome.message, "message");
        QVERIFY(!outcome.matched && !outcome.canContinue && !outcome.captured);
        QVERIFY(!series.CompiledPattern() && !series.StudyData());
    }

    // Exec compiles in the search's child first: a library that crashes or
    // hangs on the pattern ends the series there, not the program, and the
    // next pattern is searched as usual.
    void faultWhileCompiling_data()
    {
        QTest::addColumn<QString>("fake");
        QTest::addColumn<QString>("message");
        QTest::newRow("crash") << "compile_segv" << "The engine crashed (SIGSEGV) while compiling the pattern.";
        QTest::newRow("hang")
            << "compile_hang" << "The search was stopped while the engine was compiling the pattern.";
    }
    void faultWhileCompiling()
    {
        QFETCH(QString, fake);
        QCOMPARE(PcreLoad(qPrintable(QStringLiteral(PC_FAKE_LIBRARY_DIR "/libfakepcre_%1.so").arg(fake))), 1);
        MatchSeries series([](PcreSearch &search) {
            if (!search.Call().Wait(1s))
                search.Stop();
        });
        const MatchSeries::Outcome outcome = series.Exec("(boom)", 0, "boom");
        QTEST(outcome.message, "message");
        QVERIFY(!outcome.matched && !series.CompiledPattern());
        QVERIFY(series.Exec("(o)", 0, "foo").matched);
        QCOMPARE(MatchOf(series), (Range{1, 2}));
        QCOMPARE(PcreLoad(""), 1);
    }
};

QTEST_GUILESS_MAIN(tst_MatchSeries)
#include "tst_matchseries.moc"
