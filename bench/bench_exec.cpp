// What a user waits for in the tester window, from the key or click until
// the window has painted the result, next to its reference measured in the
// same run: Exec (F5) and Exec next (F3) against the raw engine calls on the
// same bytes; setting the text, jumping to the end, selecting the last byte,
// a keystroke at the end, colouring and clearing matches against the goal of
// one second. Also the processor time the window takes while idle with the
// caret blinking, what a screen reader's query costs at the end of the text,
// and where the last byte is drawn.
//
// usage: bench_exec [size in MB ...]   (default 1 10 50 200)

#include "BenchInputs.h"
#include "Painted.h"

#include "CRichEditCtrl.h"
#include "CTesterDlg.h"
#include "LargePages.h"
#include "PcreBinding.h"
#include "PcreSearch.h"
#include "resource.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

constexpr int kIdleMs = 3000;
// Best of this many, on a machine shared with other work.
constexpr int kRuns = 5;
constexpr double kActionGoalMs = 1000;

// The library's own calls on the same bytes, with none of the window's
// safety around them: the reference every figure is set against.
struct RawPattern
{
    const PcreEntryPoints &api = PcreBinding.library->Api();
    pcre *code = nullptr;
    pcre_extra *extra = nullptr;

    RawPattern(const QByteArray &pattern, int options)
    {
        const char *error = nullptr;
        int errorOffset = 0;
        code = api.pcre_compile(pattern.constData(), options, &error, &errorOffset, PcreBinding.tables.get());
        extra = code ? api.pcre_study(code, 0, &error) : nullptr;
    }
    ~RawPattern()
    {
        api.pcre_free_substring(reinterpret_cast<const char *>(extra));
        api.pcre_free_substring(reinterpret_cast<const char *>(code));
    }
    void Exec(const QByteArray &subject, int start) const
    {
        int offsets[30];
        api.pcre_exec(code, extra, subject.constData(), int(subject.size()), start, 0, offsets, 30);
    }
};

// pcre_compile + pcre_study + pcre_exec from the start, as Exec makes them.
double RawSearchMs(const QByteArray &pattern, int options, const QByteArray &subject)
{
    return TimeMs([&] { RawPattern(pattern, options).Exec(subject, 0); });
}

double RawExecMs(const QByteArray &pattern, int options, const QByteArray &subject, int start)
{
    const RawPattern raw(pattern, options);
    return TimeMs([&] { raw.Exec(subject, start); });
}

const char *Verdict(bool met) { return met ? "ok" : "OVER"; }

// One figure: what was measured, its reference and its goal.
void Print(const QString &input, const char *what, double ms, const QString &reference, double goalMs)
{
    std::printf("%s | %-44s | %9.2f ms | %-34s | goal <= %8.2f ms | %s\n", qPrintable(input), what, ms,
                qPrintable(reference), goalMs, Verdict(ms <= goalMs));
}

void PrintAction(const QString &input, const char *what, double ms)
{
    Print(input, what, ms, QString(), kActionGoalMs);
}

class Bench
{
public:
    Bench()
    {
        m_dlg.Create();
        m_dlg.show();
        m_dlg.activateWindow();
        if (!QTest::qWaitForWindowActive(&m_dlg))
            std::fprintf(stderr, "bench_exec: the window did not become active; keys may go nowhere\n");
        m_pattern = qobject_cast<CRichEditCtrl *>(m_dlg.GetDlgItem(IDC_PATTERN));
        m_input = qobject_cast<CRichEditCtrl *>(m_dlg.GetDlgItem(IDC_INPUT));
        m_probe = std::make_unique<PaintProbe>(m_input->viewport());
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        // The busy dialog of a long search takes the activation with it
        // when it closes; the user's window manager gives it back.
        if (!m_dlg.isActiveWindow()) {
            m_dlg.activateWindow();
            (void)QTest::qWaitForWindowActive(&m_dlg);
            m_input->setFocus();
        }
        QTest::keyClick(m_input, Qt::Key(key), modifiers);
    }

