// The subject lines of a case: decoding, matching (/g and /G included),
// and writing the results, callouts and substrings as the test program
// writes them.

#include "CaseRun.h"

#include "PcreSearch.h"
#include "SafeRead.h"

#include <algorithm>

namespace {

constexpr int kCopyBufferSize = 256;
constexpr std::size_t kMaxMarkLength = 256;    // marks are at most 255 bytes

// The test program's words for each negative result, by -result.
const char *const kErrorTexts[] = {
    nullptr,
    nullptr,
    "NULL argument passed",
    "bad option value",
    "magic number missing",
    "unknown opcode - pattern overwritten?",
    "no more memory",
    nullptr,
    "match limit exceeded",
    "callout error code",
    nullptr,
    nullptr,
    nullptr,
    "not used - internal error",
    "internal error - pattern overwritten?",
    "bad count value",
    "item unsupported for DFA matching",
    "backreference condition or recursion test not supported for DFA matching",
    "match limit not supported for DFA matching",
    "workspace size exceeded in DFA matching",
    "too much recursion for DFA matching",
    "recursion limit exceeded",
    "not used - internal error",
    "invalid combination of newline options",
    "bad offset value",
    nullptr,
    "nested recursion at the same subject position",
    "JIT stack limit reached",
    "pattern compiled in wrong mode: 8-bit/16-bit error",
    "pattern compiled with other endianness",
    "invalid data in workspace for DFA restart",
    "bad JIT option",
    "bad length",
};

// The callouts of one subject. The library calls a plain function, so the
// subject's state is reached through this pointer, set while it runs.
struct CalloutState
{
    TextOut *out = nullptr;
    std::string_view pattern;
    bool first = true;
    bool extra = false;               // \C+: the captures too
    const unsigned char *lastMark = nullptr;
    int count = 0;
    int failCount = 999999;
    int failId = -1;
};

CalloutState *g_callout = nullptr;
bool g_jitWasUsed = false;

std::string markText(const unsigned char *mark)
{
    return SafeReadString(reinterpret_cast<const char *>(mark), kMaxMarkLength);
}

void calloutCaptures(const PcreCalloutBlock &block, TextOut &out)
{
    out.format("Callout %d: last capture = %d\n", block.callout_number, block.capture_last);
    if (!block.offset_vector)
        return;
    for (int i = 0; i < block.capture_top * 2; i += 2) {
        if (block.offset_vector[i] < 0) {
            out.format("%2d: <unset>\n", i / 2);
            continue;
        }
        out.format("%2d: ", i / 2);
        out.characters(reinterpret_cast<const unsigned char *>(block.subject) + block.offset_vector[i],
                       block.offset_vector[i + 1] - block.offset_vector[i]);
        out.put("\n");
    }
}

int callout(PcreCalloutBlock *block)
{
    CalloutState &state = *g_callout;
    TextOut &out = *state.out;
    const bool write = state.first || state.extra;
    if (state.extra)
        calloutCaptures(*block, out);
    if (write)
        out.put("--->");
    // Inside a lookbehind the position may lie before the start.
    const int current = std::max(block->current_position, block->start_match);
    const auto *subject = reinterpret_cast<const unsigned char *>(block->subject);
    const int before = out.characters(subject, block->start_match, write);
    const int matched = out.characters(subject + block->start_match, current - block->start_match, write);
    const int whole = out.characters(subject, block->subject_length, false);
    out.characters(subject + current, block->subject_length - current, write);
    if (write)
        out.put("\n");

    const int position = block->version >= 1 ? block->pattern_position : 0;
    if (block->callout_number == 255) {
        out.format("%+3d ", position);
        if (position > 99)
            out.put("\n    ");
    } else if (state.extra) {
        out.put("    ");
    } else {
        out.format("%3d ", block->callout_number);
    }
    out.put(std::string(std::size_t(std::max(before, 0)), ' ') + "^");
    if (matched > 0)
        out.put(std::string(std::size_t(matched - 1), ' ') + "^");
    out.put(std::string(std::size_t(std::max(whole - before - matched + 4, 0)), ' '));
    const int itemLength = block->version >= 1 && block->next_item_length != 0 ? block->next_item_length : 1;
    if (position >= 0 && std::size_t(position) < state.pattern.size())
        out.put(state.pattern.substr(std::size_t(position), std::size_t(itemLength)));
    out.put("\n");
    state.first = false;

    const unsigned char *mark = block->version >= 2 ? block->mark : nullptr;
    if (mark != state.lastMark) {
        if (!mark) {
            out.put("Latest Mark: <unset>\n");
        } else {
            out.put("Latest Mark: ");
            out.characters(markText(mark));
            out.put("\n");
        }
        state.lastMark = mark;
    }
    if (block->callout_data) {
        const int data = *static_cast<const int *>(block->callout_data);
        if (data != 0) {
            out.format("Callout data = %d\n", data);
            return data;
        }
    }
    if (block->callout_number != state.failId)
        return 0;
    return ++state.count >= state.failCount ? 1 : 0;
}

pcre_jit_stack *jitCallback(void *stack)
{
    g_jitWasUsed = true;
    return static_cast<pcre_jit_stack *>(stack);
}

// The text of `length` bytes at `from` in the subject; offsets that lie
// outside it are shown as such rather than read.
void subjectPart(TextOut &out, std::string_view subject, long from, long length)
{
    if (from < 0 || length < 0 || std::size_t(from + length) > subject.size()) {
        out.format("<bytes %ld to %ld of a %zu-byte subject>", from, from + length, subject.size());
        return;
    }
    out.characters(subject.substr(std::size_t(from), std::size_t(length)));
}

} // namespace

