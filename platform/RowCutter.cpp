#include "RowCutter.h"

#include "Utf8Char.h"

#include <algorithm>
#include <cstring>

namespace {

// memchr and memrchr compare many bytes at a time; a line end is either of
// two bytes, so each is looked for on its own.
qint64 FirstLineEnd(const char *bytes, qint64 size)
{
    const auto *lf = static_cast<const char *>(std::memchr(bytes, '\n', size_t(size)));
    const qint64 before = lf ? lf - bytes : size;
    const auto *cr = static_cast<const char *>(std::memchr(bytes, '\r', size_t(before)));
    return cr ? cr - bytes : lf ? before : -1;
}

qint64 LastLineEnd(const char *bytes, qint64 size)
{
    const auto *lf = static_cast<const char *>(::memrchr(bytes, '\n', size_t(size)));
    const qint64 after = lf ? lf - bytes + 1 : 0;
    const auto *cr = static_cast<const char *>(::memrchr(bytes + after, '\r', size_t(size - after)));
    return cr ? cr - bytes : lf ? after - 1 : -1;
}

} // namespace

CRowCutter::CRowCutter(bool utf8, bool inLongLine)
    : m_bUtf8(utf8)
    , m_bInLongLine(inLongLine)
{
}

qint64 CRowCutter::Cut(const char *bytes, qint64 size, bool last, std::vector<qint64> &cuts)
{
    qint64 row = 0;
    for (;;) {
        const qint64 left = size - row;
        if (!m_bInLongLine) {
            // Every line that ends within kLongLine bytes is shown whole.
            const qint64 end = LastLineEnd(bytes + row, std::min(left, kLongLine + 1));
            if (end >= 0) {
                row += end + 1;
                continue;
            }
            if (left <= kLongLine)
                return last ? size : row;
            m_bInLongLine = true;
        }
        const qint64 end = FirstLineEnd(bytes + row, std::min(left, kRowBytes + 1));
        if (end >= 0) {
            m_bInLongLine = false;
            row += end + 1;
            continue;
        }
        // A cut needs the bytes of the character it might fall in.
        if (left <= kRowBytes || (left <= kRowBytes + 3 && !last))
            return last ? size : row;
        row += CutPoint(bytes + row, left);
        cuts.push_back(row);
    }
}

// Where a row of kRowBytes or more that holds no line end is cut.
qint64 CRowCutter::CutPoint(const char *row, qint64 available) const
{
    const qint64 from = kRowBytes * 3 / 4;
    const size_t span = size_t(kRowBytes - from);
    const auto *space = static_cast<const char *>(::memrchr(row + from, ' ', span));
    const auto *tab = static_cast<const char *>(::memrchr(row + from, '\t', span));
    const qint64 blank = std::max(space ? space - row : -1, tab ? tab - row : -1);
    if (blank >= 0)
        return blank + 1;
    if (!m_bUtf8)
        return kRowBytes;
    const auto *data = reinterpret_cast<const unsigned char *>(row);
    return Utf8Char::StartAtOrBefore(data, available, kRowBytes);
}
