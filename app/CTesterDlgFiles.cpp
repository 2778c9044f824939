// Loading the pattern or the input from a file, and choosing the library.

#include "CTesterDlg.h"

#include "CRichEditCtrl.h"
#include "CStatic.h"
#include "PromptForFile.h"
#include "ReadWholeFile.h"
#include "StringTable.h"
#include "resource.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// A short busy cursor for reads of large files.
struct BusyCursor
{
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

// A file that was read but that a field would not take.
QString CannotLoad(const QString &path, const QString &problem)
{
    return QStringLiteral("Cannot load \"%1\": %2.").arg(path, problem);
}

} // namespace

bool CTesterDlg::ReadFileForField(const QString &path, QByteArray &bytes)
{
    if (m_series.IsSearching())
        return false;
    FileReadResult result;
    {
        BusyCursor busy;
        result = ReadWholeFile(path, CRichEditCtrl::kMostBytesShown);
    }
    if (!result.ok) {
        QMessageBox::critical(this, windowTitle(), result.error);
        return false;
    }
    bytes = std::move(result.bytes);
    return true;
}

// The file goes straight into the field, so that the input is held once;
// the field keeps its text when the file cannot be read or shown.
// m_strInput is read back by the next UpdateData(true), as Exec does first.
void CTesterDlg::LoadInputFromFile(const QString &path)
{
    if (m_series.IsSearching())
        return;
    QString error;
    {
        BusyCursor busy;
        WholeFile file(path, CRichEditCtrl::kMostBytesShown);
        QString problem;
        const auto read = [&file](char *buffer, qint64 max) { return file.Read(buffer, max); };
        if (!file.IsOpen() || !m_reditInput->SetTextFrom(file.Size(), read, problem))
            error = problem.isEmpty() ? file.Error() : CannotLoad(path, problem);
    }
    if (!error.isEmpty())
        QMessageBox::critical(this, windowTitle(), error);
}

void CTesterDlg::LoadPatternFromFile(const QString &path)
{
    QByteArray bytes;
    if (!ReadFileForField(path, bytes))
        return;
    // The engine reads a pattern only up to its first NUL byte: keep what it
    // would see and say where the rest was cut.
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    QString problem;
    if (!m_reditPattern->SetTextBytes(bytes, &problem)) {
        QMessageBox::critical(this, windowTitle(), CannotLoad(path, problem));
        return;
    }
    if (nul >= 0) {
        const QString validation = m_stcStatus->GetWindowText();
        const QString cut = QStringLiteral("The pattern file was cut at its NUL byte at offset %1.").arg(nul);
        SetStatus(validation.isEmpty() ? cut : validation + QLatin1Char(' ') + cut);
    }
    UpdateData(true);
}

void CTesterDlg::OnLoadInputFile()
{
    if (m_series.IsSearching())
        return;
    const QString path = PromptForFile(IDS_TEXT_FILTER, IDS_LOAD_TEXT_FILE, QString(),
                                       QStringLiteral("TXT"), kOpenFileFlags, true);
    if (!path.isEmpty())
        LoadInputFromFile(path);
}

void CTesterDlg::OnLoadPatternFile()
{
    if (m_series.IsSearching())
        return;
    const QString path = PromptForFile(IDS_TEXT_FILTER, IDS_LOAD_TEXT_FILE, QString(),
                                       QStringLiteral("TXT"), kOpenFileFlags, true);
    if (!path.isEmpty())
        LoadPatternFromFile(path);
}

void CTesterDlg::OnBrowseLibrary()
{
    if (m_series.IsSearching())
        return;
    // Always reloads: cancelling unloads the current library and loads the
    // default one again.
    QString path = PromptForFile(IDS_LIBRARY_FILTER, IDS_LOCATE_LIBRARY, QStringLiteral("PCRE"),
                                 QStringLiteral("DLL"), kOpenFileFlags, true);
    LoadLibraryFromPath(path);
}
