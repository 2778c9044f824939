#include "StringTable.h"

#include "resource.h"

QString LoadResString(int id)
{
    switch (id) {
    case IDS_TEXT_FILTER:
        return QStringLiteral("Text files (*.txt)|*.TXT|Rich Text format (*.rtf)|*.RTF|"
                              "Microsoft Word (*.doc)|*.DOC|All files (*.*)|*.*|");
    case IDS_LIBRARY_FILTER:
        return QStringLiteral("DLL files (*.dll)|*.DLL|All files (*.*)|*.*|");
    case IDS_LOCATE_LIBRARY:
        return QStringLiteral("Locate the PCRE.dll file");
    case IDS_LOAD_TEXT_FILE:
        return QStringLiteral("Load a text file...");
    case IDS_LIBRARY_LOADED:
        return QStringLiteral("PCRE.dll was loaded. Version ");
    case IDS_EMPTY_INPUT:
        return QStringLiteral("Your input filed is empty.\nType there something or\nimport a text vile");
    case IDS_NOTHING_TO_MATCH:
        return QStringLiteral("Nothing to match!");
    default:
        return {};
    }
}
