// The subject lines of a case: decoding, the settings they ask for, and
// matching, /g and /G loops included, as the test program does it.

#include "CaseRun.h"

#include "PcreSearch.h"

#include <cstdint>

bool CaseRun::s_jitWasUsed = false;

namespace {

pcre_jit_stack *jitCallback(void *stack)
{
    CaseRun::s_jitWasUsed = true;
    return static_cast<pcre_jit_stack *>(stack);
}

} // namespace

void CaseRun::runSubjects()
{
    CalloutState calloutState;
    for (const SourceLine &line : m_case.subjects) {
        calloutState = CalloutState{&m_out, m_case.pattern};
        s_callout = &calloutState;
        runSubject(line);
        s_callout = nullptr;
        if (m_subjectsSkipped || !m_skipReason.empty())
            return;
    }
    echo(m_case.trailer);
}

void CaseRun::runSubject(const SourceLine &line)
{
    if (m_subjectLine)
        m_subjectLine->store(line.number, std::memory_order_relaxed);
    if (m_optional.pcre_callout)
        *m_optional.pcre_callout = callout;
    if (m_extra)
        m_extra->flags &= ~(PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION);
    m_out.put(line.text);
    if (!line.text.ends_with('\n'))
        m_out.put("\n");

    const auto knownName = [this](const std::string &name) {
        if (!available(m_optional.pcre_get_stringnumber, "subpattern names in a subject (\\C, \\G)",
                       "pcre_get_stringnumber is"))
            return true;
        return m_clock.measure([&] { return m_optional.pcre_get_stringnumber(m_code, name.c_str()); }) >= 0;
    };
    const Subject subject = DecodeSubject(line.text, m_out.utf, knownName);
    m_out.put(subject.notes);
    if (!subject.outOfRange.empty())
        skip("subject line " + std::to_string(line.number) + " asks for " + subject.outOfRange);
    if (!m_skipReason.empty() || subject.abandoned)
        return;
    useVector(subject.ovectorSize);
    setLimits(subject);
    if (!setJitStack(subject.jitStackKilobytes) || !checkSubjectCalls(subject))
        return;
    s_callout->extra = subject.calloutExtra;
    s_callout->failId = subject.calloutFailId;
    s_callout->failCount = subject.calloutFailCount;
    if (subject.calloutNone && m_optional.pcre_callout)
        *m_optional.pcre_callout = nullptr;
    matchLoop(subject);
}

// Like the test program: a larger vector replaces the old one, and a
// smaller one is its end, so a library that writes past the size it was
// given spoils the pairs before it rather than unseen memory.
void CaseRun::useVector(int size)
{
    m_offsets = m_state.offsets.data();
    m_offsetsSize = kDefaultOvectorSize;
    if (size < 0)
        return;
    if (std::size_t(size) > m_state.offsets.size())
        m_state.offsets.assign(std::size_t(size), 0);
    m_offsetsSize = size;
    m_offsets = size == 0 ? nullptr : m_state.offsets.data() + m_state.offsets.size() - std::size_t(size);
}

void CaseRun::setLimits(const Subject &subject)
{
    if (subject.recursionLimit >= 0) {
        ownExtra()->flags |= PCRE_EXTRA_MATCH_LIMIT_RECURSION;
        m_extra->match_limit_recursion = static_cast<unsigned long>(subject.recursionLimit);
    }
    if (subject.matchLimit >= 0) {
        ownExtra()->flags |= PCRE_EXTRA_MATCH_LIMIT;
        m_extra->match_limit = static_cast<unsigned long>(subject.matchLimit);
    }
}

// \J gives the JIT a stack of that many kilobytes. With S++ the callback
// only tells whether the JIT ran, handing it no stack of its own.
bool CaseRun::setJitStack(int kilobytes)
{
    const bool compiled = m_extra && (m_extra->flags & PCRE_EXTRA_EXECUTABLE_JIT) && m_extra->executable_jit;
    if (!compiled || (kilobytes < 0 && !m_state.verifyJit))
        return true;
    if (!available(m_optional.pcre_jit_stack_alloc && m_optional.pcre_jit_stack_free && m_optional.pcre_assign_jit_stack,
                   "JIT stacks (\\J, S++)", "pcre_jit_stack_alloc and friends are"))
        return false;
    auto *extra = reinterpret_cast<pcre_extra *>(m_extra);
    if (kilobytes >= 0) {
        if (m_jitStack)
            m_optional.pcre_jit_stack_free(m_jitStack);
        m_jitStack = m_optional.pcre_jit_stack_alloc(1, kilobytes * 1024);
        m_optional.pcre_assign_jit_stack(extra, jitCallback, m_jitStack);
    }
    if (m_state.verifyJit && !m_jitStack)
        m_optional.pcre_assign_jit_stack(extra, jitCallback, nullptr);
    return true;
}

