#pragma once
// Character tables in the layout of pcre_maketables(), built with the C
// library's classification functions under a chosen locale.

#include <cstdlib>
#include <memory>
#include <string>

struct PcreTablesFree { void operator()(unsigned char *block) const { std::free(block); } };
using PcreTablesPtr = std::unique_ptr<unsigned char, PcreTablesFree>;
// Tables in use: a compiled pattern points at the tables it was compiled
// with, so it holds a reference to them for as long as it lives.
using PcreTablesRef = std::shared_ptr<const unsigned char>;

// A new 1088-byte block built under the locale in force; null when the
// allocation fails.
PcreTablesPtr PcreMakeTables();

// A block built under the locale `name`, the process locale restored after;
// under the locale in force when `name` is not accepted.
PcreTablesPtr PcreMakeTablesFor(const char *name);

// Replaces the binding's current tables: null drops them (built-in tables);
// a name builds them under that locale, restoring the process locale after.
void PcreSetLocale(const char *name);

// Name of the user's locale as the environment gives it ("C.UTF-8",
// "de_DE.ISO-8859-1", ...); empty when it cannot be set.
std::string GetAnsiLocaleName();
