#pragma once
// The modifier letters after a pattern's closing delimiter, read as PCRE's
// test program reads them: options for the compile, what to show, how to
// study, and the error messages it writes for modifiers it cannot use.

#include <functional>
#include <string>
#include <string_view>

enum class TableChoice { Default, Builtin0, Builtin1, Locale };

struct Modifiers
{
    int compileOptions = 0;
    int studyOptions = 0;               // starts as the way's forced options
    bool study = false;                 // S
    bool noForcedStudy = false;         // SS
    bool verifyJit = false;             // S++: show where the JIT ran
    bool dump = false;                  // B, D: the compiled code
    bool showInfo = false;              // I, D
    bool global = false;                // g: next match from the end offset
    bool globalShortened = false;       // G: next match on the rest of the subject
    bool showRest = false;              // +: rest of subject after match 0
    bool showCaptureRest = false;       // ++: ... after every capture
    bool showAllCaptures = false;       // =
    bool showMark = false;              // K
    bool showMemory = false;            // M
    bool flip = false;                  // F: byte order of a saved pattern
    bool posix = false;                 // P
    int stackGuard = -1;                // Q0, Q1: what the stack guard returns
    bool utf = false;                   // 8
    TableChoice tables = TableChoice::Default;
    std::string locale;                 // L<name>
    std::string saveTo;                 // >file

    // Set when the modifiers cannot be used: what the test program writes
    // before passing over the subject lines.
    std::string error;
};

// `text` runs from after the closing delimiter to the end of the line, line
// end included. `lockout` holds the letters a "< forbid" line locked out.
// `setLocale` is asked as soon as L is read and says whether that worked.
Modifiers ParseModifiers(std::string_view text, std::string_view lockout, int forcedStudyOptions,
                         const std::function<bool(const std::string &)> &setLocale);

// The newline and \R settings named by <name>: "cr", "lf", "crlf", "anycrlf",
// "any", "bsr_anycrlf", "bsr_unicode", and, where `newlinesOnly` is false,
// "js". Case does not matter. `text` starts after the '<'; 0 when it names
// none of them.
int NamedOption(std::string_view text, bool newlinesOnly, std::size_t *length);
