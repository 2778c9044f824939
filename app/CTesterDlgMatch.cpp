// Live validation, Exec, "Exec next" and the display of a match.

#include "CTesterDlg.h"

#include "CEngineSearch.h"
#include "CRichEditCtrl.h"
#include "CStatic.h"
#include "CSubpatternListDlg.h"
#include "EngineMessages.h"
#include "ShowResourceMessage.h"
#include "resource.h"

#include <QCheckBox>

#include <climits>

namespace {

bool IsUtf8Continuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

} // namespace

void CTesterDlg::OnChangePattern()
{
    if (PcreIsLoaded()) {
        const QByteArray pattern = m_reditPattern->GetTextBytes();
        const char *errorText = nullptr;
        int errorOffset = 0;
        PcreCodePtr code(PcreCompile(pattern.constData(), &errorText, &errorOffset, false));
        if (code) {
            SetStatus(QString());
            EnableDlgItem(IDC_DETAILS, true);
            EnableDlgItem(IDC_EXEC, true);
        } else {
            SetStatus(QString::fromLatin1(errorText ? errorText : ""));
            EnableDlgItem(IDC_DETAILS, false);
            EnableDlgItem(IDC_EXEC, false);
            EnableDlgItem(IDC_EXEC_NEXT, false);
        }
    }
    HideSubpatternList();
    EnableDlgItem(IDC_MORE, false);
}

void CTesterDlg::OnChangeInput()
{
    EnableDlgItem(IDC_MORE, false);
    EnableDlgItem(IDC_EXEC_NEXT, false);
    HideSubpatternList();
}

void CTesterDlg::ReleasePattern()
{
    // The deleters give the memory back through the engine while a library
    // is loaded; with none loaded it went with the library.
    m_pRegex.reset();
    m_pExtra.reset();
}

int CTesterDlg::BuildOptions() const
{
    int options = 0;
    if (!m_bGreedy)
        options |= PCRE_UNGREEDY;
    if (m_bCaseless)
        options |= PCRE_CASELESS;
    if (m_bMultiline)
        options |= PCRE_MULTILINE;
    if (m_bDotAll)
        options |= PCRE_DOTALL;
    if (m_bExtended)
        options |= PCRE_EXTENDED;
    return options;
}

void CTesterDlg::OnExec()
{
    UpdateData(true);
    if (m_strInput.isEmpty()) {
        ShowResourceMessage(nullptr, IDS_EMPTY_INPUT, IDS_NOTHING_TO_MATCH, QMessageBox::Ok);
        return;
    }
    if (!PcreIsLoaded()) {
        SetStatus(NoLibraryMessage());
        return;
    }
    if (m_strInput.size() > INT_MAX) {
        SetStatus(QStringLiteral("The input is longer than the engine can take (%1 bytes at most).")
                      .arg(INT_MAX));
        return;
    }

    const QByteArray locale = m_strLocale.toLocal8Bit();
    PcreSetLocale(m_bLocale && !locale.isEmpty() ? locale.constData() : nullptr);
    m_nOptions = BuildOptions();
    const QByteArray pattern = m_reditPattern->GetTextBytes();

    ReleasePattern();
    const char *errorText = nullptr;
    int errorOffset = 0;
    m_pRegex.reset(PcreBinding.pcre_compile(pattern.constData(), m_nOptions, &errorText,
                                            &errorOffset, PcreBinding.tables.get()));
    if (!m_pRegex) {
        EndSeries(CompileErrorMessage(errorText, errorOffset));
        return;
    }
    m_pExtra.reset(PcreBinding.pcre_study(m_pRegex.get(), 0, &errorText));

    int captureCount = 0;
    PcreBinding.pcre_fullinfo(m_pRegex.get(), m_pExtra.get(), PCRE_INFO_CAPTURECOUNT, &captureCount);
    m_nOffsetsSize = captureCount * 3 + 3;
    m_pOffsets = std::make_unique_for_overwrite<int[]>(m_nOffsetsSize);

    m_nLastResult = ExecFrom(0, 0);
    if (m_nLastResult <= 0) {
        EndSeries(ExecResultMessage(m_nLastResult));
        return;
    }
    if (m_nLastResult > 1)
        RefillSubpatternList();
    UpdateMoreButton();
    const int end = m_pOffsets[1];
    m_nNextStart = end;
    const bool more = end < m_strInput.size();
    SetStatus(more ? QStringLiteral("Matches found!") : QStringLiteral("Match found!"));
    EnableDlgItem(IDC_EXEC_NEXT, more);
    ShowMatchResult();
}

