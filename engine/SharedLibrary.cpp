#include "SharedLibrary.h"

#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct link_map *linkMapOf(void *handle)
{
    struct link_map *map = nullptr;
    if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0)
        return nullptr;
    return map;
}

// The link map records the name the loader used: the full path found by the
// search for a bare name, or the name as given when it held a slash (which
// may be relative, "./x.so"). realpath() makes either absolute and canonical.
std::string resolvePath(const struct link_map *map)
{
    if (!map || !map->l_name || !*map->l_name)
        return {};
    if (char *resolved = realpath(map->l_name, nullptr)) {
        std::string path(resolved);
        std::free(resolved);
        return path;
    }
    return map->l_name;
}

bool readAt(int fd, void *buffer, std::size_t length, off_t offset)
{
    return pread(fd, buffer, length, offset) == static_cast<ssize_t>(length);
}

// glibc's loader maps the segments a file's program headers describe without
// checking them against the file's size, and then dies of SIGBUS when it
// touches a page past the end of the file. A copy cut short would so take the
// whole program down instead of failing to load. For a file named by path,
// check first that every part the loader reads lies inside the file; anything
// that is not a 64-bit ELF file is left to dlopen(), which refuses it cleanly.
bool truncatedElfFile(const std::string &path)
{
    if (path.find('/') == std::string::npos)
        return false;   // found through the search path: the loader's business
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool truncated = false;
    struct stat status {};
    Elf64_Ehdr header{};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)
        && readAt(fd, &header, sizeof header, 0)
        && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0
        && header.e_ident[EI_CLASS] == ELFCLASS64) {
        const auto size = static_cast<std::uint64_t>(status.st_size);
        const std::uint64_t tableEnd =
            header.e_phoff + std::uint64_t(header.e_phnum) * header.e_phentsize;
        if (header.e_phentsize != sizeof(Elf64_Phdr) || tableEnd > size) {
            truncated = true;
        } else {
            for (int i = 0; i < header.e_phnum && !truncated; ++i) {
                Elf64_Phdr segment{};
                if (!readAt(fd, &segment, sizeof segment, off_t(header.e_phoff + i * sizeof segment))) {
                    truncated = true;
                    break;
                }
                if ((segment.p_type == PT_LOAD || segment.p_type == PT_DYNAMIC)
                    && segment.p_filesz > 0
                    && (segment.p_offset > size || segment.p_filesz > size - segment.p_offset))
                    truncated = true;
            }
        }
    }
    ::close(fd);
    return truncated;
}

} // namespace

void SharedLibrary::Closer::operator()(void *handle) const
{
    if (handle)
        dlclose(handle);
}

SharedLibrary SharedLibrary::open(const std::string &path)
{
    SharedLibrary library;
    if (path.empty() || truncatedElfFile(path))
        return library;
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return library;
    library.m_handle.reset(handle);
    library.m_path = resolvePath(linkMapOf(handle));
    return library;
}

SharedLibrary SharedLibrary::retain() const
{
    SharedLibrary reference;
    const struct link_map *map = linkMapOf(m_handle.get());
    if (!map || !map->l_name)
        return reference;
    // The loader counts opens of one object: a second open by the name it
    // recorded, without loading anything new, keeps the object mapped until
    // this reference is closed too.
    reference.m_handle.reset(dlopen(map->l_name, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD));
    if (reference.m_handle)
        reference.m_path = m_path;
    return reference;
}

void *SharedLibrary::ownSymbol(const char *name) const
{
    if (!m_handle || !name)
        return nullptr;
    void *address = dlsym(m_handle.get(), name);
    if (!address)
        return nullptr;
    // dlsym() searches the library's dependencies too: the definition must lie
    // in this very object.
    struct link_map *own = linkMapOf(m_handle.get());
    if (!own)
        return nullptr;
    Dl_info info{};
    struct link_map *holder = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void **>(&holder), RTLD_DL_LINKMAP) == 0
        || holder != own)
        return nullptr;
    return address;
}

std::string SharedLibrary::canonicalPath() const
{
    if (!m_handle)
        return {};
    return m_path;
}
