#include "NameTable.h"

#include "PcreBinding.h"

#include <cstring>

NameTable NameTable::Of(const pcre *code, const pcre_extra *extra)
{
    NameTable table;
    if (!code || !PcreIsLoaded())
        return table;
    PcreBinding.pcre_fullinfo(code, extra, PCRE_INFO_NAMECOUNT, &table.count);
    PcreBinding.pcre_fullinfo(code, extra, PCRE_INFO_NAMEENTRYSIZE, &table.entrySize);
    PcreBinding.pcre_fullinfo(code, extra, PCRE_INFO_NAMETABLE, &table.entries);
    return table;
}

int NameTable::NumberAt(int index) const
{
    const unsigned char *entry = entries + static_cast<size_t>(index) * entrySize;
    return (entry[0] << 8) | entry[1];
}

QByteArray NameTable::NameAt(int index) const
{
    const char *name = reinterpret_cast<const char *>(entries + static_cast<size_t>(index) * entrySize + 2);
    return QByteArray(name, static_cast<qsizetype>(strnlen(name, entrySize - 2)));
}

QByteArray NameTable::NameOf(int number) const
{
    if (!IsUsable())
        return {};
    for (int i = 0; i < count; ++i) {
        if (NumberAt(i) == number)
            return NameAt(i);
    }
    return {};
}
