#pragma once
// Dialog layouts as data: each dialog is a caption, a size and a table of
// controls in dialog units, in tab order. CDialogBase builds the widgets.

#include <span>

inline constexpr int IDC_STATIC = -1;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

enum class ControlKind {
    PushButton,
    DefPushButton,
    CheckBox,
    GroupBox,
    Static,
    Edit,
    RichEdit,
    ListBox,
};

// Control style bits (only those the templates use).
enum ControlStyle : unsigned {
    CS_NONE = 0,
    CS_DISABLED = 1u << 0,
    CS_READONLY = 1u << 1,
    CS_MULTILINE = 1u << 2,
    CS_AUTOHSCROLL = 1u << 3,
    CS_AUTOVSCROLL = 1u << 4,
    CS_VSCROLL = 1u << 5,
    CS_BORDER = 1u << 6,
    CS_RIGHT = 1u << 7,           // right-aligned static text
    CS_SORT = 1u << 8,            // list box keeps its lines sorted
    CS_NOTIFY = 1u << 9,          // list box reports selection changes
    CS_NOSEL = 1u << 10,          // list box lines cannot be selected
    CS_NOINTEGRALHEIGHT = 1u << 11,
    CS_NOHIDESEL = 1u << 12,      // rich edit keeps its selection visible without focus
};

enum DialogStyle : unsigned {
    DS_NONE = 0,
    DS_TOOLWINDOW = 1u << 0,      // small caption, no task-bar button
    DS_APPWINDOW = 1u << 1,       // shown in the task bar
};

struct ControlTemplate
{
    int id;
    ControlKind kind;
    const char *text;
    int x, y, cx, cy;             // dialog units
    unsigned style;
};

struct DialogTemplate
{
    int id;
    const char *caption;
    int cx, cy;                   // dialog units
    unsigned style;
    std::span<const ControlTemplate> controls;
};
