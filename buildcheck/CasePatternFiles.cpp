// Compiled patterns saved (">file") and loaded back ("<file") as the test
// program writes and reads them: the sizes of the pattern and of its study
// data, big-endian, then the two blocks as they are in memory.

#include "CaseRun.h"

#include "SafeRead.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::uint32_t swapped(std::uint32_t value)
{
    return __builtin_bswap32(value);
}

std::uint16_t swapped(std::uint16_t value)
{
    return __builtin_bswap16(value);
}

// What the F modifier does to a pattern before it is saved: its header
// (and study data) in the other byte order. The blocks lie at any offset
// of the saved bytes, so they are copied out and back.
void flipHeader(char *bytes)
{
    PcreCodeHeader header;
    std::memcpy(&header, bytes, sizeof header);
    header.magic_number = swapped(header.magic_number);
    for (std::uint32_t *field : {&header.size, &header.options, &header.flags, &header.limit_match,
                                 &header.limit_recursion})
        *field = swapped(*field);
    for (std::uint16_t *field : {&header.first_char, &header.req_char, &header.max_lookbehind,
                                 &header.top_bracket, &header.top_backref, &header.name_table_offset,
                                 &header.name_entry_size, &header.name_count, &header.ref_count})
        *field = swapped(*field);
    std::memcpy(bytes, &header, sizeof header);
}

void flipStudyData(char *bytes)
{
    PcreStudyData study;
    std::memcpy(&study, bytes, sizeof study);
    study.size = swapped(study.size);
    study.flags = swapped(study.flags);
    study.minlength = swapped(study.minlength);
    std::memcpy(bytes, &study, sizeof study);
}

void putBigEndian(std::string &bytes, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += static_cast<char>((value >> shift) & 0xff);
}

std::uint32_t bigEndian(const unsigned char *bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

} // namespace

// The file is kept in memory, for the cases after this one: the test
// program's folder would be the user's.
void CaseRun::savePattern()
{
    const std::string &name = m_modifiers.saveTo;
    std::string bytes;
    putBigEndian(bytes, m_size);
    putBigEndian(bytes, m_studySize);
    const std::size_t codeStart = bytes.size();
    bytes.resize(codeStart + m_size + (m_extra ? m_studySize : 0));
    SafeRead(m_code, bytes.data() + codeStart, m_size);
    char *study = bytes.data() + codeStart + m_size;
    if (m_extra && m_extra->study_data)
        SafeRead(m_extra->study_data, study, m_studySize);
    if (m_modifiers.flip && m_size >= sizeof(PcreCodeHeader)) {
        flipHeader(bytes.data() + codeStart);
        if (m_extra && (m_extra->flags & PCRE_EXTRA_STUDY_DATA) && m_studySize >= sizeof(PcreStudyData))
            flipStudyData(study);
    }
    m_state.savedPatterns[name] = std::move(bytes);
    m_out.format("Compiled pattern written to %s\n", name.c_str());
    if (m_extra)
        m_out.format("Study data written to %s\n", name.c_str());
}

// A pattern an earlier case saved, or one of the saved patterns of the
// test data, which RunTest copies in as testsaved16 and testsaved32.
bool CaseRun::savedPattern(const std::string &name, std::string &bytes)
{
    if (const auto saved = m_state.savedPatterns.find(name); saved != m_state.savedPatterns.end()) {
        bytes = saved->second;
        return true;
    }
    const bool copied = name == "testsaved16" || name == "testsaved32";
    const FileText file = copied ? ReadTestFile(m_env.testdata + "/" + name.substr(4)) : FileText{{}, std::strerror(ENOENT)};
    if (!file.error.empty()) {
        m_out.format("Failed to open %s: %s\n", name.c_str(), file.error.c_str());
        return false;
    }
    bytes = file.text;
    return true;
}

