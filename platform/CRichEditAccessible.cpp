#include "CRichEditAccessible.h"

#include "CRichEditCtrl.h"
#include "EditorTextMap.h"

#include <QFontMetrics>

#include <algorithm>

namespace {

using Sci = QsciScintillaBase;

void AddAttribute(QString &attributes, const char *name, const QString &value)
{
    attributes += QLatin1String(name) + QLatin1Char(':') + value + QLatin1Char(';');
}

QString Rgb(const QColor &colour)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg(colour.red()).arg(colour.green()).arg(colour.blue());
}

} // namespace

CRichEditAccessible::CRichEditAccessible(CRichEditCtrl *editor)
    : QAccessibleWidget(editor, QAccessible::EditableText)
{
}

QAccessibleInterface *CRichEditAccessible::Factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("CRichEditCtrl") && object && object->isWidgetType())
        return new CRichEditAccessible(static_cast<CRichEditCtrl *>(object));
    return nullptr;
}

CRichEditCtrl *CRichEditAccessible::Editor() const
{
    return static_cast<CRichEditCtrl *>(widget());
}

QAccessible::State CRichEditAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.selectableText = true;
    state.multiLine = true;
    if (Editor()->isReadOnly())
        state.readOnly = true;
    else
        state.editable = true;
    return state;
}

void *CRichEditAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

// -1 stands for the end of the text.
qint64 CRichEditAccessible::Byte(int offset) const
{
    const CEditorTextMap &map = Editor()->TextMap();
    return offset < 0 ? map.Length() : map.ByteAt(offset);
}

qint64 CRichEditAccessible::Position(int offset) const
{
    return Editor()->PositionAt(Byte(offset));
}

void CRichEditAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    qint64 start = 0, end = 0;
    Editor()->GetSel(start, end);
    if (selectionIndex != 0 || start == end)
        return;
    const CEditorTextMap &map = Editor()->TextMap();
    *startOffset = int(map.OffsetAt(start));
    *endOffset = int(map.OffsetAt(end));
}

int CRichEditAccessible::selectionCount() const
{
    qint64 start = 0, end = 0;
    Editor()->GetSel(start, end);
    return start == end ? 0 : 1;
}

void CRichEditAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void CRichEditAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0) {
        const long caret = Editor()->SendScintilla(Sci::SCI_GETCURRENTPOS);
        Editor()->SendScintilla(Sci::SCI_SETEMPTYSELECTION, static_cast<unsigned long>(caret));
    }
}

void CRichEditAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        Editor()->SetSel(Byte(startOffset), Byte(endOffset));
}

int CRichEditAccessible::cursorPosition() const
{
    return int(Editor()->TextMap().OffsetAt(Editor()->GetCaret()));
}

void CRichEditAccessible::setCursorPosition(int position)
{
    const qint64 at = Byte(position);
    Editor()->SetSel(at, at);
}

QString CRichEditAccessible::text(int startOffset, int endOffset) const
{
    return Editor()->TextMap().Text(Byte(startOffset), Byte(endOffset));
}

int CRichEditAccessible::characterCount() const
{
    return int(Editor()->TextMap().OffsetCount());
}

// The piece of text between two bytes, with its offsets.
QString CRichEditAccessible::Piece(qint64 start, qint64 end, int *startOffset, int *endOffset) const
{
    const CEditorTextMap &map = Editor()->TextMap();
    *startOffset = int(map.OffsetAt(start));
    *endOffset = int(map.OffsetAt(end));
    return map.Text(start, end);
}

// The unit of text around the byte at `byte`. Characters and words are
// found by the editor from the byte's position; a line is a row as shown.
// Words are cut as Qt's own text fields cut them: a run of word characters,
// and between two words the run of spaces or punctuation, so that a reader
// stepping from unit to unit meets every word.
bool CRichEditAccessible::Boundaries(qint64 byte, QAccessible::TextBoundaryType type, qint64 &start,
                                     qint64 &end) const
{
    const CRichEditCtrl *editor = Editor();
    const qint64 length = editor->GetTextLength();
    const auto position = static_cast<unsigned long>(editor->PositionAt(byte));
    auto send = [editor](unsigned int message, unsigned long at, long more = 0) {
        return editor->OffsetAt(editor->SendScintilla(message, at, more));
    };
    switch (type) {
    case QAccessible::CharBoundary:
        if (byte >= length)
            return false;
        start = byte;
        end = send(Sci::SCI_POSITIONAFTER, position);
        return true;
    case QAccessible::WordBoundary:
        if (byte >= length)
            return false;
        // The class of the byte's character sets the run in both directions.
        end = send(Sci::SCI_WORDENDPOSITION, position, 0L);
        start = send(Sci::SCI_WORDSTARTPOSITION,
                     static_cast<unsigned long>(editor->SendScintilla(Sci::SCI_POSITIONAFTER, position)), 0L);
        return start < end;
    case QAccessible::LineBoundary:
    case QAccessible::ParagraphBoundary:
        editor->RowAt(byte, start, end);
        return start < end;
    case QAccessible::NoBoundary:
        start = 0;
        end = length;
        return true;
    case QAccessible::SentenceBoundary:
        break;
    }
    return false;
}

