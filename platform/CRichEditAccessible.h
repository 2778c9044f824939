#pragma once
// What a screen reader sees of a rich edit field: its text (the bytes, also
// where the field shows long lines in rows), caret and selection, and
// editing through the accessible interface. Offsets are those of
// CEditorTextMap, so no call walks the text from its start.

#include <QAccessibleEditableTextInterface>
#include <QAccessibleTextInterface>
#include <QAccessibleWidget>

class CRichEditCtrl;

class CRichEditAccessible : public QAccessibleWidget,
                            public QAccessibleTextInterface,
                            public QAccessibleEditableTextInterface
{
public:
    explicit CRichEditAccessible(CRichEditCtrl *editor);

    // For QAccessible::installFactory: serves every CRichEditCtrl.
    static QAccessibleInterface *Factory(const QString &className, QObject *object);

    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;
    using QAccessibleWidget::text;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                             int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                            int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

private:
    CRichEditCtrl *Editor() const;
    qint64 Byte(int offset) const;
    qint64 Position(int offset) const;
    bool Boundaries(qint64 byte, QAccessible::TextBoundaryType type, qint64 &start, qint64 &end) const;
    QString Piece(qint64 start, qint64 end, int *startOffset, int *endOffset) const;
    void ReplaceRange(int startOffset, int endOffset, const QString &text);
};
