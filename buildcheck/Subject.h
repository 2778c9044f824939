#pragma once
// A subject line: leading and trailing white space removed, then backslash
// escapes decoded into bytes and into settings of the match call, as PCRE's
// test program decodes them.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kDefaultOvectorSize = 45;

struct Subject
{
    std::string bytes;
    int execOptions = 0;
    int startOffset = 0;
    int ovectorSize = -1;               // \O; -1: the one in use
    long matchLimit = -1;               // \q; -1: not set
    long recursionLimit = -1;           // \Q
    int jitStackKilobytes = -1;         // \J
    bool dfa = false;                   // \D
    bool findLimits = false;            // \M
    bool substringList = false;         // \L
    bool showMemory = false;            // \S
    unsigned copyNumbers = 0;           // \C<n>: bit n
    unsigned getNumbers = 0;            // \G<n>
    std::vector<std::string> copyNames; // \C<name>
    std::vector<std::string> getNames;  // \G<name>
    bool calloutExtra = false;          // \C+
    bool calloutNone = false;           // \C-
    int calloutFailId = -1;             // \C!n
    int calloutFailCount = 999999;      // \C!n!m
    bool calloutDataSet = false;        // \C*n
    int calloutData = 0;

    std::string notes;        // what the test program writes while reading the line
    bool abandoned = false;   // the line is not matched (its notes say why)
    std::string outOfRange;   // a number too large to run with: why
};

// `knownName` says whether the pattern has a subpattern of that name; a name
// it lacks is noted as the test program notes it.
Subject DecodeSubject(std::string_view line, bool utf, const std::function<bool(const std::string &)> &knownName);

// UTF-8 as the test program reads and writes it: up to six bytes, values up
// to 0x7fffffff. DecodeUtf8 returns the bytes used (1 to 6), or 0 or less
// for a malformed sequence.
int DecodeUtf8(std::string_view bytes, unsigned &value);
std::string EncodeUtf8(unsigned value);