    void Measure(InputShape shape, qsizetype megabytes)
    {
        const QByteArray input = MakeInput(shape, megabytes << 20);
        const QString name = QStringLiteral("%1 %2 MB").arg(ShapeName(shape), -12).arg(megabytes, 4);
        m_input->setFocus();
        PrintAction(name, "set the text, until painted", m_probe->Ms([&] { m_input->SetTextBytes(input); }));
        MeasureExec(name, shape, input);
        MeasureExecNext(name, shape, input);
        MeasureMoves(name);
        MeasureScreenReader(name);
        MeasureIdle(name);
        std::fflush(stdout);
    }

    // F5 with the match near the end; the first one after the text was set
    // on its own: it lays out and paints the place of the match first, and
    // a text shown in rows is copied for the engine.
    void MeasureExec(const QString &name, InputShape shape, const QByteArray &input)
    {
        const QByteArray nearEnd = MarkerFor(shape, true);
        m_pattern->SetTextBytes(nearEnd);
        const double firstMs = m_probe->Ms([&] { Key(Qt::Key_F5); });
        double execMs = 1e300, rawMs = 1e300;
        for (int run = 0; run < kRuns; ++run) {
            m_input->SetSel(0, 0);
            QCoreApplication::processEvents();
            execMs = std::min(execMs, m_probe->Ms([&] { Key(Qt::Key_F5); }));
            rawMs = std::min(rawMs, RawSearchMs(nearEnd, m_dlg.Series().Options(), input));
        }
        const int *offsets = m_dlg.Series().Offsets();
        qint64 start = -1, end = -1;
        m_input->GetSel(start, end);
        const qint64 at = input.lastIndexOf(nearEnd);
        if (!offsets || offsets[0] != at || start != at || end != at + nearEnd.size())
            std::printf("%s | the match near the end is not what the field selects!\n", qPrintable(name));
        const QString raw = QStringLiteral("raw compile+study+exec %1 ms").arg(rawMs, 0, 'f', 2);
        Print(name, "F5, match near the end, first after the text", firstMs, raw, 1.1 * rawMs + 5);
        Print(name, "F5, match near the end", execMs, raw, 1.1 * rawMs + 5);
    }

    // F3 from the first marker to the one near the end.
    void MeasureExecNext(const QString &name, InputShape shape, const QByteArray &input)
    {
        const QByteArray both = MarkerPatternFor(shape);
        m_pattern->SetTextBytes(both);
        double nextMs = 1e300, rawMs = 1e300;
        for (int run = 0; run < kRuns; ++run) {
            Key(Qt::Key_F5);
            // The window makes the next search's child 20 ms after the
            // match is painted; no user presses F3 sooner.
            QTest::qWait(50);
            const int from = m_dlg.Series().Offsets()[1];
            nextMs = std::min(nextMs, m_probe->Ms([&] { Key(Qt::Key_F3); }));
            rawMs = std::min(rawMs, RawExecMs(both, m_dlg.Series().Options(), input, from));
        }
        Print(name, "F3 to the match near the end", nextMs, QStringLiteral("raw pcre_exec %1 ms").arg(rawMs, 0, 'f', 2),
              1.1 * rawMs + 5);
        MeasureContainer(name, input, both);
    }

