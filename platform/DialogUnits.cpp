#include "DialogUnits.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>

#include <cstdint>

namespace {

// number * numerator / denominator in 64 bits, rounded half away from zero.
int MulDiv(int number, int numerator, int denominator)
{
    const std::int64_t product = std::int64_t(number) * numerator;
    const std::int64_t half = denominator / 2;
    const std::int64_t rounded = product >= 0 ? (product + half) / denominator
                                              : (product - half) / denominator;
    return int(rounded);
}

} // namespace

DialogBaseUnits BaseUnitsForFont(const QFont &font)
{
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics metrics(font);
    const int advance = metrics.horizontalAdvance(alphabet);
    const int letters = int(alphabet.size());
    return {(advance + letters / 2) / letters, metrics.height()};
}

QRect MapDialogRect(const DialogBaseUnits &units, int x, int y, int cx, int cy)
{
    return {MulDiv(x, units.bx, 4), MulDiv(y, units.by, 8), MulDiv(cx, units.bx, 4),
            MulDiv(cy, units.by, 8)};
}

QSize MapDialogSize(const DialogBaseUnits &units, int cx, int cy)
{
    return {MulDiv(cx, units.bx, 4), MulDiv(cy, units.by, 8)};
}
