#include "MatchSeries.h"

#include "EngineMessages.h"
#include "PcreSearch.h"

#include <algorithm>

namespace {

bool IsUtf8Continuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

} // namespace

MatchSeries::MatchSeries(Waiter waiter)
    : m_waiter(std::move(waiter))
    , m_search(std::make_unique<PcreSearch>())
{
    if (!m_waiter)
        m_waiter = [](PcreSearch &search) { search.Call().WaitForEnd(); };
}

MatchSeries::~MatchSeries() = default;

void MatchSeries::ReleasePattern()
{
    m_search->DiscardPrepared();
    // The handles give the memory back through the library that made it,
    // whatever library is loaded now.
    m_pExtra = PcreExtraPtr();
    m_pRegex = PcreCodePtr();
}

void MatchSeries::InputChanged()
{
    // The series cannot go on over the old text; a child kept ready for it
    // would only hold the old pages while the editor rewrites them.
    m_canContinue = false;
    m_search->DiscardPrepared();
    m_strInput = QByteArray();
}

MatchSeries::Outcome MatchSeries::Exec(const QByteArray &pattern, int options, const QByteArray &subject)
{
    m_nOptions = options;
    m_strInput = subject;
    ReleasePattern();
    if (!PcreIsLoaded())
        return End(NoLibraryMessage());
    // The first search compiles the pattern itself, in its child: a library
    // that crashes or hangs on the pattern does so there, and the window
    // compiles it only once that compile has come back.
    const PcreLibraryRef library = PcreBinding.library;
    const PcreTablesRef tables = PcreBinding.tables;
    PcreSearch::Request request;
    request.library = library.get();
    request.pattern = pattern.constData();
    request.compileOptions = m_nOptions;
    request.tables = tables.get();
    request.subject = m_strInput.constData();
    request.length = int(m_strInput.size());
    const PcreSearch::Answer answer = Search(request);
    if (answer.kind == PcreSearch::Answer::Kind::Stopped || answer.kind == PcreSearch::Answer::Kind::Crashed)
        return End(SearchFailureMessage(answer));

    std::string errorText;
    int errorOffset = 0;
    m_pRegex = PcreCompileWithoutRehearsal(library, tables, pattern.constData(), m_nOptions, &errorText, &errorOffset);
    if (!m_pRegex)
        return End(CompileErrorMessage(errorText, errorOffset));
    m_pExtra = PcreStudy(m_pRegex);
    QString problem;
    if (!SizeOffsets(problem))
        return End(problem);
    return Conclude(TakeAnswer(answer, problem), problem);
}

// The offsets vector holds a pair and a work slot for the whole match and
// for every capturing subpattern, as many as the library says there are.
bool MatchSeries::SizeOffsets(QString &problem)
{
    std::string count;
    m_nOffsetsSize = PcreOffsetsSizeFor(*m_pRegex.get_deleter().library, m_pRegex.get(), m_pExtra.get(), &count);
    if (m_nOffsetsSize == 0) {
        problem = ImpossibleAnswerMessage(QString::fromStdString(count));
        return false;
    }
    m_pOffsets = std::make_unique_for_overwrite<int[]>(std::size_t(m_nOffsetsSize));
    return true;
}

MatchSeries::Outcome MatchSeries::ExecNext()
{
    if (!m_pRegex || m_strInput.isNull())
        return End(ExecResultMessage(PCRE_ERROR_NULL));
    Outcome outcome = SearchAfterPreviousMatch();
    if (outcome.matched)
        outcome.message = QStringLiteral("Matches found!");   // for every later match, the last one too
    return outcome;
}

// After an empty match at e, the next match must not be that same empty
// match again: first try a non-empty match anchored at e, then search on
// from the next character.
MatchSeries::Outcome MatchSeries::SearchAfterPreviousMatch()
{
    const bool previousWasEmpty = m_pOffsets[0] == m_pOffsets[1];
    QString failure;
    if (!previousWasEmpty)
        return Conclude(RunSearch(m_nNextStart, 0, failure), failure);

    const bool ran = RunSearch(m_nNextStart, PCRE_NOTEMPTY | PCRE_ANCHORED, failure);
    if (!ran || m_nLastResult != PCRE_ERROR_NOMATCH)
        return Conclude(ran, failure);
    const int next = NextCharacterStart(m_nNextStart);
    if (next > m_strInput.size())
        return End(ExecResultMessage(PCRE_ERROR_NOMATCH));
    return Conclude(RunSearch(next, 0, failure), failure);
}

