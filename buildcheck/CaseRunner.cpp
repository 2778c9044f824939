#include "CaseRun.h"
#include "PcreBinding.h"

#include "PcreNameTable.h"
#include "SafeRead.h"

#include <cctype>
#include <clocale>
#include <cstdlib>

namespace {

constexpr int kDfaWorkspaceSize = 1000;
constexpr std::size_t kMaxErrorText = 1024;

struct OptionName { int option; const char *name; };

// In the order the pattern information lists them.
constexpr OptionName kOptionNames[] = {
    {PCRE_ANCHORED, "anchored"},          {PCRE_CASELESS, "caseless"},
    {PCRE_EXTENDED, "extended"},          {PCRE_MULTILINE, "multiline"},
    {PCRE_FIRSTLINE, "firstline"},        {PCRE_DOTALL, "dotall"},
    {PCRE_BSR_ANYCRLF, "bsr_anycrlf"},    {PCRE_BSR_UNICODE, "bsr_unicode"},
    {PCRE_DOLLAR_ENDONLY, "dollar_endonly"}, {PCRE_EXTRA, "extra"},
    {PCRE_UNGREEDY, "ungreedy"},          {PCRE_NO_AUTO_CAPTURE, "no_auto_capture"},
    {PCRE_NO_AUTO_POSSESS, "no_auto_possessify"}, {PCRE_UTF8, "utf"},
    {PCRE_UCP, "ucp"},                    {PCRE_NO_UTF8_CHECK, "no_utf_check"},
    {PCRE_NO_START_OPTIMIZE, "no_start_optimize"}, {PCRE_DUPNAMES, "dupnames"},
    {PCRE_NEVER_UTF, "never_utf"},
};

constexpr OptionName kNewlineNames[] = {
    {PCRE_NEWLINE_CR, "CR"},           {PCRE_NEWLINE_LF, "LF"},   {PCRE_NEWLINE_CRLF, "CRLF"},
    {PCRE_NEWLINE_ANYCRLF, "ANYCRLF"}, {PCRE_NEWLINE_ANY, "ANY"},
};

std::string errorText(const char *text)
{
    return text ? SafeReadString(text, kMaxErrorText) : "(null)";
}

} // namespace

// --- CaseRun: the pattern ---------------------------------------------------

CaseRun::CaseRun(const TestCase &testCase, const RunEnvironment &environment, FileState &state, EngineClock &clock,
                 std::atomic<int> *subjectLine)
    : m_case(testCase), m_env(environment), m_library(*environment.library), m_optional(environment.optional),
      m_state(state), m_clock(clock), m_subjectLine(subjectLine)
{
    if (m_state.offsets.empty())
        m_state.offsets.assign(kDefaultOvectorSize, 0);
    if (m_state.dfaWorkspace.empty())
        m_state.dfaWorkspace.assign(kDfaWorkspaceSize, 0);
}

CaseRun::~CaseRun()
{
    if (m_codeLoaded)
        std::free(m_code);
    else
        PcreFree(m_library, m_code);
    releaseExtra();
    PcreFree(m_library, m_tables);
    if (m_out.localePrinting)
        std::setlocale(LC_CTYPE, "C");
    if (m_jitStack)
        m_optional.pcre_jit_stack_free(m_jitStack);
    if (m_optional.pcre_stack_guard)
        *m_optional.pcre_stack_guard = nullptr;
}

CaseOutput CaseRun::run()
{
    echo(m_case.patternLines);
    switch (m_case.kind) {
    case TestCase::Kind::UnexpectedEnd: m_out.put("** Unexpected EOF\n"); break;
    case TestCase::Kind::Load: runLoaded(); break;
    case TestCase::Kind::Pattern: runPattern(); break;
    }
    if (!m_skipReason.empty())
        return {{}, m_skipReason};
    return {std::move(m_out.text), {}};
}