    // The search container alone: the F3 search above as the window runs
    // it, in a child made while the user looks at the previous match, and
    // in a child forked on the spot (as Exec does); against the same
    // pcre_exec call made directly.
    void MeasureContainer(const QString &name, const QByteArray &input, const QByteArray &pattern)
    {
        Key(Qt::Key_F5);
        const MatchSeries &series = m_dlg.Series();
        PcreSearch::Request request;
        request.library = series.CompiledPattern().get_deleter().library.get();
        request.code = series.CompiledPattern().get();
        request.extra = series.StudyData();
        request.subject = input.constData();
        request.length = int(input.size());
        request.startOffset = series.Offsets()[1];
        request.offsetsSize = series.OffsetsSize();
        PcreSearch search;
        const RawPattern raw(pattern, series.Options());
        double preparedMs = 1e300, forkedMs = 1e300, rawMs = 1e300;
        // Taken in turns, so that the machine's other work weighs on all
        // three alike; the raw figure is the pcre_exec call alone.
        for (int run = 0; run < 9; ++run) {
            search.PrepareNext(request);
            preparedMs = std::min(preparedMs, TimeMs([&] {
                search.Start(request);
                search.Call().WaitForEnd();
                (void)search.Finish();
            }));
            forkedMs = std::min(forkedMs, TimeMs([&] { (void)PcreSearch::Run(request); }));
            rawMs = std::min(rawMs, TimeMs([&] { raw.Exec(input, request.startOffset); }));
        }
        const QString reference = QStringLiteral("raw pcre_exec %1 ms").arg(rawMs, 0, 'f', 2);
        // The container's own goal from 10 MB up: 1.1 x the engine.
        const double goalMs = input.size() >= (10 << 20) ? 1.1 * rawMs : 1.1 * rawMs + 5;
        Print(name, "search in Exec next's child", preparedMs, reference, goalMs);
        Print(name, "search in a child forked on the spot", forkedMs, reference, goalMs);
    }

