#pragma once
// A message box whose text and caption come from the string table.

#include <QMessageBox>

class QWidget;

// Shows string `textId` in a message box with string `captionId` as its
// caption (the application's name when captionId is 0) and the given
// buttons; returns the button the user chose.
QMessageBox::StandardButton ShowResourceMessage(QWidget *owner, int textId, int captionId,
                                                QMessageBox::StandardButtons buttons);