void CaseRun::skip(std::string reason)
{
    if (m_skipReason.empty())
        m_skipReason = std::move(reason);
}

// A missing optional entry point skips the case, naming it.
bool CaseRun::available(bool present, const char *feature, const char *names)
{
    if (!present)
        skip(std::string(feature) + ": " + names + " not exported");
    return present;
}

void CaseRun::echo(const std::vector<std::string> &lines)
{
    for (const std::string &line : lines)
        m_out.put(line);
}

// The subject lines are passed over unechoed, up to the blank line that
// ends them, which shows as an empty one.
void CaseRun::skipSubjects()
{
    m_subjectsSkipped = true;
    if (m_case.trailer.empty())
        return;
    m_out.put("\n");
    echo({m_case.trailer.begin() + 1, m_case.trailer.end()});
}

void CaseRun::runPattern()
{
    if (m_case.badDelimiter) {
        m_out.put("** Delimiter must not be alphanumeric or \\\n");
        skipSubjects();
        return;
    }
    if (!readModifiers())
        return;
    if (m_modifiers.posix)
        return skip("the POSIX interface (/P), a library of its own");
    if (m_modifiers.tables == TableChoice::Builtin1)
        return skip("the test program's own character tables (/T1)");
    // A pattern that does not compile prints its error, dump or not.
    if (!compile())
        return;
    if (m_modifiers.dump)
        return skip(kCompiledCodeDump);
    const auto options = info<PCRE_INFO_OPTIONS>();
    if (!options)
        return skipSubjects();
    m_options = *options;
    m_out.utf = m_out.utf || (m_options & PCRE_UTF8);
    const auto codeHeader = header();
    if (!codeHeader)
        return skip("the compiled pattern's header is not one this checker knows");
    m_size = codeHeader->size;
    if (m_modifiers.showMemory) {
        const int names = info<PCRE_INFO_NAMECOUNT>().value_or(0) * info<PCRE_INFO_NAMEENTRYSIZE>().value_or(0);
        m_out.format("Memory allocation (code space): %d\n",
                     int(info<PCRE_INFO_SIZE>().value_or(0) - codeHeader->name_table_offset - names));
    }
    m_study = m_modifiers.study;
    if (m_study || (m_env.way.forceStudy >= 0 && !m_modifiers.noForcedStudy))
        study();
    if (m_modifiers.showMark)
        prepareMark();
    if (m_modifiers.showInfo && !describe())
        return skipSubjects();
    if (!m_modifiers.saveTo.empty()) {
        savePattern();
        echo(m_case.trailer);
        return;
    }
    runSubjects();
}

bool CaseRun::readModifiers()
{
    const auto locale = [this](const std::string &name) { return setLocale(name); };
    m_modifiers = ParseModifiers(m_case.modifiers, m_case.lockout, m_env.way.forceStudyOptions, locale);
    m_state.verifyJit = m_state.verifyJit || m_modifiers.verifyJit;
    m_out.utf = m_modifiers.utf;
    if (!m_modifiers.error.empty()) {
        m_out.put(m_modifiers.error);
        skipSubjects();
        return false;
    }
    if (m_modifiers.stackGuard >= 0) {
        if (!available(m_optional.pcre_stack_guard, "the stack guard (/Q)", "pcre_stack_guard is"))
            return false;
        static int guardAnswer;
        guardAnswer = m_modifiers.stackGuard;
        *m_optional.pcre_stack_guard = [] { return guardAnswer; };
    }
    // The test program's first set of tables is what pcre_maketables()
    // makes in the C locale, which the child runs in.
    if (m_modifiers.tables == TableChoice::Builtin0 && !makeTables("character tables (/T0)"))
        return false;
    return m_skipReason.empty();
}

