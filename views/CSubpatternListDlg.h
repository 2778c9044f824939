#pragma once
// The tool window beside the tester window that lists the whole match and
// every captured subpattern of the current match, with names and offsets.
// Picking a line asks the tester window to select that range.

#include "CDialogBase.h"
#include "PcreBinding.h"

class CListBox;

class CSubpatternListDlg : public CDialogBase
{
    Q_OBJECT
public:
    explicit CSubpatternListDlg(QWidget *owner);

    // Lists one line per set pair of `offsets` (`length` ints); with no
    // compiled pattern the list stays empty. Names come from the pattern's
    // table of names; when the library's table cannot be read the lines go
    // by number, and the reason is returned (empty otherwise).
    std::string Fill(const PcreCodePtr &code, const pcre_extra *extra, const int *offsets, int length);

    CListBox *List() const { return m_lstSubpatterns; }

signals:
    // The byte range of the picked line, in full.
    void WM_SUBPATTERN_SELECT(qint64 start, qint64 end);

protected:
    void DoDataExchange(CDataExchange *pDX) override;

private:
    void OnSelChange();

    CListBox *m_lstSubpatterns = nullptr;
};
