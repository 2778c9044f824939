// Compiled patterns saved to a file (">file") and loaded back ("<file"), as
// the test program writes and reads them: the sizes of the pattern and of
// its study data, big-endian, then the two blocks as they are in memory.

#include "CaseRun.h"

#include "SafeRead.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

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
// (and study data) in the other byte order.
void flipHeader(PcreCodeHeader &header)
{
    header.magic_number = swapped(header.magic_number);
    for (std::uint32_t *field : {&header.size, &header.options, &header.flags, &header.limit_match,
                                 &header.limit_recursion})
        *field = swapped(*field);
    for (std::uint16_t *field : {&header.first_char, &header.req_char, &header.max_lookbehind,
                                 &header.top_bracket, &header.top_backref, &header.name_table_offset,
                                 &header.name_entry_size, &header.name_count, &header.ref_count})
        *field = swapped(*field);
}

void flipStudyData(PcreStudyData &study)
{
    study.size = swapped(study.size);
    study.flags = swapped(study.flags);
    study.minlength = swapped(study.minlength);
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

void CaseRun::savePattern()
{
    const std::string &name = m_modifiers.saveTo;
    if (name.find('/') != std::string::npos) {
        m_out.format("Unable to open %s: %s\n", name.c_str(), "only plain names are kept, in the run's folder");
        return;
    }
    std::string bytes;
    putBigEndian(bytes, m_size);
    putBigEndian(bytes, m_studySize);
    const std::size_t codeStart = bytes.size();
    bytes.resize(codeStart + m_size);
    SafeRead(m_code, bytes.data() + codeStart, m_size);
    std::string study(m_studySize, '\0');
    if (m_extra && m_extra->study_data)
        SafeRead(m_extra->study_data, study.data(), study.size());
    if (m_modifiers.flip && m_size >= sizeof(PcreCodeHeader)) {
        auto *codeHeader = reinterpret_cast<PcreCodeHeader *>(bytes.data() + codeStart);
        flipHeader(*codeHeader);
        if (m_extra && (m_extra->flags & PCRE_EXTRA_STUDY_DATA) && study.size() >= sizeof(PcreStudyData))
            flipStudyData(*reinterpret_cast<PcreStudyData *>(study.data()));
    }
    const std::string path = m_env.savedPatternDir + "/" + name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        m_out.format("Unable to open %s: %s\n", name.c_str(), std::strerror(errno));
        return;
    }
    if (!file.write(bytes.data(), std::streamsize(bytes.size())).flush()) {
        m_out.format("Write error on %s: %s\n", name.c_str(), std::strerror(errno));
        return;
    }
    m_out.format("Compiled pattern written to %s\n", name.c_str());
    if (m_extra) {
        file.write(study.data(), std::streamsize(study.size())).flush();
        if (!file)
            m_out.format("Write error on %s: %s\n", name.c_str(), std::strerror(errno));
        else
            m_out.format("Study data written to %s\n", name.c_str());
    }
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
    if (!loadPattern(name)) {
        echo(m_case.trailer);
        return;
    }
    if (showAll)
        return skip(kCompiledCodeDump);
    runSubjects();
}

bool CaseRun::loadPattern(std::string_view fileName)
{
    const std::string name(fileName);
    std::ifstream file(m_env.savedPatternDir + "/" + name, std::ios::binary);
    if (name.find('/') != std::string::npos || !file) {
        m_out.format("Failed to open %s: %s\n", name.c_str(),
                     name.find('/') != std::string::npos ? "only plain names are kept, in the run's folder"
                                                          : std::strerror(errno));
        return false;
    }
    unsigned char sizes[8];
    const auto readFailed = [&] {
        m_out.format("Failed to read data from %s\n", name.c_str());
        return false;
    };
    if (!file.read(reinterpret_cast<char *>(sizes), 8))
        return readFailed();
    const std::uint32_t size = bigEndian(sizes);
    const std::uint32_t studySize = bigEndian(sizes + 4);
    if (size < sizeof(PcreCodeHeader) || size > kMaxTestFileSize || studySize > kMaxTestFileSize)
        return readFailed();
    m_code = static_cast<pcre *>(std::malloc(size));
    m_codeLoaded = true;
    if (!file.read(reinterpret_cast<char *>(m_code), size))
        return readFailed();
    const auto codeHeader = header();
    if (!codeHeader) {
        m_out.format("Data in %s is not a compiled PCRE regex\n", name.c_str());
        return false;
    }
    const bool flipped = codeHeader->magic_number != PCRE_MAGIC_NUMBER;
    const bool showFlip = flipped && m_case.patternLines.front().find("<!") == std::string::npos;
    m_out.format("Compiled pattern%s loaded from %s\n", showFlip ? " (byte-inverted)" : "", name.c_str());
    if (studySize) {
        m_extra = static_cast<PcreExtraBlock *>(std::calloc(1, sizeof(PcreExtraBlock) + studySize));
        m_extraOrigin = ExtraOrigin::Loaded;
        m_extra->flags = PCRE_EXTRA_STUDY_DATA;
        m_extra->study_data = m_extra + 1;
        if (!file.read(static_cast<char *>(m_extra->study_data), studySize))
            return readFailed();
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