bool CaseRun::setLocale(const std::string &name)
{
    const auto alias = m_env.locales.find(name);
    const std::string &locale = alias == m_env.locales.end() ? name : alias->second;
    if (!std::setlocale(LC_CTYPE, locale.c_str()))
        return false;
    m_out.localePrinting = true;
    makeTables("locale tables (/L)");
    return true;
}

bool CaseRun::makeTables(const char *feature)
{
    if (!available(m_optional.pcre_maketables, feature, "pcre_maketables is"))
        return false;
    m_tables = m_clock.measure([&] { return m_optional.pcre_maketables(); });
    return true;
}

bool CaseRun::compile()
{
    const char *error = nullptr;
    int offset = 0;
    m_code = m_clock.measure([&] {
        return m_library.Api().pcre_compile(m_case.pattern.c_str(), m_modifiers.compileOptions, &error, &offset,
                                            m_tables);
    });
    if (m_code)
        return true;
    m_out.format("Failed: %s at offset %d\n", errorText(error).c_str(), offset);
    skipSubjects();
    return false;
}

void CaseRun::study()
{
    const char *error = nullptr;
    const int options = m_modifiers.studyOptions;
    m_extra = reinterpret_cast<PcreExtraBlock *>(
        m_clock.measure([&] { return m_library.Api().pcre_study(m_code, options, &error); }));
    m_extraOrigin = m_extra ? ExtraOrigin::Study : ExtraOrigin::None;
    if (error) {
        m_out.format("Failed to study: %s\n", errorText(error).c_str());
        return;
    }
    if (!m_extra)
        return;
    PcreStudyData studyData{};
    if (m_extra->study_data)
        SafeRead(m_extra->study_data, &studyData, sizeof studyData);
    m_studySize = studyData.size;
    if (m_modifiers.showMemory) {
        const auto jitSize = info<PCRE_INFO_JITSIZE>(reinterpret_cast<pcre_extra *>(m_extra));
        if (jitSize && *jitSize != 0)
            m_out.format("Memory allocation (JIT code): %d\n", int(*jitSize));
    }
}

void CaseRun::prepareMark()
{
    PcreExtraBlock *extra = ownExtra();
    extra->mark = &m_mark;
    extra->flags |= PCRE_EXTRA_MARK;
}

PcreExtraBlock *CaseRun::ownExtra()
{
    if (!m_extra) {
        m_extra = new PcreExtraBlock{};
        m_extraOrigin = ExtraOrigin::Own;
    }
    return m_extra;
}

void CaseRun::releaseExtra()
{
    auto *extra = reinterpret_cast<pcre_extra *>(m_extra);
    switch (m_extraOrigin) {
    case ExtraOrigin::Study:
        if (m_optional.pcre_free_study)
            m_optional.pcre_free_study(extra);
        else
            PcreFree(m_library, extra);
        break;
    case ExtraOrigin::Own: delete m_extra; break;
    case ExtraOrigin::Loaded: std::free(m_extra); break;
    case ExtraOrigin::None: break;
    }
    m_extra = nullptr;
    m_extraOrigin = ExtraOrigin::None;
}

std::optional<PcreCodeHeader> CaseRun::header() const
{
    PcreCodeHeader result{};
    if (!m_code || SafeRead(m_code, &result, sizeof result) != sizeof result)
        return std::nullopt;
    if (result.magic_number != PCRE_MAGIC_NUMBER && result.magic_number != PCRE_REVERSED_MAGIC_NUMBER)
        return std::nullopt;
    return result;
}

template <int What>
std::optional<typename PcreInfo<What>::Type> CaseRun::info(const pcre_extra *extra)
{
    int status = 0;
    const auto value = m_clock.measure([&] { return m_library.FullInfo<What>(m_code, extra, &status); });
    if (!value)
        reportInfoError(What, status);
    return value;
}