void CaseRun::runSubjects()
{
    CalloutState calloutState;
    g_callout = &calloutState;
    for (const SourceLine &line : m_case.subjects) {
        calloutState = CalloutState{&m_out, m_case.pattern};
        runSubject(line);
        if (m_subjectsSkipped || !m_skipReason.empty())
            break;
    }
    g_callout = nullptr;
    if (!m_subjectsSkipped)
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
        if (!m_optional.pcre_get_stringnumber) {
            skip("subpattern names in a subject (\\C, \\G): pcre_get_stringnumber is not exported");
            return true;
        }
        return m_clock.measure([&] { return m_optional.pcre_get_stringnumber(m_code, name.c_str()); }) >= 0;
    };
    const Subject subject = DecodeSubject(line.text, m_out.utf, knownName);
    m_out.put(subject.notes);
    if (!subject.outOfRange.empty())
        skip("subject line " + std::to_string(line.number) + " asks for " + subject.outOfRange);
    if (!m_skipReason.empty() || subject.abandoned || !applySubjectSettings(subject))
        return;
    matchLoop(subject, subject.execOptions);
}

bool CaseRun::applySubjectSettings(const Subject &subject)
{
    m_offsets = m_state.offsets.data();
    m_offsetsSize = kDefaultOvectorSize;
    if (subject.ovectorSize >= 0) {
        // Like the test program: a larger vector replaces the old one, and a
        // smaller one is its end, so a library that writes past the size it
        // was given spoils the pairs before it rather than unseen memory.
        if (std::size_t(subject.ovectorSize) > m_state.offsets.size())
            m_state.offsets.assign(std::size_t(subject.ovectorSize), 0);
        m_offsetsSize = subject.ovectorSize;
        m_offsets = m_offsetsSize == 0 ? nullptr
                                       : m_state.offsets.data() + m_state.offsets.size() - std::size_t(m_offsetsSize);
    }
    if (subject.recursionLimit >= 0) {
        ownExtra()->flags |= PCRE_EXTRA_MATCH_LIMIT_RECURSION;
        m_extra->match_limit_recursion = static_cast<unsigned long>(subject.recursionLimit);
    }
    if (subject.matchLimit >= 0) {
        ownExtra()->flags |= PCRE_EXTRA_MATCH_LIMIT;
        m_extra->match_limit = static_cast<unsigned long>(subject.matchLimit);
    }
    const bool jitStackCalls = m_optional.pcre_jit_stack_alloc && m_optional.pcre_jit_stack_free
                               && m_optional.pcre_assign_jit_stack;
    const bool jitCompiled = m_extra && (m_extra->flags & PCRE_EXTRA_EXECUTABLE_JIT) && m_extra->executable_jit;
    if ((subject.jitStackKilobytes >= 0 || m_state.verifyJit) && jitCompiled && !jitStackCalls) {
        skip("JIT stacks (\\J, S++): pcre_jit_stack_alloc and friends are not exported");
        return false;
    }
    auto *extra = reinterpret_cast<pcre_extra *>(m_extra);
    if (subject.jitStackKilobytes >= 0 && jitCompiled) {
        if (m_jitStack)
            m_optional.pcre_jit_stack_free(m_jitStack);
        m_jitStack = m_optional.pcre_jit_stack_alloc(1, subject.jitStackKilobytes * 1024);
        m_optional.pcre_assign_jit_stack(extra, jitCallback, m_jitStack);
    }
    // With S++ the callback tells whether the JIT ran; it hands the JIT
    // no stack of its own, so the default one is used.
    if (m_state.verifyJit && !m_jitStack && m_extra && jitStackCalls)
        m_optional.pcre_assign_jit_stack(extra, jitCallback, nullptr);
    if (subject.showMemory) {
        skip("memory tracing (\\S)");
        return false;
    }
    const bool substrings = subject.copyNumbers || subject.getNumbers || !subject.copyNames.empty()
                            || !subject.getNames.empty() || subject.substringList;
    if (substrings && !(m_optional.pcre_copy_substring && m_optional.pcre_copy_named_substring
                        && m_optional.pcre_get_substring && m_optional.pcre_get_named_substring
                        && m_optional.pcre_get_substring_list && m_optional.pcre_free_substring_list)) {
        skip("substring functions (\\C, \\G, \\L): pcre_get_substring and friends are not exported");
        return false;
    }
    if (!m_optional.pcre_callout && (m_case.pattern.find("(?C") != std::string::npos
                                     || (m_modifiers.compileOptions & PCRE_AUTO_CALLOUT))) {
        skip("callouts: pcre_callout is not exported");
        return false;
    }
    g_callout->extra = subject.calloutExtra;
    g_callout->failId = subject.calloutFailId;
    g_callout->failCount = subject.calloutFailCount;
    if (subject.calloutNone && m_optional.pcre_callout)
        *m_optional.pcre_callout = nullptr;
    return true;
}

