#include "EditorTextMap.h"

#include <Qsci/qsciscintillabase.h>

#include <QByteArray>

#include <algorithm>

namespace {

using Sci = QsciScintillaBase;

// Bytes read from the editor at a time while walking.
constexpr qint64 kChunk = 64 * 1024;
constexpr qint64 kBlockBytes = 64 * 1024;

struct Utf8Char
{
    int length = 1;        // bytes
    char32_t code = 0xFFFD;
};

bool IsTrail(unsigned char byte) { return (byte & 0xC0) == 0x80; }

int LeadLength(unsigned char lead)
{
    if (lead < 0xC2)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    return lead < 0xF5 ? 4 : 1;
}

// One character as the editor's index counts it: a well-formed sequence,
// or a single byte that starts none (shown as U+FFFD).
Utf8Char DecodeOne(const unsigned char *s, qint64 available)
{
    if (s[0] < 0x80)
        return {1, s[0]};
    const int length = LeadLength(s[0]);
    if (length == 1 || length > available)
        return {};
    for (int i = 1; i < length; ++i) {
        if (!IsTrail(s[i]))
            return {};
    }
    if (length == 2)
        return {2, char32_t((s[0] & 0x1F) << 6 | (s[1] & 0x3F))};
    if (length == 3) {
        if ((s[0] == 0xE0 && s[1] < 0xA0) || (s[0] == 0xED && s[1] >= 0xA0))
            return {};   // overlong, or a surrogate
        return {3, char32_t((s[0] & 0x0F) << 12 | (s[1] & 0x3F) << 6 | (s[2] & 0x3F))};
    }
    if ((s[0] == 0xF0 && s[1] < 0x90) || (s[0] == 0xF4 && s[1] > 0x8F))
        return {};   // overlong, or past U+10FFFF
    return {4, char32_t((s[0] & 0x07) << 18 | (s[1] & 0x3F) << 12 | (s[2] & 0x3F) << 6 | (s[3] & 0x3F))};
}

int Units(const Utf8Char &c) { return c.length == 4 ? 2 : 1; }

void Fetch(const QsciScintillaBase &editor, qint64 start, qint64 end, QByteArray &buffer)
{
    buffer.resize(end - start + 1);
    editor.SendScintilla(Sci::SCI_GETTEXTRANGE, long(start), long(end), buffer.data());
    buffer.resize(end - start);
}

// Visits the characters that start in [from, until), reading up to `limit`
// so that a character at the end is decoded whole. `visit(position, c)`
// returns false to stop; the result is the position where the walk ended.
template <class Visit>
qint64 WalkChars(const QsciScintillaBase &editor, qint64 from, qint64 until, qint64 limit, Visit visit)
{
    QByteArray buffer;
    qint64 pos = from;
    while (pos < until) {
        const qint64 end = std::min(limit, pos + kChunk);
        Fetch(editor, pos, end, buffer);
        const auto *data = reinterpret_cast<const unsigned char *>(buffer.constData());
        const qint64 size = end - pos;
        qint64 i = 0;
        // Near the end of a chunk that is not the last one a character may
        // be cut: read on from its start.
        while (i < size && pos + i < until && (size - i >= 4 || end == limit)) {
            const Utf8Char c = DecodeOne(data + i, size - i);
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

CEditorTextMap::CEditorTextMap(const QsciScintillaBase &editor)
    : m_editor(editor)
{
}

bool CEditorTextMap::IsUtf8() const
{
    return m_editor.SendScintilla(Sci::SCI_GETCODEPAGE) == Sci::SC_CP_UTF8;
}

qint64 CEditorTextMap::Length() const
{
    return m_editor.SendScintilla(Sci::SCI_GETLENGTH);
}

qint64 CEditorTextMap::LineStart(qint64 line) const
{
    return m_editor.SendScintilla(Sci::SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
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

CEditorTextMap::Located CEditorTextMap::LocatePosition(qint64 position) const
{
    EnsureIndex();
    Located at{0, 0, 0};
    for (; at.block < m_blocks.size(); ++at.block) {
        if (m_blocks[at.block].dirty)
            Recount(at.block, at.start);
        const Block &b = m_blocks[at.block];
        if (position < at.start + b.bytes || at.block + 1 == m_blocks.size())
            break;
        at.start += b.bytes;
        at.unitsBefore += b.units;
    }
    return at;
}

CEditorTextMap::Located CEditorTextMap::LocateOffset(qint64 offset) const
{
    EnsureIndex();
    Located at{0, 0, 0};
    for (; at.block < m_blocks.size(); ++at.block) {
        if (m_blocks[at.block].dirty)
            Recount(at.block, at.start);
        const Block &b = m_blocks[at.block];
        if (offset < at.unitsBefore + b.units || at.block + 1 == m_blocks.size())
            break;
        at.start += b.bytes;
        at.unitsBefore += b.units;
    }
    return at;
}

qint64 CEditorTextMap::OffsetCount() const
{
    return OffsetAt(Length());
}

qint64 CEditorTextMap::OffsetAt(qint64 position) const
{
    position = std::clamp<qint64>(position, 0, Length());
    if (!IsUtf8())
        return position;
    const Located at = LocatePosition(position);
    if (at.block >= m_blocks.size())
        return 0;
    qint64 units = at.unitsBefore;
    WalkChars(m_editor, FirstCharStart(at.start), position, std::min(Length(), position + 3),
              [&units](qint64, const Utf8Char &c) {
                  units += Units(c);
                  return true;
              });
    return units;
}

qint64 CEditorTextMap::PositionAt(qint64 offset) const
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
void CEditorTextMap::MarkAround(qint64 position)
{
    qint64 start = 0;
    for (Block &b : m_blocks) {
        if (start + b.bytes >= position - 3 && start <= position + 3)
            b.dirty = true;
        start += b.bytes;
    }
}

void CEditorTextMap::NoteInsert(qint64 position, qint64 length)
{
    if (!m_bIndexed || !IsUtf8())
        return;
    if (m_blocks.empty())
        m_blocks.push_back({0, 0, true});
    qint64 start = 0;
    for (std::size_t i = 0; i < m_blocks.size(); ++i) {
        if (position <= start + m_blocks[i].bytes || i + 1 == m_blocks.size()) {
            m_blocks[i].bytes += length;
            break;
        }
        start += m_blocks[i].bytes;
    }
    MarkAround(position);
    MarkAround(position + length);
}

void CEditorTextMap::NoteDelete(qint64 position, qint64 length)
{
    if (!m_bIndexed || !IsUtf8())
        return;
    qint64 start = 0;
    for (Block &b : m_blocks) {
        const qint64 end = start + b.bytes;
        const qint64 overlap = std::min(end, position + length) - std::max(start, position);
        start = end;
        if (overlap > 0)
            b.bytes -= overlap;
    }
    std::erase_if(m_blocks, [](const Block &b) { return b.bytes == 0; });
    MarkAround(position);
}

QString CEditorTextMap::Text(qint64 start, qint64 end) const
{
    const qint64 length = Length();
    start = std::clamp<qint64>(start, 0, length);
    end = std::clamp<qint64>(end, start, length);
    if (!IsUtf8()) {
        QByteArray bytes;
        Fetch(m_editor, start, end, bytes);
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

QString CEditorTextMap::Decode(const char *bytes, qint64 length, bool utf8)
{
    if (!utf8)
        return QString::fromLatin1(bytes, length);
    QString text;
    text.reserve(length);
    const auto *data = reinterpret_cast<const unsigned char *>(bytes);
    for (qint64 i = 0; i < length;) {
        const Utf8Char c = DecodeOne(data + i, length - i);
        AppendChar(text, c);
        i += c.length;
    }
    return text;
}

// A byte starts a character unless it is a trail byte of a well-formed
// sequence that starts at most three bytes before it. Line ends do not
// count: the LF of a CR LF pair is a byte of its own.
qint64 CEditorTextMap::CharStartAtOrBefore(qint64 position) const
{
    if (position <= 0 || position >= Length() || !IsUtf8())
        return position;
    const qint64 from = std::max<qint64>(0, position - 3);
    QByteArray bytes;
    Fetch(m_editor, from, std::min(Length(), position + 3), bytes);
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qint64 lead = position - 1; lead >= from; --lead) {
        const qint64 at = lead - from;
        if (!IsTrail(data[at]))
            return DecodeOne(data + at, bytes.size() - at).length > position - lead ? lead : position;
    }
    return position;
}

qint64 CEditorTextMap::CharEndAtOrAfter(qint64 position) const
{
    const qint64 start = CharStartAtOrBefore(position);
    if (start == position)
        return position;
    QByteArray bytes;
    Fetch(m_editor, start, std::min(Length(), start + 4), bytes);
    return start + DecodeOne(reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size()).length;
}

void CEditorTextMap::RowAt(qint64 position, qint64 &start, qint64 &end) const
{
    const long line = m_editor.SendScintilla(Sci::SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
    const qint64 lineStart = LineStart(line);
    const qint64 lineEnd = LineStart(line + 1);
    if (lineEnd - lineStart <= kMaxRowBytes) {
        start = lineStart;
        end = lineEnd;
        return;
    }
    const qint64 row = (position - lineStart) / kMaxRowBytes;
    start = CharStartAtOrBefore(lineStart + row * kMaxRowBytes);
    end = std::min(lineEnd, CharStartAtOrBefore(lineStart + (row + 1) * kMaxRowBytes));
    if (position >= end && end < lineEnd) {   // the row boundary moved back onto a character start
        start = end;
        end = std::min(lineEnd, CharStartAtOrBefore(lineStart + (row + 2) * kMaxRowBytes));
    }
}
