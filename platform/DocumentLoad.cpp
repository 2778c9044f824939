#include "DocumentLoad.h"

#include "RowCutter.h"

#include <Qsci/qsciscintillabase.h>

#include <QFile>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

// Scintilla's interface for filling a document that is not shown, as its
// ILoader.h declares it (Debian's package does not install that header):
// what SCI_CREATELOADER returns.
class ILoader
{
public:
    virtual int Release() = 0;
    virtual int AddData(const char *data, std::ptrdiff_t length) = 0;
    virtual void *ConvertToDocument() = 0;
};

namespace {

using Sci = QsciScintillaBase;

// Read, copied and scanned while in the cache.
constexpr qint64 kPiece = 64 * 1024;
// How often the memory left is looked at while reading.
constexpr qint64 kMemoryCheckBytes = 64 << 20;
constexpr qint64 kMostMemoryReserve = 256 << 20;

} // namespace

qint64 CDocumentLoad::AvailableMemory()
{
    QFile info(QStringLiteral("/proc/meminfo"));
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line; !(line = info.readLine()).isEmpty();) {
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

qint64 CDocumentLoad::MemoryReserve(qint64 available)
{
    return std::min(kMostMemoryReserve, available / 4);
}

CDocumentLoad::CDocumentLoad(QsciScintillaBase &editor, qint64 size, bool utf8)
    : m_size(size)
    , m_bUtf8(utf8)
    , m_reserve(MemoryReserve(AvailableMemory()))
{
    // Room for the breaks too: a document that outgrows its allocation is
    // copied into a larger one, twice its memory for a moment.
    const qint64 room = size + CRowCutter::MostCutsFor(size) + 1;
    m_loader = reinterpret_cast<ILoader *>(editor.SendScintilla(Sci::SCI_CREATELOADER, static_cast<unsigned long>(room),
                                                               long(Sci::SC_DOCUMENTOPTION_STYLES_NONE)));
}

CDocumentLoad::~CDocumentLoad()
{
    if (m_loader)
        m_loader->Release();
}

long CDocumentLoad::TakeDocument()
{
    void *document = m_loader ? m_loader->ConvertToDocument() : nullptr;
    m_loader = nullptr;
    return reinterpret_cast<long>(document);
}

bool CDocumentLoad::Read(const Reader &read, QString &problem)
{
    if (!m_loader) {
        problem = QStringLiteral("the field could not make room for it");
        return false;
    }
    // A piece follows what was left of the one before: the start of a row
    // that could not be cut without it.
    std::vector<char> buffer(std::size_t(kPiece + CRowCutter::kLongLine + 4));
    CRowCutter cutter(m_bUtf8);
    std::vector<qint64> cuts;
    qint64 carried = 0;
    qint64 done = 0;
    for (qint64 checked = 0;;) {
        const qint64 want = std::min(kPiece, m_size - done);
        for (qint64 got = 0; got < want;) {
            const qint64 more = read(buffer.data() + carried + got, want - got);
            if (more <= 0)
                return false;
            got += more;
        }
        done += want;
        const qint64 size = carried + want;
        cuts.clear();
        const qint64 settled = cutter.Cut(buffer.data(), size, done == m_size, cuts);
        if (!Add(buffer.data(), settled, cuts, problem))
            return false;
        if (done == m_size)
            return true;
        carried = size - settled;
        std::memmove(buffer.data(), buffer.data() + settled, std::size_t(carried));
        if (done - checked >= kMemoryCheckBytes) {
            checked = done;
            const qint64 available = AvailableMemory();
            if (available >= 0 && available < m_reserve) {
                problem = QStringLiteral("the memory ran out while reading it");
                return false;
            }
        }
    }
}

// Settled bytes, with a break at each cut.
bool CDocumentLoad::Add(const char *bytes, qint64 size, const std::vector<qint64> &cuts, QString &problem)
{
    if (cuts.empty())
        return Append(bytes, size, problem);
    m_withBreaks.resize(std::size_t(size) + cuts.size());
    char *out = m_withBreaks.data();
    qint64 from = 0;
    for (const qint64 cut : cuts) {
        out = std::copy(bytes + from, bytes + cut, out);
        m_breaks.push_back(qint32(m_length + (out - m_withBreaks.data())));
        *out++ = '\n';
        from = cut;
    }
    out = std::copy(bytes + from, bytes + size, out);
    return Append(m_withBreaks.data(), out - m_withBreaks.data(), problem);
}

bool CDocumentLoad::Append(const char *bytes, qint64 size, QString &problem)
{
    // The editor reports positions in an int.
    if (m_length + size > INT_MAX) {
        problem = QStringLiteral("cut into rows to show its long lines, it would pass the %1 bytes the field holds")
                      .arg(INT_MAX);
        return false;
    }
    if (size > 0 && m_loader->AddData(bytes, size) != 0) {
        problem = QStringLiteral("the memory ran out while reading it");
        return false;
    }
    m_length += size;
    return true;
}