QString CRichEditAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                          int *endOffset) const
{
    *startOffset = *endOffset = -1;
    qint64 start = 0, end = 0;
    if (!Boundaries(Byte(offset), boundaryType, start, end))
        return QString();
    return Piece(start, end, startOffset, endOffset);
}

QString CRichEditAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                              int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = -1;
    const CRichEditCtrl *editor = Editor();
    qint64 start = 0, end = 0;
    const qint64 byte = Byte(offset);
    // At the end of the text the unit before is the last one.
    if (!Boundaries(byte, boundaryType, start, end)) {
        if (byte < editor->GetTextLength())
            return QString();
        start = byte;
    }
    if (start == 0)
        return QString();
    // From the end of a row, not from the start of the next one.
    const qint64 before = editor->OffsetAt(editor->SendScintilla(
        Sci::SCI_POSITIONBEFORE, static_cast<unsigned long>(editor->PositionAt(start, true))));
    if (!Boundaries(before, boundaryType, start, end))
        return QString();
    return Piece(start, end, startOffset, endOffset);
}

QString CRichEditAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                             int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = -1;
    qint64 start = 0, end = 0;
    if (!Boundaries(Byte(offset), boundaryType, start, end) || end >= Editor()->GetTextLength())
        return QString();
    if (!Boundaries(end, boundaryType, start, end))
        return QString();
    return Piece(start, end, startOffset, endOffset);
}

QRect CRichEditAccessible::characterRect(int offset) const
{
    const CRichEditCtrl *editor = Editor();
    const qint64 position = Position(offset);
    const int x = int(editor->SendScintilla(Sci::SCI_POINTXFROMPOSITION, 0UL, long(position)));
    const int y = int(editor->SendScintilla(Sci::SCI_POINTYFROMPOSITION, 0UL, long(position)));
    const long line = editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
    const int height = int(editor->SendScintilla(Sci::SCI_TEXTHEIGHT, static_cast<unsigned long>(line)));
    const QString character = text(offset, offset + 1);
    QRect rect(x, y, QFontMetrics(editor->font()).horizontalAdvance(character), height);
    rect.moveTo(editor->viewport()->mapToGlobal(rect.topLeft()));
    return rect;
}

int CRichEditAccessible::offsetAtPoint(const QPoint &point) const
{
    const CRichEditCtrl *editor = Editor();
    const QPoint local = editor->viewport()->mapFromGlobal(point);
    const long position = editor->SendScintilla(Sci::SCI_POSITIONFROMPOINTCLOSE, static_cast<unsigned long>(local.x()),
                                                long(local.y()));
    return position < 0 ? -1 : int(editor->TextMap().OffsetAt(editor->OffsetAt(position)));
}

void CRichEditAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    Editor()->SendScintilla(Sci::SCI_SCROLLRANGE, static_cast<unsigned long>(Position(endIndex)),
                            long(Position(startIndex)));
}

// A matched range coloured red is the one attribute the text carries.
QString CRichEditAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    const CRichEditCtrl *editor = Editor();
    qint64 start = 0, end = 0;
    const bool red = editor->ColourRunAt(Byte(offset), start, end);
    const CEditorTextMap &map = editor->TextMap();
    *startOffset = int(map.OffsetAt(start));
    *endOffset = int(map.OffsetAt(end));

    QString attributes;
    AddAttribute(attributes, "background-color", Rgb(editor->paper()));
    AddAttribute(attributes, "color", Rgb(red ? QColor(255, 0, 0) : editor->color()));
    AddAttribute(attributes, "font-family", QLatin1Char('"') + editor->font().family() + QLatin1Char('"'));
    AddAttribute(attributes, "font-size", QStringLiteral("%1pt").arg(editor->font().pointSize()));
    return attributes;
}

void CRichEditAccessible::ReplaceRange(int startOffset, int endOffset, const QString &text)
{
    CRichEditCtrl *editor = Editor();
    if (editor->isReadOnly())
        return;
    editor->SetSel(Byte(startOffset), Byte(endOffset));
    editor->ReplaceSelectionBytes(editor->IsUtf8() ? text.toUtf8() : text.toLatin1());
}

void CRichEditAccessible::deleteText(int startOffset, int endOffset)
{
    ReplaceRange(startOffset, endOffset, QString());
}

void CRichEditAccessible::insertText(int offset, const QString &text)
{
    ReplaceRange(offset, offset, text);
}

void CRichEditAccessible::replaceText(int startOffset, int endOffset, const QString &text)
{
    ReplaceRange(startOffset, endOffset, text);
}
