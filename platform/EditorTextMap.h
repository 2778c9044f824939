#pragma once
// Where a screen reader's text offsets fall in an editor's bytes. Offsets
// count the units of the text the reader is handed: UTF-16 code units of
// the decoded text in a UTF-8 document, bytes in a single-byte one.
//
// A UTF-8 document is indexed in blocks of about 64 KB, each with its count
// of units: a conversion adds up the counts before its block and walks at
// most one block, and an edit recounts only the blocks it touched. (The
// editor component's own per-line index goes wrong when an edit splits or
// joins a CR LF pair, and cannot help inside one long line.)

#include <QString>
#include <QtGlobal>

#include <vector>

class QsciScintillaBase;

class CEditorTextMap
{
public:
    // Lines longer than this are read in rows of about this many bytes, as
    // a screen reader asks for the line at the caret on every move.
    static constexpr qint64 kMaxRowBytes = 4096;

    explicit CEditorTextMap(const QsciScintillaBase &editor);

    qint64 OffsetCount() const;
    qint64 OffsetAt(qint64 position) const;
    // The position of the character at `offset`, clamped to the text.
    qint64 PositionAt(qint64 offset) const;
    // The bytes between two positions as the reader is given them.
    QString Text(qint64 start, qint64 end) const;
    // The row that holds `position`: its line, or a part of a long line.
    void RowAt(qint64 position, qint64 &start, qint64 &end) const;

    qint64 Length() const;
    // Bytes of the editor's document decoded as Text() decodes them.
    static QString Decode(const char *bytes, qint64 length, bool utf8);
    // The start of the character that holds the byte at `position`, and
    // the end of the one that holds the byte before it.
    qint64 CharStartAtOrBefore(qint64 position) const;
    qint64 CharEndAtOrAfter(qint64 position) const;

    // The editor reports each edit just before it is made, and a replaced
    // text; the index then follows the text.
    void NoteInsert(qint64 position, qint64 length);
    void NoteDelete(qint64 position, qint64 length);
    void NoteReplaced();

private:
    struct Block
    {
        qint64 bytes;
        qint64 units;
        bool dirty;
    };
    // Where a block's characters begin: past the end of one that started
    // in the block before.
    struct Located
    {
        std::size_t block;
        qint64 start;          // first byte of the block
        qint64 unitsBefore;
    };

    bool IsUtf8() const;
    void EnsureIndex() const;
    qint64 FirstCharStart(qint64 blockStart) const;
    void Recount(std::size_t block, qint64 start) const;
    Located LocatePosition(qint64 position) const;
    Located LocateOffset(qint64 offset) const;
    void MarkAround(qint64 position);
    qint64 LineStart(qint64 line) const;

    const QsciScintillaBase &m_editor;
    mutable std::vector<Block> m_blocks;
    mutable bool m_bIndexed = false;
};
