#pragma once
// Reading the engine's table of named subpatterns: entries of a fixed size,
// each the subpattern number (two bytes, most significant first) followed
// by the NUL-terminated name.

#include "PcreApi.h"

#include <QByteArray>

struct NameTable
{
    int count = 0;
    int entrySize = 0;
    const unsigned char *entries = nullptr;

    // Asks the engine for the table of `code`; empty for a null pattern.
    static NameTable Of(const pcre *code, const pcre_extra *extra);

    bool IsUsable() const { return entries != nullptr && count > 0 && entrySize > 2; }
    int NumberAt(int index) const;
    QByteArray NameAt(int index) const;
    // The name of subpattern `number`, or an empty array when it has none.
    QByteArray NameOf(int number) const;
};
