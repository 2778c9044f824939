#include "TextOut.h"

#include "Subject.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

void TextOut::format(const char *pattern, ...)
{
    char buffer[512];
    va_list arguments;
    va_start(arguments, pattern);
    const int length = std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
    va_end(arguments);
    if (length < 0)
        return;
    if (std::size_t(length) < sizeof buffer) {
        text.append(buffer, std::size_t(length));
        return;
    }
    std::string large(std::size_t(length) + 1, '\0');
    va_start(arguments, pattern);
    std::vsnprintf(large.data(), large.size(), pattern, arguments);
    va_end(arguments);
    text.append(large.data(), std::size_t(length));
}

bool TextOut::printable(unsigned c) const
{
    if (localePrinting)
        return c < 256 && std::isprint(int(c));
    return c >= 32 && c < 127;
}

int TextOut::character(unsigned c, bool write)
{
    if (printable(c)) {
        if (write)
            text += static_cast<char>(c);
        return 1;
    }
    if (c < 0x100) {
        if (write)
            format(utf ? "\\x{%02x}" : "\\x%02x", c);
        return utf ? 6 : 4;
    }
    // Counting only, the test program counts nothing for these.
    if (!write)
        return 0;
    const std::size_t before = text.size();
    format("\\x{%02x}", c);
    return int(text.size() - before);
}

int TextOut::characters(const unsigned char *bytes, int length, bool write)
{
    if (length < 0)
        length = int(std::strlen(reinterpret_cast<const char *>(bytes)));
    int columns = 0;
    while (length-- > 0) {
        unsigned c = 0;
        const int used = utf ? DecodeUtf8({reinterpret_cast<const char *>(bytes), std::size_t(length) + 1}, c) : 0;
        if (used > 0) {
            length -= used - 1;
            bytes += used;
        } else {
            c = *bytes++;
        }
        columns += character(c, write);
    }
    return columns;
}

