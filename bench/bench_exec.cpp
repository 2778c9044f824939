// Exec, "Exec next" and clearing the highlight, each against the raw
// engine calls on the same bytes, measured in one run.
//
// usage: bench_exec [size in MB ...]   (default 1 10 50 200)

#include "BenchInputs.h"

#include "CRichEditCtrl.h"
#include "CTesterDlg.h"
#include "PcreBinding.h"
#include "resource.h"

#include <QAbstractButton>
#include <QApplication>

#include <cstdio>
#include <vector>

namespace {


// pcre_compile + pcre_study + pcre_exec from `start`, as Exec makes them.
double RawSearchMs(const QByteArray &pattern, int options, const QByteArray &subject, int start)
{
    std::vector<int> offsets(30);
    return TimeMs([&] {
        const char *error = nullptr;
        int errorOffset = 0;
        const PcreCodePtr code = PcreCompileWithOptions(pattern.constData(), options, &error, &errorOffset);
        const PcreExtraPtr extra = PcreStudy(code, &error);
        PcreBinding.library->Api().pcre_exec(code.get(), extra.get(), subject.constData(), int(subject.size()),
                                             start, 0, offsets.data(), int(offsets.size()));
    });
}

double RawExecMs(const QByteArray &pattern, int options, const QByteArray &subject, int start)
{
    const char *error = nullptr;
    int errorOffset = 0;
    const PcreCodePtr code = PcreCompileWithOptions(pattern.constData(), options, &error, &errorOffset);
    const PcreExtraPtr extra = PcreStudy(code, &error);
    std::vector<int> offsets(30);
    return TimeMs([&] {
        PcreBinding.library->Api().pcre_exec(code.get(), extra.get(), subject.constData(), int(subject.size()),
                                             start, 0, offsets.data(), int(offsets.size()));
    });
}

class Bench
{
public:
    Bench()
    {
        m_dlg.Create();
        m_dlg.show();   // a shown editor lays out and paints what it scrolls to
        m_pattern = qobject_cast<CRichEditCtrl *>(m_dlg.GetDlgItem(IDC_PATTERN));
        m_input = qobject_cast<CRichEditCtrl *>(m_dlg.GetDlgItem(IDC_INPUT));
    }

    void ExecAndNext(InputShape shape, qsizetype megabytes)
    {
        const QByteArray input = MakeInput(shape, megabytes << 20);
        m_input->SetTextBytes(input);
        QApplication::processEvents();
        const double copyMs = BestMs(3, [&] { QByteArray copy(input.constData(), input.size()); });

        struct Case { const char *name; QByteArray pattern; };
        const Case cases[] = {{"match near start", MarkerPatternFor(shape)},
                              {"match near end", MarkerFor(shape, true)}};
        for (const Case &c : cases) {
            m_pattern->SetTextBytes(c.pattern);
            const double execMs = BestMs(3, [&] { m_dlg.OnExec(); });
            const double rawMs = BestMs(3, [&] { RawSearchMs(c.pattern, m_dlg.Series().Options(), input, 0); });
            std::printf("%-12s %4lld MB  Exec, %-16s  raw %8.2f ms  copy %7.2f ms  Exec %8.2f ms"
                        "  overhead beyond engine+copy %+7.2f ms (%5.1f%% of raw+copy)\n",
                        qPrintable(ShapeName(shape)), megabytes, c.name, rawMs, copyMs, execMs,
                        execMs - rawMs - copyMs, 100.0 * (execMs - rawMs - copyMs) / (rawMs + copyMs));
        }

        m_pattern->SetTextBytes(MarkerPatternFor(shape));
        double nextMs = 1e300;
        double rawMs = 1e300;
        for (int run = 0; run < 3; ++run) {
            m_dlg.OnExec();
            const int from = m_dlg.Series().Offsets()[1];
            nextMs = std::min(nextMs, TimeMs([&] { m_dlg.OnExecNext(); }));
            rawMs = std::min(rawMs, RawExecMs(MarkerPatternFor(shape), m_dlg.Series().Options(), input, from));
        }
        std::printf("%-12s %4lld MB  Exec next to the end marker: raw exec %8.2f ms  Exec next %8.2f ms"
                    "  ratio %.3f\n",
                    qPrintable(ShapeName(shape)), megabytes, rawMs, nextMs, nextMs / rawMs);
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
        const double rawMs = BestMs(3, [&] {
            const char *error = nullptr;
            int offset = 0;
            const PcreCodePtr code = PcreCompile(pattern.constData(), &error, &offset, false);
        });
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
        const double highlightMs = TimeMs([&] {
            m_dlg.OnExec();
            for (int i = 1; i < matches; ++i)
                m_dlg.OnExecNext();
        });
        std::printf("%-12s %4lld MB  Exec + %d x Exec next, each match coloured red: %.0f ms"
                    " (%.3f ms a match)\n",
                    qPrintable(ShapeName(shape)), megabytes, matches - 1, highlightMs, highlightMs / matches);
        const double selectAllMs = TimeMs([&] { m_input->SetSel(0, -1); });
        const double clearMs = TimeMs([&] { highlight->click(); });
        std::printf("%-12s %4lld MB  unchecking \"Highlight matches\" after %d red matches: %.2f ms"
                    "  (selecting all text once: %.2f ms)\n",
                    qPrintable(ShapeName(shape)), megabytes, matches, clearMs, selectAllMs);
    }

private:
    CTesterDlg m_dlg;
    CRichEditCtrl *m_pattern = nullptr;
    CRichEditCtrl *m_input = nullptr;
};

} // namespace

int main(int argc, char **argv)
{
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
    std::printf("engine: %s\n", PcreVersionText().c_str());
    for (InputShape shape : {InputShape::Lines, InputShape::OneLine, InputShape::MultiByte, InputShape::RandomBytes}) {
        for (qsizetype size : sizes)
            bench.ExecAndNext(shape, size);
    }
    bench.ValidateLargePattern(60 * 1024);
    for (InputShape shape : {InputShape::Lines, InputShape::OneLine, InputShape::MultiByte, InputShape::RandomBytes})
        bench.HighlightAndClear(shape, 50, 10000);
    std::printf("peak RSS %.0f MB\n", PeakRss() / 1048576.0);
    return 0;
}
