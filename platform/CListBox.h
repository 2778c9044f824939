#pragma once
// A list box whose lines are byte strings. A sorted list box keeps its lines
// in the order of a case-insensitive byte comparison (ASCII letters folded
// to lower case, then byte order). Each line carries a value of its own.

#include <QByteArray>
#include <QListWidget>
#include <QVariant>

class CListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit CListBox(bool sorted, QWidget *parent = nullptr);

    // Adds a line; returns its index (its sorted place in a sorted list).
    int AddString(const QByteArray &text);
    void ResetContent();
    int GetCount() const { return count(); }
    QByteArray GetText(int index) const;
    int GetCurSel() const { return currentRow(); }
    void SetCurSel(int index) { setCurrentRow(index); }

    void SetItemData(int index, const QVariant &data);
    QVariant GetItemData(int index) const;

    // All lines joined by line breaks, for the clipboard.
    QString AllLinesText() const;

    // Case-insensitive byte order used by sorted lists: negative, zero or
    // positive like strcmp.
    static int CompareNoCase(const QByteArray &a, const QByteArray &b);

protected:
    // Ctrl+C copies every line, since lines may not be selectable.
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_bSorted;
};