void CaseRun::matchLoop(const Subject &subject, int options)
{
    const bool dfa = m_env.way.dfa || subject.dfa;
    // The limits concern pcre_exec() only; the test program ignores \M with
    // DFA matching (with a note on its standard output, not in its results).
    const bool findLimits = subject.findLimits && !dfa;
    const std::string &bytes = subject.bytes;
    std::size_t from = 0;                   // /G matches the rest of the subject
    int length = int(bytes.size());
    int startOffset = subject.startOffset;
    int retry = 0;                          // after an empty match: not empty, anchored
    for (int matches = 0;; ++matches) {
        m_mark = nullptr;
        g_jitWasUsed = false;
        int count = 0;
        if (findLimits) {
            count = this->findLimits(bytes, from, length, startOffset, options | retry);
        } else if (subject.calloutDataSet) {
            // The test program matches these with pcre_exec() even for DFA.
            int data = subject.calloutData;
            ownExtra()->flags |= PCRE_EXTRA_CALLOUT_DATA;
            m_extra->callout_data = &data;
            count = match(bytes, from, length, startOffset, options | retry, false);
            m_extra->flags &= ~PCRE_EXTRA_CALLOUT_DATA;
        } else {
            count = match(bytes, from, length, startOffset, options | retry, dfa);
            if (count == 0 && dfa) {
                m_out.put("Matched, but offsets vector is too small to show all matches\n");
                count = m_offsetsSize / 2;
            } else if (count == 0) {
                m_out.put("Matched, but too many substrings\n");
                count = m_offsetsSize == 2 ? 1 : m_offsetsSize / 3;
            }
        }
        if (!m_skipReason.empty())
            return;
        const std::string_view rest(bytes.data() + from, std::size_t(length));
        if (count >= 0) {
            if (!showMatch(count, bytes, from, length, dfa, subject))
                return;
        } else if (count == PCRE_ERROR_PARTIAL) {
            showPartial(rest);
            return;
        } else if (retry && m_offsets && m_offsetsSize >= 2) {
            // No non-empty match here: advance by one character (a CRLF
            // counts as one where it is a newline) and go on.
            int step = 1;
            const int newline = newlineConvention();
            const bool crlfNewline = newline == PCRE_NEWLINE_ANY || newline == PCRE_NEWLINE_CRLF
                                     || newline == PCRE_NEWLINE_ANYCRLF;
            if (crlfNewline && startOffset < length - 1 && rest[std::size_t(startOffset)] == '\r'
                && rest[std::size_t(startOffset) + 1] == '\n')
                ++step;
            else if (m_out.utf)
                while (startOffset + step < length && (rest[std::size_t(startOffset + step)] & 0xc0) == 0x80)
                    ++step;
            m_offsets[0] = startOffset;
            m_offsets[1] = startOffset + step;
        } else {
            if (count != PCRE_ERROR_NOMATCH || matches == 0)
                showError(count);
            return;
        }
        if (!m_modifiers.global && !m_modifiers.globalShortened)
            return;
        if (!m_offsets) {
            m_out.put("Cannot do global matching without an ovector\n");
            return;
        }
        if (m_offsetsSize < 2) {
            m_out.put("Cannot do global matching with an ovector size < 2\n");
            return;
        }
        retry = 0;
        if (m_offsets[0] == m_offsets[1]) {
            if (m_offsets[0] == length)
                return;
            retry = PCRE_NOTEMPTY_ATSTART | PCRE_ANCHORED;
        }
        if (m_modifiers.global) {
            // \K in a lookbehind can end a match before its start offset:
            // move on by one character then, or it would loop.
            if (retry == 0 && m_offsets[1] <= startOffset) {
                if (startOffset >= length)
                    return;
                ++startOffset;
                if (m_out.utf)
                    while (startOffset < length && (rest[std::size_t(startOffset)] & 0xc0) == 0x80)
                        ++startOffset;
            } else {
                startOffset = m_offsets[1];
            }
        } else {
            if (m_offsets[1] < 0 || m_offsets[1] > length)
                return;
            from += std::size_t(m_offsets[1]);
            length -= m_offsets[1];
        }
    }
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

int CaseRun::match(const std::string &bytes, std::size_t from, int length, int startOffset, int options, bool dfa)
{
    const char *subject = bytes.data() + from;
    if (!dfa) {
        const PcreExtraBlock extra = limitedExtra();
        return m_clock.measure([&] {
            return m_library.Api().pcre_exec(m_code, reinterpret_cast<const pcre_extra *>(&extra), subject, length,
                                             startOffset, options, m_offsets, m_offsetsSize);
        });
    }
    if (!m_optional.pcre_dfa_exec) {
        skip("DFA matching: pcre_dfa_exec is not exported");
        return PCRE_ERROR_NOMATCH;
    }
    std::vector<int> &workspace = m_state.dfaWorkspace;
    if (m_dfaMatches++ == 0)
        workspace[0] = -1;    // catches a restart without a partial match before it
    return m_clock.measure([&] {
        return m_optional.pcre_dfa_exec(m_code, reinterpret_cast<const pcre_extra *>(m_extra), subject, length,
                                        startOffset, options, m_offsets, m_offsetsSize, workspace.data(),
                                        int(workspace.size()));
    });
}

// \M: the smallest match and recursion limits under which the match still
// succeeds, by bisection. Like the test program, it leaves the pattern
// without its study data for the lines after it.
int CaseRun::findLimits(const std::string &bytes, std::size_t from, int length, int startOffset, int options)
{
    releaseExtra();
    ownExtra();
    limitSearch(bytes, from, length, startOffset, options, PCRE_EXTRA_MATCH_LIMIT, &PcreExtraBlock::match_limit,
                PCRE_ERROR_MATCHLIMIT, "match()");
    return limitSearch(bytes, from, length, startOffset, options, PCRE_EXTRA_MATCH_LIMIT_RECURSION,
                       &PcreExtraBlock::match_limit_recursion, PCRE_ERROR_RECURSIONLIMIT, "match() recursion");
}

int CaseRun::limitSearch(const std::string &bytes, std::size_t from, int length, int startOffset, int options,
                         unsigned long flag, unsigned long PcreExtraBlock::*limit, int error, const char *name)
{
    long low = 0;
    long mid = 64;
    long high = -1;
    int count = 0;
    m_extra->flags |= flag;
    for (;;) {
        m_extra->*limit = static_cast<unsigned long>(mid);
        count = match(bytes, from, length, startOffset, options, false);
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
        if (mid > INT32_MAX)
            break;
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

// False when the rest of the subjects are passed over.
bool CaseRun::showMatch(int count, const std::string &bytes, std::size_t from, int length, bool dfa,
                        const Subject &request)
{
    const int maxCount = dfa ? m_offsetsSize / 2 : m_offsetsSize == 2 ? 1 : m_offsetsSize / 3;
    if (count > maxCount) {
        m_out.format("** PCRE error: returned count %d is too big for offset size %d\n", count, m_offsetsSize);
        count = m_offsetsSize / 3;
        if (m_modifiers.global || m_modifiers.globalShortened) {
            m_out.format("** /%c loop abandoned\n", m_modifiers.global ? 'g' : 'G');
            m_modifiers.global = m_modifiers.globalShortened = false;
        }
    }
    if (m_modifiers.showAllCaptures) {
        const auto captures = info<PCRE_INFO_CAPTURECOUNT>();
        if (!captures) {
            skipSubjects();
            return false;
        }
        count = *captures + 1;
        if (count * 2 > m_offsetsSize)
            count = m_offsetsSize / 2;
    }
    const std::string_view subject(bytes.data() + from, std::size_t(length));
    for (int i = 0; i < count; ++i)
        showCapture(i, subject);
    if (m_mark) {
        m_out.put("MK: ");
        m_out.characters(markText(m_mark));
        m_out.put("\n");
    }
    showSubstrings(count, subject.data(), request);
    return true;
}

void CaseRun::showCapture(int index, std::string_view subject)
{
    const int start = m_offsets[2 * index];
    const int end = m_offsets[2 * index + 1];
    if (start < 0) {
        for (int k : {0, 1}) {
            if (m_offsets[2 * index + k] != -1)
                m_out.format("ERROR: bad negative value %d for offset %d\n", m_offsets[2 * index + k], 2 * index + k);
        }
        m_out.format("%2d: <unset>\n", index);
        return;
    }
    if (start > end)
        m_out.put("Start of matched string is beyond its end - displaying from end to start.\n");
    m_out.format("%2d: ", index);
    subjectPart(m_out, subject, std::min(start, end), std::abs(long(end) - start));
    if (m_state.verifyJit && g_jitWasUsed)
        m_out.put(" (JIT)");
    m_out.put("\n");
    if (m_modifiers.showCaptureRest || (index == 0 && m_modifiers.showRest)) {
        m_out.format("%2d+ ", index);
        subjectPart(m_out, subject, end, long(subject.size()) - end);
        m_out.put("\n");
    }
}

// \C, \G and \L: the substring functions, by number and by name. The
// functions exist when a subject asks for them (applySubjectSettings).
void CaseRun::showSubstrings(int count, const char *subject, const Subject &request)
{
    char buffer[kCopyBufferSize];
    for (int i = 0; i < 32; ++i) {
        if (!(request.copyNumbers & (1u << i)))
            continue;
        const int length = m_clock.measure([&] {
            return m_optional.pcre_copy_substring(subject, m_offsets, count, i, buffer, kCopyBufferSize);
        });
        if (length < 0) {
            m_out.format("copy substring %d failed %d\n", i, length);
            continue;
        }
        m_out.format("%2dC ", i);
        m_out.characters(std::string_view(buffer, std::size_t(length)));
        m_out.format(" (%d)\n", length);
    }
    for (const std::string &name : request.copyNames) {
        const int length = m_clock.measure([&] {
            return m_optional.pcre_copy_named_substring(m_code, subject, m_offsets, count, name.c_str(), buffer,
                                                        kCopyBufferSize);
        });
        showNamedSubstring('C', name, length, buffer);
    }
    for (int i = 0; i < 32; ++i) {
        if (!(request.getNumbers & (1u << i)))
            continue;
        const char *substring = nullptr;
        const int length = m_clock.measure(
            [&] { return m_optional.pcre_get_substring(subject, m_offsets, count, i, &substring); });
        if (length < 0) {
            m_out.format("get substring %d failed %d\n", i, length);
            continue;
        }
        m_out.format("%2dG ", i);
        m_out.characters(std::string_view(substring, std::size_t(length)));
        m_out.format(" (%d)\n", length);
        m_library.Api().pcre_free_substring(substring);
    }
    for (const std::string &name : request.getNames) {
        const char *substring = nullptr;
        const int length = m_clock.measure([&] {
            return m_optional.pcre_get_named_substring(m_code, subject, m_offsets, count, name.c_str(), &substring);
        });
        showNamedSubstring('G', name, length, substring);
        if (length >= 0)
            m_library.Api().pcre_free_substring(substring);
    }
    if (request.substringList)
        showSubstringList(count, subject);
}

void CaseRun::showNamedSubstring(char kind, const std::string &name, int length, const char *text)
{
    if (length < 0) {
        m_out.format("%s substring ", kind == 'C' ? "copy" : "get");
        m_out.characters(name);
        m_out.format(" failed %d\n", length);
        return;
    }
    m_out.format("  %c ", kind);
    m_out.characters(std::string_view(text, std::size_t(length)));
    m_out.format(" (%d) ", length);
    m_out.characters(name);
    m_out.put("\n");
}

void CaseRun::showSubstringList(int count, const char *subject)
{
    const char **list = nullptr;
    const int result =
        m_clock.measure([&] { return m_optional.pcre_get_substring_list(subject, m_offsets, count, &list); });
    if (result < 0) {
        m_out.format("get substring list failed %d\n", result);
        return;
    }
    for (int i = 0; i < count; ++i) {
        m_out.format("%2dL ", i);
        m_out.characters(reinterpret_cast<const unsigned char *>(list[i]), -1);
        m_out.put("\n");
    }
    if (list[std::max(count, 0)])
        m_out.put("string list not terminated by NULL\n");
    m_optional.pcre_free_substring_list(list);
}

void CaseRun::showPartial(std::string_view subject)
{
    m_out.put("Partial match");
    if (m_offsetsSize > 2 && m_offsets[0] != m_offsets[2])
        m_out.format(" at offset %d", m_offsets[2]);
    if (m_mark) {
        m_out.put(", mark=");
        m_out.characters(markText(m_mark));
    }
    if (m_offsetsSize > 1) {
        m_out.put(": ");
        subjectPart(m_out, subject, m_offsets[0], long(m_offsets[1]) - m_offsets[0]);
    }
    if (m_state.verifyJit && g_jitWasUsed)
        m_out.put(" (JIT)");
    m_out.put("\n");
}

void CaseRun::showError(int count)
{
    switch (count) {
    case PCRE_ERROR_NOMATCH:
        if (!m_mark) {
            m_out.put("No match");
        } else {
            m_out.put("No match, mark = ");
            m_out.characters(markText(m_mark));
        }
        if (m_state.verifyJit && g_jitWasUsed)
            m_out.put(" (JIT)");
        m_out.put("\n");
        return;
    case PCRE_ERROR_BADUTF8:
    case PCRE_ERROR_SHORTUTF8:
        m_out.format("Error %d (%s UTF-8 string)", count, count == PCRE_ERROR_BADUTF8 ? "bad" : "short");
        if (m_offsetsSize >= 2)
            m_out.format(" offset=%d reason=%d", m_offsets[0], m_offsets[1]);
        m_out.put("\n");
        return;
    case PCRE_ERROR_BADUTF8_OFFSET:
        m_out.format("Error %d (bad UTF-8 offset)\n", count);
        return;
    default:
        constexpr int known = int(sizeof kErrorTexts / sizeof kErrorTexts[0]);
        if (count < 0 && -count < known)
            m_out.format("Error %d (%s)\n", count, kErrorTexts[-count] ? kErrorTexts[-count] : "(null)");
        else
            m_out.format("Error %d (Unexpected value)\n", count);
    }
}
