// What the test program writes for a subject's results: captures, marks,
// partial matches, errors, substrings and callouts.

#include "CaseRun.h"

#include "SafeRead.h"

#include <algorithm>
#include <cstdlib>

CaseRun::CalloutState *CaseRun::s_callout = nullptr;

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

} // namespace

// Called by the library at each callout while a subject is matched. The
// first callout of a match shows the subject, the later ones only where
// they are in it (all of them with \C+).
int CaseRun::callout(PcreCalloutBlock *block)
{
    CalloutState &state = *s_callout;
    if (state.out->full())
        return PCRE_ERROR_CALLOUT;    // ends the match: see matchLoop()
    if (state.extra)
        calloutCaptures(*block, *state.out);
    calloutPosition(*block, state);
    state.first = false;
    calloutMark(*block, state);
    if (block->callout_data) {
        const int data = *static_cast<const int *>(block->callout_data);
        if (data != 0) {
            state.out->format("Callout data = %d\n", data);
            return data;
        }
    }
    if (block->callout_number != state.failId)
        return 0;
    return ++state.count >= state.failCount ? 1 : 0;
}

// "--->subject", then a line with the callout's number, carets under the
// start of the match and the current position, and the pattern's next item.
void CaseRun::calloutPosition(const PcreCalloutBlock &block, CalloutState &state)
{
    TextOut &out = *state.out;
    const bool write = state.first || state.extra;
    if (write)
        out.put("--->");
    // Inside a lookbehind the position may lie before the start.
    const int current = std::max(block.current_position, block.start_match);
    const auto *subject = reinterpret_cast<const unsigned char *>(block.subject);
    const int before = out.characters(subject, block.start_match, write);
    const int matched = out.characters(subject + block.start_match, current - block.start_match, write);
    const int whole = out.characters(subject, block.subject_length, false);
    out.characters(subject + current, block.subject_length - current, write);
    if (write)
        out.put("\n");

    const int position = block.version >= 1 ? block.pattern_position : 0;
    if (block.callout_number == 255) {
        out.format("%+3d ", position);
        if (position > 99)
            out.put("\n    ");
    } else {
        out.format(state.extra ? "    " : "%3d ", block.callout_number);
    }
    out.put(std::string(std::size_t(std::max(before, 0)), ' ') + "^");
    if (matched > 0)
        out.put(std::string(std::size_t(matched - 1), ' ') + "^");
    out.put(std::string(std::size_t(std::max(whole - before - matched + 4, 0)), ' '));
    const int itemLength = block.version >= 1 && block.next_item_length != 0 ? block.next_item_length : 1;
    if (position >= 0 && std::size_t(position) < state.pattern.size())
        out.put(state.pattern.substr(std::size_t(position), std::size_t(itemLength)));
    out.put("\n");
}

void CaseRun::calloutMark(const PcreCalloutBlock &block, CalloutState &state)
{
    const unsigned char *mark = block.version >= 2 ? block.mark : nullptr;
    if (mark == state.lastMark)
        return;
    if (!mark) {
        state.out->put("Latest Mark: <unset>\n");
    } else {
        state.out->put("Latest Mark: ");
        state.out->characters(markText(mark));
        state.out->put("\n");
    }
    state.lastMark = mark;
}

// False when the rest of the subjects are passed over.
bool CaseRun::showMatch(int count, std::string_view subject, bool dfa, const Subject &request)
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
        count = std::min(*captures + 1, m_offsetsSize / 2);
    }
    for (int i = 0; i < count; ++i)
        showCapture(i, subject);
    if (m_mark) {
        m_out.put("MK: ");
        m_out.characters(markText(m_mark));
        m_out.put("\n");
    }
    showCopies(count, subject.data(), request);
    showGets(count, subject.data(), request);
    if (request.substringList)
        showSubstringList(count, subject.data());
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
    // \K in an assertion can put the start after the end.
    if (start > end)
        m_out.put("Start of matched string is beyond its end - displaying from end to start.\n");
    m_out.format("%2d: ", index);
    subjectPart(m_out, subject, std::min(start, end), std::abs(long(end) - start));
    if (m_state.verifyJit && s_jitWasUsed)
        m_out.put(" (JIT)");
    m_out.put("\n");
    if (m_modifiers.showCaptureRest || (index == 0 && m_modifiers.showRest)) {
        m_out.format("%2d+ ", index);
        subjectPart(m_out, subject, end, long(subject.size()) - end);
        m_out.put("\n");
    }
}

// \C: copies of substrings by number, then by name. The functions exist
// when a subject asks for them (checkSubjectCalls).
void CaseRun::showCopies(int count, const char *subject, const Subject &request)
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
}

// \G: substrings the library allocates, by number, then by name.
void CaseRun::showGets(int count, const char *subject, const Subject &request)
{
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
    if (m_state.verifyJit && s_jitWasUsed)
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
        if (m_state.verifyJit && s_jitWasUsed)
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