// The test program writes the code of a refused query.
void CaseRun::reportInfoError(int what, int code)
{
    if (code >= 0 || code == PCRE_ERROR_UNSET)
        return;
    m_out.format("Error %d from pcre_fullinfo(%d)\n", code, what);
    if (code == PCRE_ERROR_BADMODE) {
        const auto codeHeader = header();
        const int mode = codeHeader ? int(codeHeader->flags & PCRE_HEADER_MODE_MASK) : 0;
        m_out.format("Running in 8-bit mode but pattern was compiled in %d-bit mode\n", 8 * mode);
    }
}

// --- pattern information (I, D) -----------------------------------------------

// The answers the pattern information is written from, all asked before a
// line is written: when the library refuses one, the test program passes
// the subjects over instead.
struct CaseRun::PatternFacts
{
    int captures, backReference, lookbehind, okPartial, dupChanged, crOrLf, matchEmpty;
    int firstFlags, needFlags;
    std::uint32_t first, need;
};

std::optional<CaseRun::PatternFacts> CaseRun::patternFacts()
{
    const auto captures = info<PCRE_INFO_CAPTURECOUNT>();
    const auto backReference = info<PCRE_INFO_BACKREFMAX>();
    const auto first = info<PCRE_INFO_FIRSTCHARACTER>();
    const auto firstFlags = info<PCRE_INFO_FIRSTCHARACTERFLAGS>();
    const auto need = info<PCRE_INFO_REQUIREDCHAR>();
    const auto needFlags = info<PCRE_INFO_REQUIREDCHARFLAGS>();
    const bool names = info<PCRE_INFO_NAMEENTRYSIZE>() && info<PCRE_INFO_NAMECOUNT>() && info<PCRE_INFO_NAMETABLE>();
    const auto okPartial = info<PCRE_INFO_OKPARTIAL>();
    const auto dupChanged = info<PCRE_INFO_JCHANGED>();
    const auto crOrLf = info<PCRE_INFO_HASCRORLF>();
    const auto matchEmpty = info<PCRE_INFO_MATCH_EMPTY>();
    const auto lookbehind = info<PCRE_INFO_MAXLOOKBEHIND>();
    if (!(captures && backReference && first && firstFlags && need && needFlags && names && okPartial && dupChanged
          && crOrLf && matchEmpty && lookbehind))
        return std::nullopt;
    return PatternFacts{*captures, *backReference, *lookbehind, *okPartial, *dupChanged, *crOrLf, *matchEmpty,
                        *firstFlags, *needFlags, *first, *need};
}

bool CaseRun::describe()
{
    const auto facts = patternFacts();
    if (!facts)
        return false;
    m_out.format("Capturing subpattern count = %d\n", facts->captures);
    if (facts->backReference > 0)
        m_out.format("Max back reference = %d\n", facts->backReference);
    if (facts->lookbehind > 0)
        m_out.format("Max lookbehind = %d\n", facts->lookbehind);
    if (const auto limit = info<PCRE_INFO_MATCHLIMIT>())
        m_out.format("Match limit = %u\n", *limit);
    if (const auto limit = info<PCRE_INFO_RECURSIONLIMIT>())
        m_out.format("Recursion limit = %u\n", *limit);
    describeNames();
    if (!facts->okPartial)
        m_out.put("Partial matching not supported\n");
    if (facts->crOrLf)
        m_out.put("Contains explicit CR or LF match\n");
    if (facts->matchEmpty)
        m_out.put("May match empty string\n");
    describeOptions();
    if (facts->dupChanged)
        m_out.put("Duplicate name status changes\n");
    describeNewline();
    // Whether the first and needed characters are matched caselessly is in
    // the pattern's header only.
    const auto codeHeader = header();
    const std::uint32_t flags = codeHeader ? codeHeader->flags : 0;
    if (facts->firstFlags == 2)
        m_out.put("First char at start or follows newline\n");
    else if (facts->firstFlags == 1)
        describeCharacter("First char", facts->first, flags & PCRE_HEADER_FIRST_CASELESS);
    else
        m_out.put("No first char\n");
    if (facts->needFlags == 0)
        m_out.put("No need char\n");
    else
        describeCharacter("Need char", facts->need, flags & PCRE_HEADER_REQUIRED_CASELESS);
    if (m_study)
        describeStudy();
    return true;
}