void CTesterDlg::OnExecNext()
{
    if (!PcreIsLoaded()) {
        SetStatus(NoLibraryMessage());
        return;
    }
    if (!m_pRegex) {
        EnableDlgItem(IDC_EXEC_NEXT, false);
        return;
    }
    m_nLastResult = ExecAfterPreviousMatch();
    if (m_nLastResult <= 0) {
        EndSeries(ExecResultMessage(m_nLastResult));
        return;
    }
    RefillSubpatternList();
    UpdateMoreButton();
    SetStatus(QStringLiteral("Matches found!"));
    m_nNextStart = m_pOffsets[1];
    EnableDlgItem(IDC_EXEC_NEXT, m_pOffsets[1] < m_strInput.size());
    ShowMatchResult();
}

// After an empty match at e, the next match must not be that same empty
// match again: first try a non-empty match anchored at e, then search on
// from the next character.
int CTesterDlg::ExecAfterPreviousMatch()
{
    const bool previousWasEmpty = m_pOffsets[0] == m_pOffsets[1];
    if (!previousWasEmpty)
        return ExecFrom(m_nNextStart, 0);

    const int result = ExecFrom(m_nNextStart, PCRE_NOTEMPTY | PCRE_ANCHORED);
    if (result != PCRE_ERROR_NOMATCH)   // a match, an engine error or a stop
        return result;
    const int next = NextCharacterStart(m_nNextStart);
    if (next > m_strInput.size())
        return PCRE_ERROR_NOMATCH;
    return ExecFrom(next, 0);
}

int CTesterDlg::NextCharacterStart(int offset) const
{
    unsigned long patternOptions = 0;
    PcreBinding.pcre_fullinfo(m_pRegex.get(), m_pExtra.get(), PCRE_INFO_OPTIONS, &patternOptions);
    int next = offset + 1;
    if (patternOptions & PCRE_UTF8) {
        while (next < m_strInput.size() && IsUtf8Continuation(m_strInput[next]))
            ++next;
    }
    return next;
}

int CTesterDlg::ExecFrom(int startOffset, int options)
{
    return CEngineSearch::Run(this, m_pRegex, m_pExtra, m_strInput, startOffset, options, m_pOffsets.get(),
                              m_nOffsetsSize);
}

// A failed call ends the series: the message says why.
void CTesterDlg::EndSeries(const QString &message)
{
    SetStatus(message);
    EnableDlgItem(IDC_EXEC_NEXT, false);
    EnableDlgItem(IDC_MORE, false);
    HideSubpatternList();
    ReleasePattern();
}

// "More..." is offered only when the match captured subpatterns.
void CTesterDlg::UpdateMoreButton()
{
    const bool captured = m_nLastResult > 1;
    EnableDlgItem(IDC_MORE, captured);
    if (!captured)
        HideSubpatternList();
}

void CTesterDlg::ShowMatchResult()
{
    m_reditInput->SetSel(m_pOffsets[0], m_pOffsets[1]);
    if (m_btnHighlight->isChecked()) {
        m_reditInput->SetEventMask(false);
        m_reditInput->SetSelectionColorRed();
        m_reditInput->SetEventMask(true);
    }
}

void CTesterDlg::OnHighlightCheck()
{
    if (m_btnHighlight->isChecked())
        return;
    // Clearing the red indicator everywhere leaves the selection as it is.
    m_reditInput->SetEventMask(false);
    m_reditInput->SetAllColorAuto();
    m_reditInput->SetEventMask(true);
}
