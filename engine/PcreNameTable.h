#pragma once
// The engine's table of named subpatterns: entries of a fixed size, each the
// subpattern number (two bytes, most significant first) followed by the
// NUL-terminated name. It lives inside the compiled pattern, so what the
// library says of it is checked against the pattern's own size, and the
// table is copied with reads that cannot fault: a library may lie about the
// size too.

#include "PcreLibrary.h"

#include <string>

class PcreNameTable
{
public:
    PcreNameTable() = default;

    // The table of `code`. Empty, with Problem() saying why, when the
    // library's answers do not describe a table inside the pattern.
    static PcreNameTable Of(const PcreLibrary &library, const pcre *code, const pcre_extra *extra);

    int Count() const { return m_count; }
    int EntrySize() const { return m_entrySize; }
    int NumberAt(int index) const;
    std::string NameAt(int index) const;
    // The name of subpattern `number`, or empty when it has none.
    std::string NameOf(int number) const;

    const std::string &Problem() const { return m_problem; }

    // Longest entry: two bytes of number, a name of at most 32 characters
    // and its NUL.
    static constexpr int kMaxEntrySize = 2 + 32 + 1;

private:
    const unsigned char *Entry(int index) const
    {
        return reinterpret_cast<const unsigned char *>(m_entries.data()) + std::size_t(index) * m_entrySize;
    }

    int m_count = 0;
    int m_entrySize = 0;
    std::string m_entries;          // a copy of the table
    std::string m_problem;
};