    void MeasureMoves(const QString &name)
    {
        PrintAction(name, "Ctrl+Home, until painted", m_probe->Ms([&] { Key(Qt::Key_Home, Qt::ControlModifier); }));
        PrintAction(name, "Ctrl+End, until painted", m_probe->Ms([&] { Key(Qt::Key_End, Qt::ControlModifier); }));
        PrintAction(name, "Shift+Left: select the last byte, painted",
                    m_probe->Ms([&] { Key(Qt::Key_Left, Qt::ShiftModifier); }));
        Key(Qt::Key_End, Qt::ControlModifier);
        PrintAction(name, "a keystroke at the end, until painted", m_probe->Ms([&] { Key(Qt::Key_X); }));
        // Scintilla positions are single-precision floats, exact to 2^24.
        const long end = m_input->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
        const long x = m_input->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, end)
                       + m_input->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET);
        std::printf("%s | the end of the text is drawn %ld px from the start of its line%s\n", qPrintable(name), x,
                    x < (1 << 24) ? "" : ", where the editor's positions are no longer exact");
    }

    // A screen reader's queries at the end of the text: the first one after
    // a load indexes the text in blocks; later ones walk at most a block.
    void MeasureScreenReader(const QString &name)
    {
        QAccessibleTextInterface *reader = QAccessible::queryAccessibleInterface(m_input)->textInterface();
        int count = 0;
        const double firstMs = TimeMs([&] { count = reader->characterCount(); });
        Key(Qt::Key_X);   // an edit at the end, then the queries a caret move brings
        const double queryMs = BestMs(5, [&] {
            int start = 0, end = 0;
            reader->cursorPosition();
            reader->text(count - 100, count);
            reader->textAtOffset(count - 1, QAccessible::LineBoundary, &start, &end);
            reader->characterCount();
        });
        PrintAction(name, "screen reader: first query after the text", firstMs);
        Print(name, "screen reader: caret, text, row, count at end", queryMs, QString(), 5);
    }

    // Processor time while the window waits for the user with the caret
    // blinking in the input field.
    void MeasureIdle(const QString &name)
    {
        Key(Qt::Key_End, Qt::ControlModifier);
        QCoreApplication::processEvents();
        const int paints = m_probe->Paints();
        const double before = CpuMs();
        QEventLoop idle;
        QTimer::singleShot(kIdleMs, &idle, &QEventLoop::quit);
        idle.exec();
        const double perSecond = (CpuMs() - before) / (kIdleMs / 1000.0);
        std::printf("%s | idle with the caret blinking (%d paints in %d s): %.2f ms of processor time a second\n",
                    qPrintable(name), m_probe->Paints() - paints, kIdleMs / 1000, perSecond);
    }

    // Live validation compiles on every edit: a pattern near the engine's
    // size limit, as loaded from a file.
    void ValidateLargePattern(qsizetype bytes)
    {
        // An alternation of words with comments (?#...), which take pattern
        // bytes but no compiled code, so the pattern compiles.
        QByteArray pattern = "\\b(?:";
        for (int i = 0; pattern.size() < bytes - 64; ++i)
            pattern += "w" + QByteArray::number(i) + "(?#" + QByteArray(40, '.') + ")|";
        pattern += "end)\\b";
        const double editMs = BestMs(3, [&] { m_pattern->SetTextBytes(pattern); });
        const double rawMs = BestMs(3, [&] { RawPattern(pattern, 0); });
        std::printf("live validation of a %lld-byte pattern: edit %.2f ms, raw pcre_compile %.2f ms,"
                    " ratio %.2f (status: \"%s\")\n",
                    qlonglong(pattern.size()), editMs, rawMs, editMs / rawMs,
                    qPrintable(m_dlg.GetDlgItemText(IDC_STATUS)));
    }

    // A pattern with many matches spread over the input of each shape.
    static QByteArray FrequentPattern(InputShape shape)
    {
        switch (shape) {
        case InputShape::MultiByte: return "\xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE";
        case InputShape::RandomBytes: return "[\\x00-\\x08]{2}";
        default: return "lorem";
        }
    }

    void HighlightAndClear(InputShape shape, qsizetype megabytes, int matches)
    {
        const QByteArray input = MakeInput(shape, megabytes << 20);
        m_input->SetTextBytes(input);
        m_pattern->SetTextBytes(FrequentPattern(shape));
        auto *highlight = qobject_cast<QAbstractButton *>(m_dlg.GetDlgItem(IDC_HIGHLIGHT));
        if (!highlight->isChecked())
            highlight->click();
        QCoreApplication::processEvents();
        double worstMs = 0;
        const double totalMs = TimeMs([&] {
            worstMs = m_probe->Ms([&] { Key(Qt::Key_F5); });
            for (int i = 1; i < matches; ++i)
                worstMs = std::max(worstMs, m_probe->Ms([&] { Key(Qt::Key_F3); }));
        });
        const double clearMs = m_probe->Ms([&] { QTest::mouseClick(highlight, Qt::LeftButton); });
        const QString name = QStringLiteral("%1 %2 MB").arg(ShapeName(shape), -12).arg(megabytes, 4);
        std::printf("%s | %d matches coloured red, one F3 each: %.3f ms a match, key to painted\n", qPrintable(name),
                    matches, totalMs / matches);
        PrintAction(name, "the slowest of those F3, until painted", worstMs);
        PrintAction(name, "unchecking \"Highlight matches\", painted", clearMs);
        std::fflush(stdout);
    }

private:
    CTesterDlg m_dlg;
    CRichEditCtrl *m_pattern = nullptr;
    CRichEditCtrl *m_input = nullptr;
    std::unique_ptr<PaintProbe> m_probe;
};

} // namespace

int main(int argc, char **argv)
{
    // As the program runs.
    RestartWithLargePagesForLargeBuffers(argv);
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    std::vector<qsizetype> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(QByteArray(argv[i]).toLongLong());
    if (sizes.empty())
        sizes = {1, 10, 50, 200};

    Bench bench;
    if (!PcreIsLoaded()) {
        std::fprintf(stderr, "no PCRE library could be loaded\n");
        return 1;
    }
    std::printf("engine: %s; every time is from the key or click until the input field has painted\n",
                PcreVersionText().c_str());
    for (InputShape shape : {InputShape::Lines, InputShape::MultiByte, InputShape::RandomBytes, InputShape::OneLine}) {
        for (qsizetype size : sizes)
            bench.Measure(shape, size);
    }
    bench.ValidateLargePattern(60 * 1024);
    for (InputShape shape : {InputShape::Lines, InputShape::MultiByte, InputShape::RandomBytes, InputShape::OneLine})
        bench.HighlightAndClear(shape, 50, 2000);
    return 0;
}
