#pragma once
// The run of one case, shared by CaseRunner.cpp (the pattern: compile,
// study, information, saving and loading) and CaseMatching.cpp (its
// subject lines).

#include "CaseRunner.h"
#include "Modifiers.h"
#include "Subject.h"
#include "TextOut.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class CaseRun
{
public:
    CaseRun(const TestCase &testCase, const RunEnvironment &environment, FileState &state, EngineClock &clock,
            std::atomic<int> *subjectLine);
    ~CaseRun();
    CaseRun(const CaseRun &) = delete;
    CaseRun &operator=(const CaseRun &) = delete;

    CaseOutput run();

    // Set by the JIT stack callback: the library calls a plain function.
    static bool s_jitWasUsed;

private:
    enum class ExtraOrigin { None, Study, Own, Loaded };

    // The callouts of one subject. The library calls a plain function, so
    // it reaches this state through s_callout, set while the subject runs.
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
    static CalloutState *s_callout;

    // Where the /g and /G loops stand in a subject.
    struct MatchCursor
    {
        const std::string &bytes;
        std::size_t from = 0;             // /G goes on with the rest of the subject
        int length = 0;
        int startOffset = 0;
        int retry = 0;                    // after an empty match: not empty, anchored
        std::string_view rest() const { return {bytes.data() + from, std::size_t(length)}; }
    };

    // CaseRunner.cpp: the pattern and its information
    void runPattern();
    bool readModifiers();
    bool setLocale(const std::string &name);
    bool makeTables(const char *feature);
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
    std::optional<PcreCodeHeader> header() const;
    void skip(std::string reason);
    bool available(bool present, const char *feature, const char *names);
    void skipSubjects();
    void echo(const std::vector<std::string> &lines);
    PcreExtraBlock *ownExtra();
    void releaseExtra();
    template <int What>
    std::optional<typename PcreInfo<What>::Type> info(const pcre_extra *extra = nullptr);
    void reportInfoError(int what, int code);

    // CasePatternFiles.cpp: saving and loading compiled patterns
    void savePattern();
    void runLoaded();
    bool savedPattern(const std::string &name, std::string &bytes);
    bool loadPattern(const std::string &name);
    bool reportLoadMode();

    // CaseMatching.cpp: the subjects and the matching
    void runSubjects();
    void runSubject(const SourceLine &line);
    void useVector(int size);
    void setLimits(const Subject &subject);
    bool setJitStack(int kilobytes);
    bool checkSubjectCalls(const Subject &subject);
    void matchLoop(const Subject &subject);
    int matchOnce(const Subject &subject, const MatchCursor &cursor, int options, bool dfa);
    void stepPastEmptyMatch(const MatchCursor &cursor);
    bool nextGlobalMatch(MatchCursor &cursor);
    int match(const MatchCursor &cursor, int options, bool dfa);
    int findLimits(const MatchCursor &cursor, int options);
    int limitSearch(const MatchCursor &cursor, int options, unsigned long flag, unsigned long PcreExtraBlock::*limit,
                    int error, const char *name);
    int newlineConvention() const;
    PcreExtraBlock limitedExtra() const;

    // CaseResults.cpp: what the results look like
    static int callout(PcreCalloutBlock *block);
    static void calloutPosition(const PcreCalloutBlock &block, CalloutState &state);
    static void calloutMark(const PcreCalloutBlock &block, CalloutState &state);
    bool showMatch(int count, std::string_view subject, bool dfa, const Subject &request);
    void showCapture(int index, std::string_view subject);
    void showCopies(int count, const char *subject, const Subject &request);
    void showGets(int count, const char *subject, const Subject &request);
    void showNamedSubstring(char kind, const std::string &name, int length, const char *text);
    void showSubstringList(int count, const char *subject);
    void showPartial(std::string_view subject);
    void showError(int count);

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
