#include "PcreNameTable.h"

#include "SafeRead.h"

#include <cstdint>
#include <cstring>

namespace {

std::string Describe(const char *what, long long value)
{
    return std::string(what) + " " + std::to_string(value);
}

} // namespace

PcreNameTable PcreNameTable::Of(const PcreLibrary &library, const pcre *code, const pcre_extra *extra)
{
    PcreNameTable table;
    const auto count = library.FullInfo<PCRE_INFO_NAMECOUNT>(code, extra);
    const auto entrySize = library.FullInfo<PCRE_INFO_NAMEENTRYSIZE>(code, extra);
    const auto entries = library.FullInfo<PCRE_INFO_NAMETABLE>(code, extra);
    const auto size = library.FullInfo<PCRE_INFO_SIZE>(code, extra);
    if (!count || !entrySize || !entries || !size) {
        table.m_problem = "the engine does not describe the table of names";
        return table;
    }
    if (*count == 0)
        return table;
    // A name has at least one character and its NUL after the number.
    if (*count < 0 || *count > PCRE_MAX_CAPTURES)
        table.m_problem = Describe("impossible number of names:", *count);
    else if (*entrySize < 4 || *entrySize > kMaxEntrySize)
        table.m_problem = Describe("impossible size of a name entry:", *entrySize);

    // The table lies inside the compiled pattern, whose size the engine
    // reports: every entry must too.
    const auto begin = reinterpret_cast<std::uintptr_t>(code);
    const auto first = reinterpret_cast<std::uintptr_t>(*entries);
    const std::uint64_t length = std::uint64_t(*count) * std::uint64_t(*entrySize);
    if (table.m_problem.empty() && (first < begin || first - begin > *size || length > *size - (first - begin)))
        table.m_problem = "the table of names lies outside the compiled pattern";
    if (!table.m_problem.empty())
        return table;
    table.m_entries.resize(std::size_t(length));
    if (SafeRead(*entries, table.m_entries.data(), table.m_entries.size()) != table.m_entries.size()) {
        table.m_problem = "the table of names lies in memory that cannot be read";
        table.m_entries.clear();
        return table;
    }
    table.m_count = *count;
    table.m_entrySize = *entrySize;
    return table;
}

int PcreNameTable::NumberAt(int index) const
{
    const unsigned char *entry = Entry(index);
    return (entry[0] << 8) | entry[1];
}

std::string PcreNameTable::NameAt(int index) const
{
    const char *name = reinterpret_cast<const char *>(Entry(index) + 2);
    return std::string(name, strnlen(name, std::size_t(m_entrySize) - 2));
}

std::string PcreNameTable::NameOf(int number) const
{
    for (int i = 0; i < m_count; ++i) {
        if (NumberAt(i) == number)
            return NameAt(i);
    }
    return {};
}
