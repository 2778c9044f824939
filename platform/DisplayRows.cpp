#include "DisplayRows.h"

#include <algorithm>

qint64 CDisplayRows::OffsetAt(qint64 position) const
{
    const auto before = std::lower_bound(m_breaks.begin(), m_breaks.end(), position) - m_breaks.begin();
    return position - before;
}

// Break i stands just before the byte at offset m_breaks[i] - i.
qint64 CDisplayRows::PositionAt(qint64 offset, bool atRowEnd) const
{
    std::size_t low = 0;
    std::size_t high = m_breaks.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const qint64 before = m_breaks[middle] - qint64(middle);
        if (before < offset || (before == offset && !atRowEnd))
            low = middle + 1;
        else
            high = middle;
    }
    return offset + qint64(low);
}

bool CDisplayRows::IsBreakAt(qint64 position) const
{
    return std::binary_search(m_breaks.begin(), m_breaks.end(), position);
}

std::pair<std::size_t, std::size_t> CDisplayRows::BreaksIn(qint64 start, qint64 end) const
{
    const auto first = std::lower_bound(m_breaks.begin(), m_breaks.end(), start);
    const auto last = std::lower_bound(first, m_breaks.end(), end);
    return {std::size_t(first - m_breaks.begin()), std::size_t(last - m_breaks.begin())};
}

// Text inserted where a break is goes before it, at the end of its row.
void CDisplayRows::NoteInsert(qint64 position, qint64 length)
{
    for (auto at = std::lower_bound(m_breaks.begin(), m_breaks.end(), position); at != m_breaks.end(); ++at)
        *at += qint32(length);
}

qint64 CDisplayRows::NoteDelete(qint64 position, qint64 length)
{
    const auto [first, last] = BreaksIn(position, position + length);
    m_breaks.erase(m_breaks.begin() + std::ptrdiff_t(first), m_breaks.begin() + std::ptrdiff_t(last));
    for (auto at = m_breaks.begin() + std::ptrdiff_t(first); at != m_breaks.end(); ++at)
        *at -= qint32(length);
    return qint64(last - first);
}

void CDisplayRows::NoteBreaksAdded(const std::vector<qint64> &before)
{
    Breaks merged;
    merged.reserve(m_breaks.size() + before.size());
    std::size_t added = 0;
    for (const qint32 old : m_breaks) {
        for (; added < before.size() && before[added] <= old; ++added)
            merged.push_back(qint32(before[added] + qint64(added)));
        merged.push_back(qint32(old + qint64(added)));
    }
    for (; added < before.size(); ++added)
        merged.push_back(qint32(before[added] + qint64(added)));
    m_breaks = std::move(merged);
}
