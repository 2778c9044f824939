#include "EditorTextMap.h"

#include "CRichEditCtrl.h"
#include "Utf8Char.h"

#include <QByteArray>

#include <algorithm>

namespace {

// Bytes read from the field at a time while walking.
constexpr qint64 kChunk = 64 * 1024;
constexpr qint64 kBlockBytes = 64 * 1024;

int Units(const Utf8Char &c) { return c.length == 4 ? 2 : 1; }

// Visits the characters that start in [from, until), reading up to `limit`
// so that a character at the end is decoded whole. `visit(byte, c)`
// returns false to stop; the result is the byte where the walk ended.
template <class Visit>
qint64 WalkChars(const CRichEditCtrl &editor, qint64 from, qint64 until, qint64 limit, Visit visit)
{
    QByteArray buffer;
    qint64 pos = from;
    while (pos < until) {
        const qint64 end = std::min(limit, pos + kChunk);
        editor.ReadBytes(pos, end, buffer);
        const auto *data = reinterpret_cast<const unsigned char *>(buffer.constData());
        const qint64 size = end - pos;
        qint64 i = 0;
        // Near the end of a chunk that is not the last one a character may
        // be cut: read on from its start.
        while (i < size && pos + i < until && (size - i >= 4 || end == limit)) {
            const Utf8Char c = Utf8Char::Decode(data + i, size - i);
            if (!visit(pos + i, c))
                return pos + i;
            i += c.length;
        }
        pos += i;
    }
    return pos;
}

void AppendChar(QString &text, const Utf8Char &c)
{
    if (c.code > 0xFFFF) {
        text += QChar(QChar::highSurrogate(c.code));
        text += QChar(QChar::lowSurrogate(c.code));
    } else {
        text += QChar(char16_t(c.code));
    }
}

} // namespace

CEditorTextMap::CEditorTextMap(const CRichEditCtrl &editor)
    : m_editor(editor)
{
}

bool CEditorTextMap::IsUtf8() const
{
    return m_editor.IsUtf8();
}

qint64 CEditorTextMap::Length() const
{
    return m_editor.GetTextLength();
}

// Built when a screen reader first asks, so that no load pays for it.
void CEditorTextMap::EnsureIndex() const
{
    if (m_bIndexed)
        return;
    m_bIndexed = true;
    m_blocks.clear();
    for (qint64 left = Length(); left > 0; left -= kBlockBytes)
        m_blocks.push_back({std::min(left, kBlockBytes), 0, true});
}

void CEditorTextMap::NoteReplaced()
{
    m_bIndexed = false;
    m_blocks.clear();
}

qint64 CEditorTextMap::FirstCharStart(qint64 blockStart) const
{
    return CharStartAtOrBefore(blockStart) < blockStart ? CharEndAtOrAfter(blockStart) : blockStart;
}

void CEditorTextMap::Recount(std::size_t block, qint64 start) const
{
    // A block that grew by a large insertion is split first, so that no
    // later walk is longer than a block.
    if (m_blocks[block].bytes > 2 * kBlockBytes) {
        std::vector<Block> parts;
        for (qint64 left = m_blocks[block].bytes; left > 0; left -= kBlockBytes)
            parts.push_back({std::min(left, kBlockBytes), 0, true});
        m_blocks.erase(m_blocks.begin() + std::ptrdiff_t(block));
        m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(block), parts.begin(), parts.end());
    }
    Block &b = m_blocks[block];
    const qint64 end = start + b.bytes;
    qint64 units = 0;
    WalkChars(m_editor, FirstCharStart(start), end, std::min(Length(), end + 3),
              [&units](qint64, const Utf8Char &c) {
                  units += Units(c);
                  return true;
              });
    b.units = units;
    b.dirty = false;
}

// The block where `inBlock` first holds, counting blocks and units before
// it; the last block when it holds nowhere.
template <typename InBlock>
CEditorTextMap::Located CEditorTextMap::Locate(InBlock inBlock) const
{
    EnsureIndex();
    Located at{0, 0, 0};
    for (; at.block < m_blocks.size(); ++at.block) {
        if (m_blocks[at.block].dirty)
            Recount(at.block, at.start);
        const Block &b = m_blocks[at.block];
        if (inBlock(at, b) || at.block + 1 == m_blocks.size())
            break;
        at.start += b.bytes;
        at.unitsBefore += b.units;
    }
    return at;
}

CEditorTextMap::Located CEditorTextMap::LocateByte(qint64 byte) const
{
    return Locate([byte](const Located &at, const Block &b) { return byte < at.start + b.bytes; });
}

