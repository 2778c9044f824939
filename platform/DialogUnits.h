#pragma once
// Dialog units: a layout measured in the dialog font, so that it keeps its
// proportions at any font size or screen scale.

#include <QRect>

class QFont;

struct DialogBaseUnits
{
    int bx = 0;   // average advance of "A".."Z""a".."z", rounded
    int by = 0;   // font height
};

DialogBaseUnits BaseUnitsForFont(const QFont &font);

// x * bx / 4 and y * by / 8, rounded as the classic MulDiv does.
QRect MapDialogRect(const DialogBaseUnits &units, int x, int y, int cx, int cy);
QSize MapDialogSize(const DialogBaseUnits &units, int cx, int cy);