void CaseRun::describeNames()
{
    const PcreNameTable names = PcreNameTable::Of(m_library, m_code, nullptr);
    if (!names.Problem().empty())
        m_out.format("** The name table is unusable: %s\n", names.Problem().c_str());
    if (names.Count() > 0)
        m_out.put("Named capturing subpatterns:\n");
    for (int i = 0; i < names.Count(); ++i) {
        const std::string name = names.NameAt(i);
        m_out.put("  ");
        m_out.characters(name);
        m_out.put(std::string(std::size_t(std::max(0, names.EntrySize() - 2 - int(name.size()))), ' '));
        m_out.format("%3d\n", names.NumberAt(i));
    }
}

void CaseRun::describeOptions()
{
    if (m_options == 0) {
        m_out.put("No options\n");
        return;
    }
    m_out.put("Options:");
    for (const OptionName &option : kOptionNames) {
        if (m_options & unsigned(option.option))
            m_out.format(" %s", option.name);
    }
    m_out.put("\n");
}

void CaseRun::describeNewline()
{
    for (const OptionName &newline : kNewlineNames) {
        if ((m_options & PCRE_NEWLINE_BITS) == unsigned(newline.option))
            m_out.format("Forced newline sequence: %s\n", newline.name);
    }
}

void CaseRun::describeCharacter(const char *label, std::uint32_t value, bool caseless)
{
    const char *note = caseless ? " (caseless)" : "";
    if (m_out.printable(value)) {
        m_out.format("%s = '%c'%s\n", label, int(value), note);
        return;
    }
    m_out.format("%s = ", label);
    m_out.character(value);
    m_out.format("%s\n", note);
}

void CaseRun::describeStudy()
{
    const auto *extra = reinterpret_cast<const pcre_extra *>(m_extra);
    if (!m_extra) {
        m_out.put("Study returned NULL\n");
    } else {
        if (const auto length = info<PCRE_INFO_MINLENGTH>(extra))
            m_out.format("Subject length lower bound = %d\n", *length);
        if (const auto table = info<PCRE_INFO_FIRSTTABLE>(extra); table && !*table) {
            m_out.put("No starting char list\n");
        } else if (table) {
            unsigned char bits[32] = {};
            SafeRead(*table, bits, sizeof bits);
            m_out.put("Starting chars: ");
            int column = 24;
            for (unsigned c = 0; c < 256; ++c) {
                if (!(bits[c / 8] & (1u << (c % 8))))
                    continue;
                if (column > 75) {
                    m_out.put("\n  ");
                    column = 2;
                }
                const bool plain = m_out.printable(c) && c != ' ';
                if (plain)
                    m_out.format("%c ", int(c));
                else
                    m_out.format("\\x%02x ", c);
                column += plain ? 2 : 5;
            }
            m_out.put("\n");
        }
    }
    // Only when the JIT was asked for by the pattern, not by the way.
    if ((m_modifiers.studyOptions & PCRE_STUDY_ALL_JIT) && !(m_env.way.forceStudyOptions & PCRE_STUDY_ALL_JIT)) {
        if (const auto jit = info<PCRE_INFO_JIT>(extra)) {
            m_out.put(*jit ? "JIT study was successful\n"
                           : m_env.features.jit ? "JIT study was not successful\n"
                                                : "JIT support is not available in this version of PCRE\n");
        }
    }
}

CaseOutput RunCase(const TestCase &testCase, const RunEnvironment &environment, FileState &state,
                   EngineClock &clock, std::atomic<int> *subjectLine)
{
    return CaseRun(testCase, environment, state, clock, subjectLine).run();
}
