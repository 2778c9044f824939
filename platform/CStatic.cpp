#include "CStatic.h"

CStatic::CStatic(QWidget *parent)
    : QLabel(parent)
{
    // Texts come from the engine and from files: never interpret them as markup.
    setTextFormat(Qt::PlainText);
}

void CStatic::SetWindowText(const QString &newText)
{
    if (newText == text() && newText == accessibleName())
        return;
    // One announcement per change. Naming first: QWidget announces the new
    // name to assistive technology (NameChanged) when it is active, and
    // QLabel then sees a name already set and does not announce the text a
    // second time. An empty name falls back to the label's text, so that
    // text must be emptied first.
    if (newText.isEmpty()) {
        setText(newText);
        setAccessibleName(newText);
    } else {
        setAccessibleName(newText);
        setText(newText);
    }
}
