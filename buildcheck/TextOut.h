#pragma once
// Text as PCRE's test program writes it: printable characters as they are,
// others as hex escapes; in UTF mode whole UTF-8 characters.

#include <string>
#include <string_view>

class TextOut
{
public:
    std::string text;
    bool utf = false;               // the pattern is in UTF-8 mode
    bool localePrinting = false;    // a locale was set: its isprint() decides

    void put(std::string_view part) { text += part; }
    void format(const char *pattern, ...) __attribute__((format(printf, 2, 3)));

    // A case writes far less; a library stuck in a loop of matches or
    // callouts would write without end.
    static constexpr std::size_t kMaxText = std::size_t(16) << 20;
    bool full() const { return text.size() > kMaxText; }

    bool printable(unsigned c) const;
    // Both return the number of columns written; with `write` false they
    // only count.
    int character(unsigned c, bool write = true);
    int characters(const unsigned char *bytes, int length, bool write = true);
    int characters(std::string_view bytes, bool write = true)
    {
        return characters(reinterpret_cast<const unsigned char *>(bytes.data()), int(bytes.size()), write);
    }
};

