#pragma once
// Texts for what the engine reports, for the status line.

#include "PcreSearch.h"

#include <QString>

// "Not match." for PCRE_ERROR_NOMATCH; otherwise the engine's error named
// with its number, so "no match" and "the engine gave up" read differently.
QString ExecResultMessage(int result);

// What the status line shows while no library is loaded.
QString NoLibraryMessage();

// The compile error text with the byte offset it was found at.
// An offset of -1 marks a failure of the library rather than of the pattern.
QString CompileErrorMessage(const std::string &errorText, int errorOffset);

// Why a search gave no engine result: stopped, the engine crashed, or its
// answers could not be.
QString SearchFailureMessage(const PcreSearch::Answer &answer);

// "Engine error: the library reported impossible <what>."
QString ImpossibleAnswerMessage(const QString &what);

// A table of names that cannot be read, and what the user sees instead.
QString NameTableMessage(const std::string &problem);
