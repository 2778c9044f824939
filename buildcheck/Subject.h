#pragma once
// A subject line: leading and trailing white space removed, then backslash
// escapes decoded into bytes and into settings of the match call.

#include <string>
#include <string_view>

inline constexpr int DefaultOvectorSize = 45;

struct Subject
{
    std::string bytes;
    int execOptions = 0;
    int startOffset = 0;
    int ovectorSize = DefaultOvectorSize;
    long matchLimit = -1;               // \q; -1: the library's default
    long recursionLimit = -1;           // \Q
    std::string unsupported;            // why this line cannot be run
};

Subject DecodeSubject(std::string_view line);