CEditorTextMap::Located CEditorTextMap::LocateOffset(qint64 offset) const
{
    return Locate([offset](const Located &at, const Block &b) { return offset < at.unitsBefore + b.units; });
}

qint64 CEditorTextMap::OffsetCount() const
{
    return OffsetAt(Length());
}

qint64 CEditorTextMap::OffsetAt(qint64 byte) const
{
    byte = std::clamp<qint64>(byte, 0, Length());
    if (!IsUtf8())
        return byte;
    const Located at = LocateByte(byte);
    if (at.block >= m_blocks.size())
        return 0;
    qint64 units = at.unitsBefore;
    WalkChars(m_editor, FirstCharStart(at.start), byte, std::min(Length(), byte + 3),
              [&units](qint64, const Utf8Char &c) {
                  units += Units(c);
                  return true;
              });
    return units;
}

qint64 CEditorTextMap::ByteAt(qint64 offset) const
{
    if (!IsUtf8())
        return std::clamp<qint64>(offset, 0, Length());
    offset = std::max<qint64>(offset, 0);
    const Located at = LocateOffset(offset);
    if (at.block >= m_blocks.size())
        return 0;
    qint64 remaining = offset - at.unitsBefore;
    const qint64 end = at.start + m_blocks[at.block].bytes;
    return WalkChars(m_editor, FirstCharStart(at.start), end, std::min(Length(), end + 3),
                     [&remaining](qint64, const Utf8Char &c) {
                         if (remaining < Units(c))
                             return false;
                         remaining -= Units(c);
                         return true;
                     });
}

// The characters that start up to three bytes before an edit and just after
// it may change with it: their blocks are counted again.
void CEditorTextMap::MarkAround(qint64 byte)
{
    qint64 start = 0;
    for (Block &b : m_blocks) {
        if (start + b.bytes >= byte - 3 && start <= byte + 3)
            b.dirty = true;
        start += b.bytes;
    }
}

void CEditorTextMap::NoteInsert(qint64 byte, qint64 length)
{
    if (!m_bIndexed || !IsUtf8())
        return;
    if (m_blocks.empty())
        m_blocks.push_back({0, 0, true});
    qint64 start = 0;
    for (std::size_t i = 0; i < m_blocks.size(); ++i) {
        if (byte <= start + m_blocks[i].bytes || i + 1 == m_blocks.size()) {
            m_blocks[i].bytes += length;
            break;
        }
        start += m_blocks[i].bytes;
    }
    MarkAround(byte);
    MarkAround(byte + length);
}

void CEditorTextMap::NoteDelete(qint64 byte, qint64 length)
{
    if (!m_bIndexed || !IsUtf8())
        return;
    qint64 start = 0;
    for (Block &b : m_blocks) {
        const qint64 end = start + b.bytes;
        const qint64 overlap = std::min(end, byte + length) - std::max(start, byte);
        start = end;
        if (overlap > 0)
            b.bytes -= overlap;
    }
    std::erase_if(m_blocks, [](const Block &b) { return b.bytes == 0; });
    MarkAround(byte);
}

QString CEditorTextMap::Text(qint64 start, qint64 end) const
{
    const qint64 length = Length();
    start = std::clamp<qint64>(start, 0, length);
    end = std::clamp<qint64>(end, start, length);
    if (!IsUtf8()) {
        QByteArray bytes;
        m_editor.ReadBytes(start, end, bytes);
        return QString::fromLatin1(bytes);
    }
    QString text;
    text.reserve(end - start);
    WalkChars(m_editor, start, end, end, [&text](qint64, const Utf8Char &c) {
        AppendChar(text, c);
        return true;
    });
    return text;
}

// Line ends do not count: the LF of a CR LF pair is a byte of its own.
qint64 CEditorTextMap::CharStartAtOrBefore(qint64 byte) const
{
    if (byte <= 0 || byte >= Length() || !IsUtf8())
        return byte;
    const qint64 from = std::max<qint64>(0, byte - 3);
    QByteArray bytes;
    m_editor.ReadBytes(from, std::min(Length(), byte + 3), bytes);
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    return from + Utf8Char::StartAtOrBefore(data, bytes.size(), byte - from);
}

qint64 CEditorTextMap::CharEndAtOrAfter(qint64 byte) const
{
    const qint64 start = CharStartAtOrBefore(byte);
    if (start == byte)
        return byte;
    QByteArray bytes;
    m_editor.ReadBytes(start, std::min(Length(), start + 4), bytes);
    return start + Utf8Char::Decode(reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size()).length;
}
