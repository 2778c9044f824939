#pragma once
// The modifier letters after a pattern's closing delimiter, as PCRE's own
// test program reads them, turned into compile options and run settings.

#include <string>
#include <string_view>

enum class StudyRequest { Default, Study, NoStudy };

struct Modifiers
{
    int compileOptions = 0;
    StudyRequest study = StudyRequest::Default;
    bool studyExtraNeeded = false;      // S!
    bool global = false;                // g: next match from the end offset
    bool globalShortened = false;       // G: next match on the rest of the subject
    int showRest = 0;                   // +: rest of subject after 0 (1) or all (2)
    bool showAllCaptures = false;       // =
    bool showMarks = false;             // K
    bool showInfo = false;              // I
    std::string locale;                 // L<name>: tables built under that locale
    std::string unsupported;            // why a pattern with these cannot be run
};

Modifiers ParseModifiers(std::string_view text);
