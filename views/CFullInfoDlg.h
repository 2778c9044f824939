#pragma once
// The modal report on a compiled pattern: counts, first and last bytes,
// options, sizes and the named subpatterns. It borrows the pattern, which
// its caller releases after the dialog closes.

#include "CDialogBase.h"
#include "PcreBinding.h"
#include "PcreNameTable.h"

#include <QByteArray>
#include <QString>

class CListBox;

class CFullInfoDlg : public CDialogBase
{
    Q_OBJECT
public:
    explicit CFullInfoDlg(QWidget *parent = nullptr);

    // Reads everything from the engine; must run before the dialog is shown.
    // With no compiled pattern only the pattern text is shown. The dialog
    // only borrows the pattern: the caller keeps it until the dialog closes.
    void FillFromPattern(const PcreCodePtr &code, const pcre_extra *extra, const QByteArray &text);

    // The option words of `options`, each followed by a space but the last.
    static QString OptionWords(unsigned long options);
    // "No (only anchored)", "No (only at the start)" or "value (c)".
    static QString FirstByteText(int value);
    static QString LastLiteralText(int value);

protected:
    void DoDataExchange(CDataExchange *pDX) override;
    bool OnInitDialog() override;

private:
    int m_nNameCount = 0;
    int m_nNameEntrySize = 0;
    PcreNameTable m_pNameTable;     // the checked view of the pattern's table
    CListBox *m_lstNames = nullptr;
    QString m_strBackRefMax;
    QString m_strCaptureCount;
    QString m_strOptions;
    QString m_strPattern;
    QString m_strFirstByte;
    QString m_strFirstTable;
    QString m_strLastLiteral;
    QString m_strNameCount;
    QString m_strNameEntrySize;
    QString m_strSize;
    QString m_strStudySize;
};
