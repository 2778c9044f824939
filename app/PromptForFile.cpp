#include "PromptForFile.h"

#include "StringTable.h"

#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <iterator>
#include <unistd.h>

namespace {

void RedirectUserSettings(const QString &folder)
{
    // Both formats, so the redirect holds whichever one the dialog uses.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

// Qt's file dialog reads the user's settings when it opens and saves its
// last folder and history there when it closes. The program persists
// nothing, so each dialog gets a scratch settings folder that lives exactly
// as long as the dialog. Until the dialog closes the folder is still empty,
// so a signal that ends the program meanwhile (logout, kill, Ctrl+C) can
// remove it on the way out with a plain rmdir().
class ScratchSettings
{
public:
    ScratchSettings()
        : m_folder(QDir::temp().filePath(QStringLiteral("pcrechecker-XXXXXX")))
    {
        if (!m_folder.isValid())
            return;
        RedirectUserSettings(m_folder.path());
        const QByteArray path = QFile::encodeName(m_folder.path());
        std::strncpy(s_path, path.constData(), sizeof s_path - 1);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            m_previous[i] = std::signal(kSignals[i], RemoveAndDie);
    }
    ~ScratchSettings()
    {
        if (m_folder.isValid()) {
            for (std::size_t i = 0; i < std::size(kSignals); ++i)
                std::signal(kSignals[i], m_previous[i]);
        }
    }
    ScratchSettings(const ScratchSettings &) = delete;
    ScratchSettings &operator=(const ScratchSettings &) = delete;

private:
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

    static void RemoveAndDie(int signalNumber)
    {
        ::rmdir(s_path);
        std::signal(signalNumber, SIG_DFL);
        std::raise(signalNumber);
    }

    static inline char s_path[4096] = {};
    QTemporaryDir m_folder;
    void (*m_previous[std::size(kSignals)])(int) = {};
};

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
    const ScratchSettings settings;
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
