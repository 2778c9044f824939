#pragma once
// The file-open dialog, fed from the string table.

#include <QString>
#include <QStringList>

// Flag bits of the file dialog (the three the program uses).
inline constexpr unsigned OFN_PATHMUSTEXIST = 0x00000800;
inline constexpr unsigned OFN_FILEMUSTEXIST = 0x00001000;
inline constexpr unsigned OFN_EXPLORER = 0x00080000;
inline constexpr unsigned kOpenFileFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;

// Asks for a file. `filterId` names a string of "description|pattern|"
// pairs (the first pair is preselected), `titleId` the title. The dialog
// opens in the current folder with `initialName` filled in, and appends
// `defaultExtension` in lower case to a typed name without one (file names
// are case-sensitive here, and extensions are written in lower case).
// Returns the chosen path, or an empty string on cancel.
QString PromptForFile(int filterId, int titleId, const QString &initialName,
                      const QString &defaultExtension, unsigned flags, bool open);

// The dialog's name filters for a "description|pattern|..." string: each
// shows its description as the string table has it, and matches its
// patterns regardless of case; "*.*" matches every file, and "*.DLL" also
// matches shared objects.
QStringList NameFiltersFromResource(const QString &filter);
