#pragma once
// The line breaks the rich edit field adds to its editor's document to show
// long lines in rows (CRowCutter). Each is an LF byte of the document that
// is not a byte of the text: positions count the document's bytes, offsets
// the text's, and this maps one to the other exactly.
//
// The breaks follow the document's edits, which the editor reports just
// before it makes them.

#include <QtGlobal>

#include <cstddef>
#include <utility>
#include <vector>

class CDisplayRows
{
public:
    // Positions in the document, which fit in an int: the editor reports
    // them in one. Half the memory of 64 bits, with a break every few
    // hundred bytes of a long line.
    using Breaks = std::vector<qint32>;

    bool IsEmpty() const { return m_breaks.empty(); }
    qint64 Count() const { return qint64(m_breaks.size()); }
    // Sorted positions of the breaks.
    const Breaks &Positions() const { return m_breaks; }

    // Bytes of the text before `position`.
    qint64 OffsetAt(qint64 position) const;
    // The position of the byte at `offset`. Where a row ends and the next
    // begins this is the start of the next row, or with `atRowEnd` the end
    // of the one before.
    qint64 PositionAt(qint64 offset, bool atRowEnd = false) const;
    bool IsBreakAt(qint64 position) const;
    // The breaks in [start, end), as a range of indexes into Positions().
    std::pair<std::size_t, std::size_t> BreaksIn(qint64 start, qint64 end) const;

    void Assign(Breaks positions) { m_breaks = std::move(positions); }
    void NoteInsert(qint64 position, qint64 length);
    // Returns how many of the deleted bytes were breaks.
    qint64 NoteDelete(qint64 position, qint64 length);
    // Breaks were inserted before the bytes at these positions (sorted, as
    // they were before any of them was inserted).
    void NoteBreaksAdded(const std::vector<qint64> &before);

private:
    Breaks m_breaks;
};
