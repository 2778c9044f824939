#include "ShowResourceMessage.h"

#include "StringTable.h"

#include <QApplication>

QMessageBox::StandardButton ShowResourceMessage(QWidget *owner, int textId, int captionId,
                                                QMessageBox::StandardButtons buttons)
{
    const QString caption = captionId != 0 ? LoadResString(captionId)
                                           : QApplication::applicationDisplayName();
    QMessageBox box(QMessageBox::NoIcon, caption, LoadResString(textId), buttons, owner);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
