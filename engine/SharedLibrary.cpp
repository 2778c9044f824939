#include "SharedLibrary.h"

#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
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

struct FdCloser
{
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Library files are read whole into memory: nothing near this size is a
// PCRE library.
constexpr off_t kMaxLibraryFileSize = off_t(256) << 20;

// An in-memory copy of the regular file at `path`, as an anonymous file
// descriptor, or -1. Loading from the copy means the loaded code cannot
// change under the program when the file on disk is overwritten in place
// (as `cp` does), which would otherwise crash it at the next call.
int SnapshotOf(const std::string &path)
{
    FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat status {};
    if (file.fd < 0 || fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)
        || status.st_size > kMaxLibraryFileSize)
        return -1;
    FdCloser copy{memfd_create("pcre-library", MFD_CLOEXEC)};
    if (copy.fd < 0)
        return -1;
    char buffer[1 << 16];
    ssize_t got = 0;
    while ((got = ::read(file.fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(copy.fd, buffer + done, size_t(got - done));
            if (put <= 0)
                return -1;
            done += put;
        }
    }
    if (got < 0)
        return -1;
    const int fd = copy.fd;
    copy.fd = -1;
    return fd;
}

// dlopen() of a file named by path, from a private copy of its bytes. A
// library that finds its dependencies relative to its own folder ($ORIGIN)
// cannot load from the copy: it is then loaded from the file itself.
void *OpenSnapshot(const std::string &path)
{
    const int snapshot = SnapshotOf(path);
    if (snapshot < 0)
        return nullptr;
    const std::string snapshotPath = "/proc/self/fd/" + std::to_string(snapshot);
    void *handle = truncatedElfFile(snapshotPath) ? nullptr
                                                  : dlopen(snapshotPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    ::close(snapshot);   // the mapping stays; the loader matches the name it recorded
    if (!handle && !truncatedElfFile(path))
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle;
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
    if (path.empty())
        return library;
    // A bare name is found through the loader's search path, among the
    // system's libraries; a file named by path is loaded from a snapshot.
    const bool byPath = path.find('/') != std::string::npos;
    void *handle = byPath ? OpenSnapshot(path) : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return library;
    library.m_handle.reset(handle);
    if (byPath) {
        char *resolved = realpath(path.c_str(), nullptr);
        library.m_path = resolved ? resolved : path;
        std::free(resolved);
    } else {
        library.m_path = resolvePath(linkMapOf(handle));
    }
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
