// "More..." with the subpattern list, and "Expression details...".

#include "CTesterDlg.h"

#include "CFullInfoDlg.h"
#include "CRichEditCtrl.h"
#include "CSubpatternListDlg.h"

#include <algorithm>

void CTesterDlg::OnMore()
{
    if (!m_dlgSubpatterns)
        CreateSubpatternList();
    m_dlgSubpatterns->showNormal();
    m_dlgSubpatterns->raise();
    m_dlgSubpatterns->activateWindow();
    RefillSubpatternList();
}

// The list opens with its left edge on the window's right edge and its
// bottom level with the window's bottom; afterwards it stays where the user
// puts it.
void CTesterDlg::CreateSubpatternList()
{
    m_dlgSubpatterns = std::make_unique<CSubpatternListDlg>(this);
    m_dlgSubpatterns->Create();
    connect(m_dlgSubpatterns.get(), &CSubpatternListDlg::WM_SUBPATTERN_SELECT, this,
            &CTesterDlg::OnSelectRange);
    const QRect tester = frameGeometry();
    const QRect list = m_dlgSubpatterns->frameGeometry();
    m_dlgSubpatterns->move(tester.x() + tester.width(), tester.y() + tester.height() - list.height());
}

void CTesterDlg::RefillSubpatternList()
{
    if (!m_dlgSubpatterns)
        return;
    const bool haveMatch = PcreIsLoaded() && m_pRegex;
    m_dlgSubpatterns->Fill(haveMatch ? m_pRegex.get() : nullptr, m_pExtra.get(), m_pOffsets.get(),
                           m_nOffsetsSize);
}

void CTesterDlg::OnSelectRange(qint64 start, qint64 end)
{
    const qint64 length = m_reditInput->GetTextLength();
    m_reditInput->SetSel(std::clamp<qint64>(start, 0, length), std::clamp<qint64>(end, 0, length));
}

void CTesterDlg::OnExpressionDetails()
{
    if (!PcreIsLoaded())
        return;
    const QByteArray pattern = m_reditPattern->GetTextBytes();
    const char *errorText = nullptr;
    int errorOffset = 0;
    PcreCodePtr code(PcreCompile(pattern.constData(), &errorText, &errorOffset, false));
    PcreExtraPtr extra(code ? PcreStudy(code.get(), &errorText) : nullptr);
    CFullInfoDlg dialog(this);
    dialog.FillFromPattern(code.get(), extra.get(), pattern);
    dialog.DoModal();
}
