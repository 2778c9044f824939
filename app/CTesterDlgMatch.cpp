// Live validation, Exec, "Exec next" and the display of a match.

#include "CTesterDlg.h"

#include "CRichEditCtrl.h"
#include "CStatic.h"
#include "CSubpatternListDlg.h"
#include "EngineMessages.h"
#include "SearchWait.h"
#include "ShowResourceMessage.h"
#include "resource.h"

#include <QCheckBox>
#include <QTimer>

#include <climits>

void CTesterDlg::OnChangePattern()
{
    if (PcreIsLoaded()) {
        const QByteArray pattern = m_reditPattern->GetTextBytes();
        std::string errorText;
        int errorOffset = 0;
        const PcreCodePtr code = PcreCompile(pattern.constData(), &errorText, &errorOffset, false);
        if (code) {
            SetStatus(QString());
            EnableDlgItem(IDC_DETAILS, true);
            EnableDlgItem(IDC_EXEC, true);
        } else {
            // A library may fail without a word; a blank status would read
            // as success.
            SetStatus(errorText.empty() ? QStringLiteral("The engine gives no reason why the pattern fails.")
                                        : QString::fromLatin1(errorText));
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
    m_series.InputChanged();
    EnableDlgItem(IDC_MORE, false);
    EnableDlgItem(IDC_EXEC_NEXT, false);
    HideSubpatternList();
}

int CTesterDlg::BuildOptions() const
{
    int options = 0;
    for (const Modifier &modifier : kModifiers) {
        if (modifier.optionBit && this->*modifier.state != modifier.bitWhenUnchecked)
            options |= modifier.optionBit;
    }
    return options;
}

void CTesterDlg::OnExec()
{
    if (m_series.IsSearching())
        return;
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
    ShowOutcome(m_series.Exec(m_reditPattern->GetTextBytes(), BuildOptions(), m_strInput));
}

void CTesterDlg::OnExecNext()
{
    if (m_series.IsSearching())
        return;
    if (!PcreIsLoaded()) {
        SetStatus(NoLibraryMessage());
        return;
    }
    ShowOutcome(m_series.ExecNext());
}

// The status, the buttons that follow a match, the subpattern list and the
// selection, as one call of the series left them.
void CTesterDlg::ShowOutcome(const MatchSeries::Outcome &outcome)
{
    SetStatus(outcome.message);
    EnableDlgItem(IDC_EXEC_NEXT, outcome.canContinue);
    EnableDlgItem(IDC_MORE, outcome.captured);
    if (outcome.captured)
        RefillSubpatternList();
    else
        HideSubpatternList();
    if (outcome.matched)
        ShowMatchResult();
    // The child of the next "Exec next" is made once the match has been
    // painted, while the user looks at it.
    if (outcome.canContinue)
        QTimer::singleShot(kPrepareNextDelay, this, [this] { m_series.PrepareNext(); });
}

// While a search runs nothing may change the fields or start another one:
// the busy dialog keeps the mouse and the keyboard away, but not a screen
// reader's actions, which reach any control.
void CTesterDlg::WaitWhileSearching(PcreSearch &search)
{
    const bool patternReadOnly = m_reditPattern->isReadOnly();
    const bool inputReadOnly = m_reditInput->isReadOnly();
    m_reditPattern->setReadOnly(true);
    m_reditInput->setReadOnly(true);
    WaitForSearch(this, search);
    m_reditPattern->setReadOnly(patternReadOnly);
    m_reditInput->setReadOnly(inputReadOnly);
}

void CTesterDlg::ShowMatchResult()
{
    const int *offsets = m_series.Offsets();
    m_reditInput->SetSel(offsets[0], offsets[1]);
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