bool CaseRun::checkSubjectCalls(const Subject &subject)
{
    if (subject.showMemory) {
        skip("memory tracing (\\S)");
        return false;
    }
    const bool substrings = subject.copyNumbers || subject.getNumbers || !subject.copyNames.empty()
                            || !subject.getNames.empty() || subject.substringList;
    const bool callouts = m_case.pattern.find("(?C") != std::string::npos
                          || (m_modifiers.compileOptions & PCRE_AUTO_CALLOUT);
    return (!substrings
            || available(m_optional.pcre_copy_substring && m_optional.pcre_copy_named_substring
                             && m_optional.pcre_get_substring && m_optional.pcre_get_named_substring
                             && m_optional.pcre_get_substring_list && m_optional.pcre_free_substring_list,
                         "substring functions (\\C, \\G, \\L)", "pcre_get_substring and friends are"))
           && (!callouts || available(m_optional.pcre_callout, "callouts", "pcre_callout is"));
}

void CaseRun::matchLoop(const Subject &subject)
{
    MatchCursor cursor{subject.bytes, 0, int(subject.bytes.size()), subject.startOffset, 0};
    const bool dfa = m_env.way.dfa || subject.dfa;
    for (int matches = 0;; ++matches) {
        if (m_out.full()) {
            m_out.put("** The output of this case passed 16 MB: matching stopped\n");
            return;
        }
        m_mark = nullptr;
        s_jitWasUsed = false;
        const int count = matchOnce(subject, cursor, subject.execOptions | cursor.retry, dfa);
        if (!m_skipReason.empty())
            return;
        if (count >= 0) {
            if (!showMatch(count, cursor.rest(), dfa, subject))
                return;
        } else if (count == PCRE_ERROR_PARTIAL) {
            showPartial(cursor.rest());
            return;
        } else if (cursor.retry) {
            stepPastEmptyMatch(cursor);
        } else {
            if (count != PCRE_ERROR_NOMATCH || matches == 0)
                showError(count);
            return;
        }
        if (!nextGlobalMatch(cursor))
            return;
    }
}

int CaseRun::matchOnce(const Subject &subject, const MatchCursor &cursor, int options, bool dfa)
{
    // The limits concern pcre_exec() only: with DFA matching the test program
    // ignores \M, with a note on its standard output, not in its results.
    if (subject.findLimits && !dfa)
        return findLimits(cursor, options);
    if (subject.calloutDataSet) {
        // Matched with pcre_exec() even in a DFA run, as the test program does.
        int data = subject.calloutData;
        ownExtra()->flags |= PCRE_EXTRA_CALLOUT_DATA;
        m_extra->callout_data = &data;
        const int count = match(cursor, options, false);
        m_extra->flags &= ~PCRE_EXTRA_CALLOUT_DATA;
        return count;
    }
    const int count = match(cursor, options, dfa);
    if (count != 0)
        return count;
    if (dfa) {
        m_out.put("Matched, but offsets vector is too small to show all matches\n");
        return m_offsetsSize / 2;
    }
    m_out.put("Matched, but too many substrings\n");
    return m_offsetsSize == 2 ? 1 : m_offsetsSize / 3;
}

// No non-empty match where an empty one was: move on by one character (a
// CRLF counts as one where it is a newline), as Perl's /g does.
void CaseRun::stepPastEmptyMatch(const MatchCursor &cursor)
{
    const std::string_view rest = cursor.rest();
    const int at = cursor.startOffset;
    const int newline = newlineConvention();
    const bool crlfNewline =
        newline == PCRE_NEWLINE_ANY || newline == PCRE_NEWLINE_CRLF || newline == PCRE_NEWLINE_ANYCRLF;
    int step = 1;
    if (crlfNewline && at < cursor.length - 1 && rest[std::size_t(at)] == '\r' && rest[std::size_t(at) + 1] == '\n')
        ++step;
    else if (m_out.utf)
        while (at + step < cursor.length && (rest[std::size_t(at + step)] & 0xc0) == 0x80)
            ++step;
    m_offsets[0] = at;
    m_offsets[1] = at + step;
}

