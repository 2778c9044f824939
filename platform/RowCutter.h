#pragma once
// Where the rich edit field cuts a long line into rows. The editor lays out
// a whole line to paint any part of it, at about half a microsecond and
// 6 bytes of memory per byte, and past about 16 million pixels its
// single-precision positions draw the end of a line wrong: a line of 200 MB
// took minutes to show, and then showed the wrong bytes at its end. So a
// line longer than kLongLine is shown in rows of at most kRowBytes, each
// cut after a space where one is near, as text wraps, and never inside a
// UTF-8 character.
//
// Lines are ended by LF or CR, as the editor ends them.

#include <QtGlobal>

#include <vector>

class CRowCutter
{
public:
    // Lines up to this long are shown whole.
    static constexpr qint64 kLongLine = 4096;
    // Longer ones in rows of at most this many bytes, and at least three
    // quarters of it: the field lays out a screenful of them in about 3 ms.
    static constexpr qint64 kRowBytes = 512;
    static constexpr qint64 kShortestRow = kRowBytes * 3 / 4;

    // The most cuts a text of `bytes` bytes can need.
    static constexpr qint64 MostCutsFor(qint64 bytes) { return bytes / kShortestRow + 1; }
    // The longest text that fits in `room` bytes with all the cuts it may
    // need, known before a byte of it is read.
    static constexpr qint64 MostBytesIn(qint64 room)
    {
        const qint64 rows = (room - 1) / (kShortestRow + 1);
        const qint64 rest = room - 1 - rows * (kShortestRow + 1);
        return rows * kShortestRow + (rest < kShortestRow ? rest : kShortestRow - 1);
    }

    // `inLongLine`: the text starts inside a line already shown in rows.
    explicit CRowCutter(bool utf8, bool inLongLine = false);

    // Looks at bytes[0, size), which start at a row's start, and appends to
    // `cuts` the offsets (from `bytes`) where rows end. Returns how many
    // bytes it has settled; the rest starts a row that needs what follows
    // to be cut, and is to be given again with it. With `last`, nothing
    // follows and everything is settled.
    qint64 Cut(const char *bytes, qint64 size, bool last, std::vector<qint64> &cuts);

private:
    qint64 CutPoint(const char *row, qint64 available) const;

    bool m_bUtf8;
    bool m_bInLongLine;
};