int MatchSeries::NextCharacterStart(int offset) const
{
    const unsigned long patternOptions = PcreFullInfo<PCRE_INFO_OPTIONS>(m_pRegex, m_pExtra.get()).value_or(0);
    // Where CR LF is a line break, an empty match between its two bytes
    // would split it.
    if (m_strInput.mid(offset, 2) == "\r\n" && CrLfIsALineBreak(int(patternOptions & PCRE_NEWLINE_BITS)))
        return offset + 2;
    int next = offset + 1;
    if (patternOptions & PCRE_UTF8) {
        while (next < m_strInput.size() && IsUtf8Continuation(m_strInput[next]))
            ++next;
    }
    return next;
}

// The pattern's newline setting, or the library's own when it has none.
bool MatchSeries::CrLfIsALineBreak(int newline) const
{
    if (newline == 0) {
        const auto config = reinterpret_cast<PcreConfigFn>(
            m_pRegex.get_deleter().library->OptionalSymbol("pcre_config"));
        int character = '\n';
        if (config)
            config(PCRE_CONFIG_NEWLINE, &character);
        return character == ('\r' << 8 | '\n') || character == -1 || character == -2;
    }
    return newline == PCRE_NEWLINE_CRLF || newline == PCRE_NEWLINE_ANY || newline == PCRE_NEWLINE_ANYCRLF;
}

PcreSearch::Request MatchSeries::RequestFrom(int startOffset, int callOptions) const
{
    PcreSearch::Request request;
    request.library = m_pRegex.get_deleter().library.get();
    request.code = m_pRegex.get();
    request.extra = m_pExtra.get();
    request.subject = m_strInput.constData();
    request.length = int(m_strInput.size());
    request.startOffset = startOffset;
    request.options = callOptions;
    request.offsetsSize = m_nOffsetsSize;
    return request;
}

void MatchSeries::PrepareNext()
{
    if (m_pRegex && m_canContinue && !m_searching)
        m_search->PrepareNext(RequestFrom(m_nNextStart, 0));
}

PcreSearch::Answer MatchSeries::Search(const PcreSearch::Request &request)
{
    m_canContinue = false;
    if (m_search->Start(request)) {
        m_searching = true;
        m_waiter(*m_search);
        m_searching = false;
    }
    return m_search->Finish();
}

bool MatchSeries::RunSearch(int startOffset, int callOptions, QString &failure)
{
    return TakeAnswer(Search(RequestFrom(startOffset, callOptions)), failure);
}

// The engine's result and offsets; false, with `failure` saying why, when
// the search gave none (stopped, crashed, impossible answers).
bool MatchSeries::TakeAnswer(const PcreSearch::Answer &answer, QString &failure)
{
    m_nLastResult = answer.result;
    if (answer.kind != PcreSearch::Answer::Kind::Result) {
        failure = SearchFailureMessage(answer);
        return false;
    }
    if (answer.result <= 0)
        return true;
    // The same pattern compiled twice must have the same subpatterns.
    if (answer.offsets.size() != std::size_t(m_nOffsetsSize)) {
        failure = ImpossibleAnswerMessage(QStringLiteral("capture counts: %1 and %2 from two compiles of the pattern")
                                              .arg(answer.offsets.size() / 3 - 1)
                                              .arg(m_nOffsetsSize / 3 - 1));
        return false;
    }
    std::copy(answer.offsets.begin(), answer.offsets.end(), m_pOffsets.get());
    return true;
}

MatchSeries::Outcome MatchSeries::Conclude(bool ran, const QString &failure)
{
    if (!ran)
        return End(failure);
    if (m_nLastResult <= 0)
        return End(ExecResultMessage(m_nLastResult));
    return Found();
}

MatchSeries::Outcome MatchSeries::Found()
{
    Outcome outcome;
    outcome.matched = true;
    // \K inside an assertion can put the start after the end: the series
    // goes on after both, or it would find the same match again.
    m_nNextStart = std::max(m_pOffsets[0], m_pOffsets[1]);
    // The last byte can be a match too, so the series goes on while any byte
    // follows the match.
    outcome.canContinue = m_nNextStart < m_strInput.size();
    outcome.captured = m_nLastResult > 1;
    outcome.message = outcome.canContinue ? QStringLiteral("Matches found!") : QStringLiteral("Match found!");
    m_canContinue = outcome.canContinue;
    return outcome;
}

// A failed call ends the series: the message says why.
MatchSeries::Outcome MatchSeries::End(const QString &message)
{
    ReleasePattern();
    Outcome outcome;
    outcome.message = message;
    return outcome;
}
