#pragma once
// The run of one case, shared by CaseRunner.cpp (the pattern: compile,
// study, information, saving and loading) and CaseMatching.cpp (its
// subject lines).

#include "CaseRunner.h"
#include "Modifiers.h"
#include "Subject.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Text as the test program writes it: printable characters as they are,
// others as hex escapes; in UTF mode whole UTF-8 characters.
class TextOut
{
public:
    std::string text;
    bool utf = false;               // the pattern is in UTF-8 mode
    bool localePrinting = false;    // a locale was set: its isprint() decides

    void put(std::string_view part) { text += part; }
    void format(const char *pattern, ...) __attribute__((format(printf, 2, 3)));

    bool printable(unsigned c) const;
    // Both return the number of columns written; with `write` false they
    // only count.
    int character(unsigned c, bool write = true);
    int characters(const unsigned char *bytes, int length, bool write = true);
    int characters(std::string_view bytes, bool write = true)
    {
        return characters(reinterpret_cast<const unsigned char *>(bytes.data()), int(bytes.size()), write);
    }
};

class CaseRun
{
public:
    CaseRun(const TestCase &testCase, const RunEnvironment &environment, FileState &state, EngineClock &clock,
            std::atomic<int> *subjectLine);
    ~CaseRun();
    CaseRun(const CaseRun &) = delete;
    CaseRun &operator=(const CaseRun &) = delete;

    CaseOutput run();

private:
    enum class ExtraOrigin { None, Study, Own, Loaded };

    // CaseRunner.cpp
    void runPattern();
    void runLoaded();
    bool readModifiers();
    bool setLocale(const std::string &name);
    bool compile();
    void study();
    void prepareMark();
    struct PatternFacts;
    std::optional<PatternFacts> patternFacts();
    bool describe();
    void describeNames();
    void describeOptions();
    void describeNewline();
    void describeCharacter(const char *label, std::uint32_t value, bool caseless);
    void describeStudy();
    void savePattern();
    bool loadPattern(std::string_view name);
    bool reportLoadMode();
    std::optional<PcreCodeHeader> header() const;
    void skip(std::string reason);
    void skipSubjects();
    void echo(const std::vector<std::string> &lines);
    void releaseExtra();
    template <int What>
    std::optional<typename PcreInfo<What>::Type> info(const pcre_extra *extra = nullptr);
    void reportInfoError(int what, const pcre_extra *extra);

    // CaseMatching.cpp
    void runSubjects();
    void runSubject(const SourceLine &line);
    bool applySubjectSettings(const Subject &subject);
    void matchLoop(const Subject &subject, int options);
    int match(const std::string &bytes, std::size_t from, int length, int startOffset, int options, bool dfa);
    int findLimits(const std::string &bytes, std::size_t from, int length, int startOffset, int options);
    int limitSearch(const std::string &bytes, std::size_t from, int length, int startOffset, int options,
                    unsigned long flag, unsigned long PcreExtraBlock::*limit, int error, const char *name);
    bool showMatch(int count, const std::string &bytes, std::size_t from, int length, bool dfa,
                   const Subject &request);
    void showCapture(int index, std::string_view subject);
    void showSubstrings(int count, const char *subject, const Subject &request);
    void showNamedSubstring(char kind, const std::string &name, int length, const char *text);
    void showSubstringList(int count, const char *subject);
    void showPartial(std::string_view subject);
    void showError(int count);
    int newlineConvention() const;
    PcreExtraBlock *ownExtra();
    PcreExtraBlock limitedExtra() const;

    const TestCase &m_case;
    const RunEnvironment &m_env;
    const PcreLibrary &m_library;
    const OptionalEntryPoints &m_optional;
    FileState &m_state;
    EngineClock &m_clock;
    std::atomic<int> *m_subjectLine;

    TextOut m_out;
    std::string m_skipReason;
    bool m_subjectsSkipped = false;     // passed over after an error

    Modifiers m_modifiers;
    bool m_study = false;               // asked for, or forced by the way
    pcre *m_code = nullptr;
    bool m_codeLoaded = false;          // ours to free, not the library's
    PcreExtraBlock *m_extra = nullptr;
    ExtraOrigin m_extraOrigin = ExtraOrigin::None;
    const unsigned char *m_tables = nullptr;   // made by the library, for /L or /T0
    unsigned long m_options = 0;        // as pcre_fullinfo() reports them
    std::uint32_t m_size = 0;           // of the compiled pattern
    std::uint32_t m_studySize = 0;
    unsigned char *m_mark = nullptr;
    pcre_jit_stack *m_jitStack = nullptr;
    int m_dfaMatches = 0;
    int *m_offsets = nullptr;           // inside m_state.offsets, or null for \O0
    int m_offsetsSize = kDefaultOvectorSize;
};
