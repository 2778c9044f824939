#include "PromptForFile.h"

#include "StringTable.h"

#include <QDir>
#include <QFileDialog>
#include <QSettings>

namespace {

// Qt's file dialog matches name patterns regardless of case, as the string
// table's upper-case patterns need.
QStringList PatternsFor(const QString &pattern)
{
    // Here "*.*" would miss the many names without a dot.
    if (pattern == QLatin1String("*.*"))
        return {QStringLiteral("*")};
    QStringList patterns;
    for (const QString &part : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        patterns << part.trimmed();
    if (pattern.compare(QLatin1String("*.dll"), Qt::CaseInsensitive) == 0)
        patterns << QStringLiteral("*.so") << QStringLiteral("*.so.*");
    return patterns;
}

} // namespace

QStringList NameFiltersFromResource(const QString &filter)
{
    const QStringList fields = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].isEmpty())
            break;
        // The dialog hides the last parenthesised part (the patterns it
        // matches), so the description shows exactly as written.
        filters << fields[i] + QStringLiteral(" (") + PatternsFor(fields[i + 1]).join(QLatin1Char(' '))
                       + QLatin1Char(')');
    }
    return filters;
}

QString PromptForFile(int filterId, int titleId, const QString &initialName,
                      const QString &defaultExtension, unsigned flags, bool open)
{
    QFileDialog dialog(nullptr, LoadResString(titleId));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // Without this the dialog starts where the previous one ended.
    dialog.setDirectory(QDir::currentPath());
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (open && (flags & OFN_FILEMUSTEXIST))
        dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = NameFiltersFromResource(LoadResString(filterId));
    dialog.setNameFilters(filters);
    if (!filters.isEmpty())
        dialog.selectNameFilter(filters.first());
    dialog.setDefaultSuffix(defaultExtension.toLower());
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void RedirectUserSettings(const QString &folder)
{
    // Both formats, so the redirect holds whichever one the dialog uses.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}
