#pragma once
// The tester window's match series, without the window: "Exec" compiles a
// pattern with an option word and the current character tables, studies it
// and matches from the start of the input; "Exec next" goes on from the end
// of the previous match with the same compiled pattern, so what changed in
// the window after the Exec does not affect the series.
//
// Every search runs contained (PcreSearch): a library that crashes, aborts,
// recurses past its stack or never returns ends the series with a message
// instead of the program, and its answers are checked before they are shown.
// Exec's search compiles the pattern in its child first; the series compiles
// it here only once that has come back, so one child serves as the compile's
// trial and the search.
// The series owns the compiled pattern, its study data and the offsets
// vector between calls; the window asks it for them to display.

#include "PcreBinding.h"
#include "PcreSearch.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class MatchSeries
{
public:
    // How a running search is waited for. Returns once the search has ended,
    // stopping it first if the user asks to. Without one, a search is waited
    // for to its end.
    using Waiter = std::function<void(PcreSearch &search)>;

    // What a call found, as the window shows it.
    struct Outcome
    {
        bool matched = false;
        QString message;            // for the status line
        bool canContinue = false;   // "Exec next" is offered
        bool captured = false;      // the match set subpatterns: "More..." is offered
    };

    explicit MatchSeries(Waiter waiter = {});
    ~MatchSeries();

    // A new series over `subject`, which the series keeps until the next
    // Exec or until the input changes: it may be a view of the input field's
    // text (no copy of a large input), valid only until that text changes.
    // Needs a loaded library.
    Outcome Exec(const QByteArray &pattern, int options, const QByteArray &subject);
    // The next match of the series; ends the series when there is none.
    Outcome ExecNext();
    // Gives the compiled pattern and its study data back to their library.
    void ReleasePattern();
    // The input field changed: "Exec next" is over until the next Exec, and
    // the subject is let go before the field reuses its memory.
    void InputChanged();
    // Makes the child of the next "Exec next" search now, so that search
    // starts without the cost of a fork; the window calls this once it has
    // shown the match, while the user looks at it.
    void PrepareNext();
    // A search is running (its waiter has not returned).
    bool IsSearching() const { return m_searching; }

    int Options() const { return m_nOptions; }
    const PcreCodePtr &CompiledPattern() const { return m_pRegex; }
    const pcre_extra *StudyData() const { return m_pExtra.get(); }
    const int *Offsets() const { return m_pOffsets.get(); }
    int OffsetsSize() const { return m_nOffsetsSize; }
    int LastResult() const { return m_nLastResult; }
    const QByteArray &Subject() const { return m_strInput; }

private:
    PcreSearch::Request RequestFrom(int startOffset, int callOptions) const;
    PcreSearch::Answer Search(const PcreSearch::Request &request);
    bool RunSearch(int startOffset, int callOptions, QString &failure);
    bool TakeAnswer(const PcreSearch::Answer &answer, QString &failure);
    Outcome Conclude(bool ran, const QString &failure);
    Outcome SearchAfterPreviousMatch();
    Outcome Found();
    Outcome End(const QString &message);
    int NextCharacterStart(int offset) const;
    bool CrLfIsALineBreak(int newline) const;
    bool SizeOffsets(QString &problem);

    int m_nOptions = 0;
    PcreCodePtr m_pRegex;
    PcreExtraPtr m_pExtra;
    int m_nNextStart = 0;
    std::unique_ptr<int[]> m_pOffsets;
    int m_nOffsetsSize = 0;
    int m_nLastResult = 0;
    QByteArray m_strInput;
    Waiter m_waiter;
    std::unique_ptr<PcreSearch> m_search;
    bool m_canContinue = false;
    bool m_searching = false;
};