// Where /g or /G goes on after a match; false when the loop is over.
bool CaseRun::nextGlobalMatch(MatchCursor &cursor)
{
    if (!m_modifiers.global && !m_modifiers.globalShortened)
        return false;
    if (!m_offsets || m_offsetsSize < 2) {
        m_out.put(m_offsets ? "Cannot do global matching with an ovector size < 2\n"
                            : "Cannot do global matching without an ovector\n");
        return false;
    }
    cursor.retry = 0;
    if (m_offsets[0] == m_offsets[1]) {
        if (m_offsets[0] == cursor.length)
            return false;
        cursor.retry = PCRE_NOTEMPTY_ATSTART | PCRE_ANCHORED;
    }
    if (m_modifiers.globalShortened) {
        if (m_offsets[1] < 0 || m_offsets[1] > cursor.length)
            return false;
        cursor.from += std::size_t(m_offsets[1]);
        cursor.length -= m_offsets[1];
        return true;
    }
    // \K in a lookbehind can end a match before its start offset: move on
    // by one character then, or the loop would not end.
    if (cursor.retry || m_offsets[1] > cursor.startOffset) {
        cursor.startOffset = m_offsets[1];
        return true;
    }
    if (cursor.startOffset >= cursor.length)
        return false;
    ++cursor.startOffset;
    const std::string_view rest = cursor.rest();
    if (m_out.utf)
        while (cursor.startOffset < cursor.length && (rest[std::size_t(cursor.startOffset)] & 0xc0) == 0x80)
            ++cursor.startOffset;
    return true;
}

// The study data with the recursion limit the child's stack allows: a
// library that recurses without end returns an error instead of crashing.
PcreExtraBlock CaseRun::limitedExtra() const
{
    PcreExtraBlock block = m_extra ? *m_extra : PcreExtraBlock{};
    if (!(block.flags & PCRE_EXTRA_MATCH_LIMIT_RECURSION)) {
        block.flags |= PCRE_EXTRA_MATCH_LIMIT_RECURSION;
        block.match_limit_recursion = PcreSearch::RecursionLimitFor(m_env.features.frameSize);
    }
    return block;
}

int CaseRun::match(const MatchCursor &cursor, int options, bool dfa)
{
    const char *subject = cursor.bytes.data() + cursor.from;
    if (!dfa) {
        const PcreExtraBlock extra = limitedExtra();
        return m_clock.measure([&] {
            return m_library.Api().pcre_exec(m_code, reinterpret_cast<const pcre_extra *>(&extra), subject,
                                             cursor.length, cursor.startOffset, options, m_offsets, m_offsetsSize);
        });
    }
    if (!available(m_optional.pcre_dfa_exec, "DFA matching", "pcre_dfa_exec is"))
        return PCRE_ERROR_NOMATCH;
    std::vector<int> &workspace = m_state.dfaWorkspace;
    if (m_dfaMatches++ == 0)
        workspace[0] = -1;    // catches a restart without a partial match before it
    return m_clock.measure([&] {
        return m_optional.pcre_dfa_exec(m_code, reinterpret_cast<const pcre_extra *>(m_extra), subject,
                                        cursor.length, cursor.startOffset, options, m_offsets, m_offsetsSize,
                                        workspace.data(), int(workspace.size()));
    });
}

// \M: the smallest match and recursion limits under which the match still
// ends as it does without them, by bisection. Like the test program, it
// leaves the pattern without its study data for the lines after it.
int CaseRun::findLimits(const MatchCursor &cursor, int options)
{
    releaseExtra();
    ownExtra();
    limitSearch(cursor, options, PCRE_EXTRA_MATCH_LIMIT, &PcreExtraBlock::match_limit, PCRE_ERROR_MATCHLIMIT,
                "match()");
    return limitSearch(cursor, options, PCRE_EXTRA_MATCH_LIMIT_RECURSION, &PcreExtraBlock::match_limit_recursion,
                       PCRE_ERROR_RECURSIONLIMIT, "match() recursion");
}

int CaseRun::limitSearch(const MatchCursor &cursor, int options, unsigned long flag,
                         unsigned long PcreExtraBlock::*limit, int error, const char *name)
{
    long low = 0;
    long mid = 64;
    long high = -1;
    int count = 0;
    m_extra->flags |= flag;
    while (mid <= INT32_MAX) {
        m_extra->*limit = static_cast<unsigned long>(mid);
        count = match(cursor, options, false);
        if (count == error) {
            low = mid;
            mid = mid == high - 1 ? high : high > 0 ? (low + high) / 2 : mid * 2;
        } else if (count >= 0 || count == PCRE_ERROR_NOMATCH || count == PCRE_ERROR_PARTIAL) {
            if (mid == low + 1) {
                m_out.format("Minimum %s limit = %ld\n", name, mid);
                break;
            }
            high = mid;
            mid = (low + mid) / 2;
        } else {
            break;
        }
    }
    m_extra->flags &= ~flag;
    return count;
}

int CaseRun::newlineConvention() const
{
    if (const int bits = int(m_options) & PCRE_NEWLINE_BITS)
        return bits;
    switch (m_env.features.newline) {
    case 13: return PCRE_NEWLINE_CR;
    case 10: return PCRE_NEWLINE_LF;
    case (13 << 8 | 10): return PCRE_NEWLINE_CRLF;
    case -2: return PCRE_NEWLINE_ANYCRLF;
    case -1: return PCRE_NEWLINE_ANY;
    default: return 0;
    }
}
