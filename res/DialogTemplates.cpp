// The three dialog layouts, in dialog units, controls in tab order.

#include "DialogTemplates.h"
#include "resource.h"

#include <QtGlobal>

#include <array>

namespace {

using enum ControlKind;

constexpr std::array kTesterControls = std::to_array<ControlTemplate>({
    {IDCANCEL, PushButton, "Cancel", 239, 233, 74, 14, CS_NONE},
    {IDC_LIBRARY_PATH, Edit, "", 64, 7, 193, 14, CS_READONLY | CS_AUTOHSCROLL | CS_BORDER},
    {IDC_STATIC, Static, "Load  PCRE.dll:", 7, 10, 51, 8, CS_NONE},
    {IDC_BROWSE, PushButton, "Browse...", 266, 7, 47, 14, CS_NONE},
    {IDC_STATIC, GroupBox, "Global modifiers", 7, 27, 306, 29, CS_NONE},
    {IDC_CASELESS, CheckBox, "/i", 15, 40, 21, 10, CS_NONE},
    {IDC_MULTILINE, CheckBox, "/m", 45, 40, 25, 10, CS_NONE},
    {IDC_DOTALL, CheckBox, "/s", 75, 40, 23, 10, CS_NONE},
    {IDC_EXTENDED, CheckBox, "/x", 105, 40, 23, 10, CS_NONE},
    {IDC_GREEDY, CheckBox, "Greedy", 134, 40, 39, 10, CS_NONE},
    {IDC_LOCALE_CHECK, CheckBox, "Locale:", 178, 40, 39, 10, CS_NONE},
    {IDC_LOCALE, Edit, "", 220, 37, 85, 14, CS_AUTOHSCROLL | CS_BORDER | CS_DISABLED},
    {IDC_STATIC, Static, "Regular expression to be tested.", 7, 60, 102, 8, CS_NONE},
    {IDC_STATIC, Static, "Input text.", 7, 125, 32, 8, CS_NONE},
    {IDC_EXEC, PushButton, "Exec", 7, 233, 50, 14, CS_DISABLED},
    {IDC_EXEC_NEXT, PushButton, "Exec next", 66, 233, 50, 14, CS_DISABLED},
    {IDC_LOAD_INPUT, PushButton, "Load file", 183, 233, 50, 14, CS_NONE},
    {IDC_STATUS, Static, "", 7, 215, 306, 18, CS_NONE},
    {IDC_DETAILS, PushButton, "Expression details...", 232, 58, 81, 12, CS_DISABLED},
    {IDC_MORE, PushButton, "More...", 125, 233, 50, 14, CS_DISABLED},
    {IDC_INPUT, RichEdit, "", 7, 134, 306, 79,
     CS_MULTILINE | CS_AUTOVSCROLL | CS_VSCROLL | CS_NOHIDESEL | CS_BORDER},
    {IDC_PATTERN, RichEdit, "", 7, 72, 306, 49, CS_MULTILINE | CS_AUTOVSCROLL | CS_VSCROLL | CS_BORDER},
    {IDC_HIGHLIGHT, CheckBox, "Highlight matches", 231, 123, 82, 10, CS_NONE},
    {IDC_LOAD_PATTERN, PushButton, "Load from file...", 115, 58, 59, 12, CS_NONE},
});

constexpr std::array kFullInfoControls = std::to_array<ControlTemplate>({
    {IDOK, DefPushButton, "OK", 210, 140, 61, 14, CS_NONE},
    {IDC_STATIC, Static, "Regular expression which were analyzed:", 7, 7, 131, 8, CS_NONE},
    {IDC_INFO_PATTERN, Edit, "", 7, 18, 179, 38,
     CS_BORDER | CS_MULTILINE | CS_READONLY | CS_AUTOVSCROLL | CS_VSCROLL},
    {IDC_STATIC, Static, "Number of the highest back reference:", 7, 62, 122, 8, CS_NONE},
    {IDC_STATIC, Static, "Number of capturing supbatterns:", 7, 76, 106, 8, CS_NONE},
    {IDC_STATIC, Static, "First byte in any matched string:", 7, 91, 100, 8, CS_NONE},
    {IDC_STATIC, Static, "The table for the first byte was created: ", 7, 106, 126, 8, CS_NONE},
    {IDC_STATIC, Static, "Number of named subpatterns:", 207, 82, 98, 8, CS_NONE},
    {IDC_STATIC, Static, "Length of an item in named subpatterns table:", 208, 96, 144, 8, CS_NONE},
    {IDC_STATIC, Static, "List of named subpatterns", 208, 111, 82, 8, CS_NONE},
    {IDC_INFO_NAMES, ListBox, "", 294, 112, 112, 42,
     CS_BORDER | CS_SORT | CS_NOSEL | CS_NOINTEGRALHEIGHT | CS_VSCROLL},
    {IDC_STATIC, Static, "Copy of the options:", 206, 16, 64, 8, CS_NONE},
    {IDC_INFO_OPTIONS, Edit, "", 275, 15, 131, 59,
     CS_BORDER | CS_MULTILINE | CS_READONLY | CS_AUTOVSCROLL | CS_VSCROLL},
    {IDC_STATIC, Static, "Size of the compiled pattern:", 7, 132, 90, 8, CS_NONE},
    {IDC_STATIC, Static, "Size of the studied pattern:", 7, 146, 85, 8, CS_NONE},
    {IDC_INFO_BACKREFMAX, Static, "", 131, 62, 57, 8, CS_RIGHT},
    {IDC_INFO_CAPTURECOUNT, Static, "", 115, 77, 73, 8, CS_RIGHT},
    {IDC_INFO_FIRSTBYTE, Static, "", 111, 92, 77, 8, CS_RIGHT},
    {IDC_INFO_FIRSTTABLE, Static, "", 135, 106, 53, 8, CS_RIGHT},
    {IDC_INFO_LASTLITERAL, Static, "", 130, 119, 58, 8, CS_RIGHT},
    {IDC_STATIC, Static, "Rightmost byte in any matched string:", 7, 119, 118, 8, CS_NONE},
    {IDC_INFO_NAMECOUNT, Static, "", 307, 82, 99, 8, CS_RIGHT},
    {IDC_INFO_SIZE, Static, "", 101, 132, 87, 8, CS_RIGHT},
    {IDC_INFO_STUDYSIZE, Static, "", 96, 146, 92, 8, CS_RIGHT},
    {IDC_INFO_NAMEENTRYSIZE, Static, "", 355, 96, 51, 8, CS_RIGHT},
});

constexpr std::array kSubpatternControls = std::to_array<ControlTemplate>({
    {IDOK, DefPushButton, "Close", 37, 102, 50, 14, CS_NONE},
    {IDC_SUBPATTERN_LIST, ListBox, "", 7, 7, 110, 89,
     CS_BORDER | CS_SORT | CS_NOTIFY | CS_NOINTEGRALHEIGHT | CS_VSCROLL},
});

constexpr std::array kTemplates = std::to_array<DialogTemplate>({
    {IDD_TESTER_DIALOG, "Checker for PCRE.dll and regular expressions.", 320, 254, DS_APPWINDOW,
     kTesterControls},
    {IDD_FULLINFO_DIALOG, "Full info about a regular expression.", 413, 161, DS_NONE,
     kFullInfoControls},
    {IDD_SUBPATTERNS_DIALOG, "List of matched subpatterns", 124, 123, DS_TOOLWINDOW,
     kSubpatternControls},
});

} // namespace

const DialogTemplate &LoadDialogTemplate(int id)
{
    for (const DialogTemplate &dialogTemplate : kTemplates) {
        if (dialogTemplate.id == id)
            return dialogTemplate;
    }
    qFatal("No dialog template %d", id);
}
