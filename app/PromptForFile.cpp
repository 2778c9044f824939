#include "PromptForFile.h"

#include "StringTable.h"

#include <QFileDialog>

namespace {

// "*.TXT" -> "*.[tT][xX][tT]": the dialog matches names case-sensitively
// on Linux.
QString CaseInsensitivePattern(const QString &pattern)
{
    QString result;
    for (QChar c : pattern) {
        if (c.isLetter())
            result += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            result += c;
    }
    return result;
}

QStringList PatternsFor(const QString &pattern)
{
    if (pattern == QLatin1String("*.*"))
        return {QStringLiteral("*")};
    QStringList patterns;
    for (const QString &part : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        patterns << CaseInsensitivePattern(part.trimmed());
    if (pattern.compare(QLatin1String("*.dll"), Qt::CaseInsensitive) == 0)
        patterns << CaseInsensitivePattern(QStringLiteral("*.so")) << CaseInsensitivePattern(QStringLiteral("*.so.*"));
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
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (open && (flags & OFN_FILEMUSTEXIST))
        dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = NameFiltersFromResource(LoadResString(filterId));
    dialog.setNameFilters(filters);
    if (!filters.isEmpty())
        dialog.selectNameFilter(filters.first());
    dialog.setDefaultSuffix(defaultExtension);
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}
