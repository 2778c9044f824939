// "More..." with the subpattern list, and "Expression details...".

#include "CTesterDlg.h"

#include "CFullInfoDlg.h"
#include "CRichEditCtrl.h"
#include "CSubpatternListDlg.h"
#include "EngineMessages.h"

#include <algorithm>

namespace {

// The list opens with its left edge on the window's right edge and its
// bottom level with the window's bottom, frames included; afterwards it
// stays where the user puts it.
void PlaceBeside(QWidget *list, const QWidget *tester)
{
    const QRect testerFrame = tester->frameGeometry();
    const QRect listFrame = list->frameGeometry();
    list->move(testerFrame.x() + testerFrame.width(),
               testerFrame.y() + testerFrame.height() - listFrame.height());
}

} // namespace

void CTesterDlg::OnMore()
{
    if (m_series.IsSearching())
        return;
    const bool firstShowing = !m_dlgSubpatterns;
    if (firstShowing)
        CreateSubpatternList();
    m_dlgSubpatterns->showNormal();
    m_dlgSubpatterns->raise();
    m_dlgSubpatterns->activateWindow();
    // Some window systems frame a window only when it is first shown, which
    // changes its outer height.
    if (firstShowing)
        PlaceBeside(m_dlgSubpatterns.get(), this);
    const std::string problem = RefillSubpatternList();
    if (!problem.empty())
        SetStatus(NameTableMessage(problem));
}

void CTesterDlg::CreateSubpatternList()
{
    m_dlgSubpatterns = std::make_unique<CSubpatternListDlg>(this);
    m_dlgSubpatterns->Create();
    connect(m_dlgSubpatterns.get(), &CSubpatternListDlg::WM_SUBPATTERN_SELECT, this,
            &CTesterDlg::OnSelectRange);
    m_dlgSubpatterns->winId();   // a native window knows its frame, where the platform can tell
    PlaceBeside(m_dlgSubpatterns.get(), this);
}

std::string CTesterDlg::RefillSubpatternList()
{
    if (!m_dlgSubpatterns)
        return {};
    return m_dlgSubpatterns->Fill(m_series.CompiledPattern(), m_series.StudyData(), m_series.Offsets(),
                           m_series.OffsetsSize());
}

void CTesterDlg::OnSelectRange(qint64 start, qint64 end)
{
    const qint64 length = m_reditInput->GetTextLength();
    m_reditInput->SetSel(std::clamp<qint64>(start, 0, length), std::clamp<qint64>(end, 0, length));
}

void CTesterDlg::OnExpressionDetails()
{
    if (!PcreIsLoaded() || m_series.IsSearching())
        return;
    const QByteArray pattern = m_reditPattern->GetTextBytes();
    const PcreStudiedPattern studied = PcreCompileAndStudy(pattern.constData());
    CFullInfoDlg dialog(this);
    dialog.FillFromPattern(studied.code, studied.extra.get(), pattern);
    dialog.DoModal();
}
