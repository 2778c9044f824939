#pragma once
// A new editor document filled with a text read in pieces, with the breaks
// that show its long lines in rows added on the way (CRowCutter). The
// editor keeps its document until it takes the new one, so a read that
// fails leaves the field's text as it was.
//
// Reading straight into the document is what makes a load cost little more
// than the read: the text is held once, and each piece is read, copied and
// scanned for line ends while it is in the cache.

#include "DisplayRows.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

class ILoader;
class QsciScintillaBase;

class CDocumentLoad
{
public:
    // Fills up to `max` bytes at `buffer` and returns how many (more than
    // 0), or -1 when the text cannot be read to its end.
    using Reader = std::function<qint64(char *buffer, qint64 max)>;

    // Memory the system can still give, in bytes; -1 when it does not say.
    static qint64 AvailableMemory();
    // What a load leaves to the rest of the system of `available` memory:
    // 256 MB, or a quarter on a machine with less, where a small file must
    // still load.
    static qint64 MemoryReserve(qint64 available);

    // A document for `size` bytes made by `editor`, which must outlive it.
    CDocumentLoad(QsciScintillaBase &editor, qint64 size, bool utf8);
    ~CDocumentLoad();   // releases a document not taken
    CDocumentLoad(const CDocumentLoad &) = delete;
    CDocumentLoad &operator=(const CDocumentLoad &) = delete;

    // Reads the whole text. False when the reader failed (it knows why), or
    // with `problem` set when the document could not take the text.
    bool Read(const Reader &read, QString &problem);

    // The document, for SCI_SETDOCPOINTER; the caller releases the one
    // reference it holds. Then the positions of the breaks.
    long TakeDocument();
    CDisplayRows::Breaks TakeBreaks() { return std::move(m_breaks); }

private:
    bool Add(const char *bytes, qint64 size, const std::vector<qint64> &cuts, QString &problem);
    bool Append(const char *bytes, qint64 size, QString &problem);

    ILoader *m_loader = nullptr;
    qint64 m_size;
    bool m_bUtf8;
    qint64 m_length = 0;             // of the document so far
    qint64 m_reserve;                // memory the read leaves free
    CDisplayRows::Breaks m_breaks;
    std::vector<char> m_withBreaks;  // a piece with its breaks
};
