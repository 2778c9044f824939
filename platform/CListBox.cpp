#include "CListBox.h"

#include "LocalText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStringList>


#include <algorithm>
#include <cstring>

namespace {

// The line's own bytes, beside the decoded text that is displayed.
constexpr int kBytesRole = Qt::UserRole + 1;

unsigned char FoldAsciiCase(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

} // namespace

CListBox::CListBox(bool sorted, QWidget *parent)
    : QListWidget(parent), m_bSorted(sorted)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);   // the sorted place is chosen on insertion
}

int CListBox::CompareNoCase(const QByteArray &a, const QByteArray &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const unsigned char ca = FoldAsciiCase(static_cast<unsigned char>(a[i]));
        const unsigned char cb = FoldAsciiCase(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int CListBox::AddString(const QByteArray &text)
{
    int index = count();
    if (m_bSorted) {
        // After any equal lines, so equal lines keep their order of arrival.
        int low = 0;
        int high = count();
        while (low < high) {
            const int middle = low + (high - low) / 2;
            if (CompareNoCase(GetText(middle), text) <= 0)
                low = middle + 1;
            else
                high = middle;
        }
        index = low;
    }
    auto *item = new QListWidgetItem(DecodeLocalBytes(text));
    item->setData(kBytesRole, text);
    insertItem(index, item);
    return index;
}

void CListBox::ResetContent()
{
    clear();
}

QByteArray CListBox::GetText(int index) const
{
    const QListWidgetItem *line = item(index);
    return line ? line->data(kBytesRole).toByteArray() : QByteArray();
}

void CListBox::SetItemData(int index, const QVariant &data)
{
    if (QListWidgetItem *line = item(index))
        line->setData(Qt::UserRole, data);
}

QVariant CListBox::GetItemData(int index) const
{
    const QListWidgetItem *line = item(index);
    return line ? line->data(Qt::UserRole) : QVariant();
}

QString CListBox::AllLinesText() const
{
    QStringList lines;
    lines.reserve(count());
    for (int i = 0; i < count(); ++i)
        lines.append(item(i)->text());
    return lines.join(QLatin1Char('\n'));
}

void CListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(AllLinesText());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}