void CaseRun::runLoaded()
{
    std::string_view name = m_case.patternLines.front();
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front())))
        name.remove_prefix(1);
    name.remove_prefix(1);    // '<'
    const bool showAll = name.starts_with('!');
    if (showAll)
        name.remove_prefix(1);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
        name.remove_suffix(1);
    if (!loadPattern(std::string(name))) {
        echo(m_case.trailer);
        return;
    }
    // A pattern saved in another mode is refused before any dump.
    if (showAll && info<PCRE_INFO_OPTIONS>())
        return skip(kCompiledCodeDump);
    runSubjects();
}

bool CaseRun::loadPattern(const std::string &name)
{
    std::string bytes;
    if (!savedPattern(name, bytes))
        return false;
    std::size_t used = 0;
    const auto take = [&](void *into, std::size_t length) {
        if (bytes.size() - used < length)
            return false;
        std::memcpy(into, bytes.data() + used, length);
        used += length;
        return true;
    };
    const auto readFailed = [&] {
        m_out.format("Failed to read data from %s\n", name.c_str());
        return false;
    };
    unsigned char sizes[8];
    if (!take(sizes, sizeof sizes))
        return readFailed();
    const std::uint32_t size = bigEndian(sizes);
    const std::uint32_t studySize = bigEndian(sizes + 4);
    if (size < sizeof(PcreCodeHeader) || size > bytes.size())
        return readFailed();
    m_code = static_cast<pcre *>(std::malloc(size));
    m_codeLoaded = true;
    take(m_code, size);
    const auto codeHeader = header();
    if (!codeHeader) {
        m_out.format("Data in %s is not a compiled PCRE regex\n", name.c_str());
        return false;
    }
    const bool flipped = codeHeader->magic_number != PCRE_MAGIC_NUMBER;
    const bool showFlip = flipped && m_case.patternLines.front().find("<!") == std::string::npos;
    m_out.format("Compiled pattern%s loaded from %s\n", showFlip ? " (byte-inverted)" : "", name.c_str());
    if (studySize) {
        if (studySize > bytes.size() - used)
            return readFailed();
        m_extra = static_cast<PcreExtraBlock *>(std::calloc(1, sizeof(PcreExtraBlock) + studySize));
        m_extraOrigin = ExtraOrigin::Loaded;
        m_extra->flags = PCRE_EXTRA_STUDY_DATA;
        m_extra->study_data = m_extra + 1;
        take(m_extra->study_data, studySize);
        m_out.format("Study data loaded from %s\n", name.c_str());
        m_study = true;
    } else {
        m_out.put("No study data\n");
    }
    if (flipped && !reportLoadMode())
        return false;
    const auto options = info<PCRE_INFO_OPTIONS>();
    if (!options)
        return false;
    m_options = *options;
    m_out.utf = (m_options & PCRE_UTF8) != 0;
    return true;
}

// Turns a pattern saved in the other byte order round; false (after the
// test program's message) when it was compiled for another width.
bool CaseRun::reportLoadMode()
{
    if (!available(m_optional.pcre_pattern_to_host_byte_order, "a byte-inverted saved pattern",
                   "pcre_pattern_to_host_byte_order is"))
        return false;
    const int result = m_clock.measure([&] {
        return m_optional.pcre_pattern_to_host_byte_order(m_code, reinterpret_cast<pcre_extra *>(m_extra), nullptr);
    });
    if (result != PCRE_ERROR_BADMODE)
        return true;
    const auto codeHeader = header();
    std::uint32_t flags = codeHeader ? codeHeader->flags : 0;
    if (codeHeader && codeHeader->magic_number != PCRE_MAGIC_NUMBER)
        flags = swapped(flags);
    m_out.format("Error %d from pcre_fullinfo(%d)\n", result, PCRE_INFO_OPTIONS);
    m_out.format("Running in 8-bit mode but pattern was compiled in %d-bit mode\n",
                 8 * int(flags & PCRE_HEADER_MODE_MASK));
    return false;
}

