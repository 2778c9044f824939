#include "CSubpatternListDlg.h"

#include "CListBox.h"
#include "DataExchange.h"
#include "PcreNameTable.h"
#include "DialogTemplates.h"
#include "resource.h"

#include <QPoint>

namespace {

// "name (n) {start,end}" or "n {start,end}", offsets as unsigned 32-bit
// values so an unset offset reads 4294967295.
QByteArray SubpatternLine(const QByteArray &name, int number, int start, int end)
{
    const QByteArray offsets = '{' + QByteArray::number(static_cast<quint32>(start)) + ','
                               + QByteArray::number(static_cast<quint32>(end)) + '}';
    if (name.isEmpty())
        return QByteArray::number(number) + ' ' + offsets;
    return name + " (" + QByteArray::number(number) + ") " + offsets;
}

} // namespace

CSubpatternListDlg::CSubpatternListDlg(QWidget *owner)
    : CDialogBase(LoadDialogTemplate(IDD_SUBPATTERNS_DIALOG), owner)
{
    CDataExchange dx(this, true);
    DoDataExchange(&dx);
    // Selection, not the current line: the list makes its first line current
    // when it gains the focus from the keyboard, which picks nothing, a click
    // on that line must still pick it, and a screen reader selects a line
    // without making it current.
    connect(m_lstSubpatterns, &QListWidget::itemSelectionChanged, this, &CSubpatternListDlg::OnSelChange);
}

void CSubpatternListDlg::DoDataExchange(CDataExchange *pDX)
{
    CDialogBase::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SUBPATTERN_LIST, m_lstSubpatterns);
}

std::string CSubpatternListDlg::Fill(const PcreCodePtr &code, const pcre_extra *extra, const int *offsets,
                                     int length)
{
    m_lstSubpatterns->ResetContent();
    std::string problem;
    if (code && offsets) {
        const PcreNameTable names = PcreNameTable::Of(*code.get_deleter().library, code.get(), extra);
        problem = names.Problem();
        for (int i = 0; i < length / 3; ++i) {
            const int start = offsets[2 * i];
            const int end = offsets[2 * i + 1];
            if (start == -1 && end == -1)
                continue;
            const int index = m_lstSubpatterns->AddString(SubpatternLine(QByteArray::fromStdString(names.NameOf(i)), i, start, end));
            m_lstSubpatterns->SetItemData(index, QPoint(start, end));
        }
    }
    m_lstSubpatterns->repaint();
    return problem;
}

void CSubpatternListDlg::OnSelChange()
{
    const QList<QListWidgetItem *> picked = m_lstSubpatterns->selectedItems();
    if (picked.isEmpty())
        return;
    const QPoint range = m_lstSubpatterns->GetItemData(m_lstSubpatterns->row(picked.first())).toPoint();
    emit WM_SUBPATTERN_SELECT(static_cast<quint32>(range.x()), static_cast<quint32>(range.y()));
}
