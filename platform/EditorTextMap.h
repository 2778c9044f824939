#pragma once
// Where a screen reader's text offsets fall in a rich edit field's bytes.
// Offsets count the units of the text the reader is handed: UTF-16 code
// units of the decoded text in a UTF-8 document, bytes in a single-byte one.
// Byte offsets are those of the field's text, without the breaks of rows.
//
// A UTF-8 document is indexed in blocks of about 64 KB, each with its count
// of units: a conversion adds up the counts before its block and walks at
// most one block, and an edit recounts only the blocks it touched. (The
// editor component's own per-line index goes wrong when an edit splits or
// joins a CR LF pair, and cannot help inside one long line.)

#include <QString>
#include <QtGlobal>

#include <vector>

class CRichEditCtrl;

class CEditorTextMap
{
public:
    explicit CEditorTextMap(const CRichEditCtrl &editor);

    qint64 OffsetCount() const;
    // The offset of the byte at `byte`.
    qint64 OffsetAt(qint64 byte) const;
    // The byte of the character at `offset`, clamped to the text.
    qint64 ByteAt(qint64 offset) const;
    // The bytes from `start` to `end` as the reader is given them.
    QString Text(qint64 start, qint64 end) const;

    qint64 Length() const;
    // The start of the character that holds the byte at `byte`, and the
    // end of the one that holds the byte before it.
    qint64 CharStartAtOrBefore(qint64 byte) const;
    qint64 CharEndAtOrAfter(qint64 byte) const;

    // The field reports each edit of its bytes just before it is made, and
    // a replaced text; the index then follows the text.
    void NoteInsert(qint64 byte, qint64 length);
    void NoteDelete(qint64 byte, qint64 length);
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
    template <typename InBlock>
    Located Locate(InBlock inBlock) const;
    Located LocateByte(qint64 byte) const;
    Located LocateOffset(qint64 offset) const;
    void MarkAround(qint64 byte);

    const CRichEditCtrl &m_editor;
    mutable std::vector<Block> m_blocks;
    mutable bool m_bIndexed = false;
};
