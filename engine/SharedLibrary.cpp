#include "SharedLibrary.h"

#include <cstdlib>
#include <cstdint>
#include <cerrno>
#include <cstring>
#include <string>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

std::string SystemReason(int error)
{
    return std::strerror(error);
}

// An in-memory copy of the regular file at `path`, as an anonymous file
// descriptor, or -1 with `reason` set. Loading from the copy means the loaded
// code cannot change under the program when the file on disk is overwritten
// in place (as `cp` does), which would otherwise crash it at the next call.
int SnapshotOf(const std::string &path, std::string &reason)
{
    FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat status {};
    if (file.fd < 0 || fstat(file.fd, &status) != 0) {
        reason = SystemReason(errno);
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = "not a regular file";
        return -1;
    }
    if (status.st_size > kMaxLibraryFileSize) {
        reason = "larger than any PCRE library (over 256 MB)";
        return -1;
    }
    FdCloser copy{memfd_create("pcre-library", MFD_CLOEXEC)};
    if (copy.fd < 0) {
        reason = SystemReason(errno);
        return -1;
    }
    char buffer[1 << 16];
    ssize_t got = 0;
    while ((got = ::read(file.fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(copy.fd, buffer + done, size_t(got - done));
            if (put <= 0) {
                reason = SystemReason(errno);
                return -1;
            }
            done += put;
        }
    }
    if (got < 0) {
        reason = SystemReason(errno);
        return -1;
    }
    const int fd = copy.fd;
    copy.fd = -1;
    return fd;
}

std::string DescriptorPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

bool LoaderHolds(const std::string &name)
{
    void *handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

// The loader knows an object by the name it was opened under and hands the
// same object back for that name. A snapshot is named by its descriptor, so
// a descriptor number must never name two snapshots: while the loader still
// holds an object under a number (a library linked with -z nodelete stays
// for good), the descriptor is kept open, never to be reused.
struct Parked
{
    std::mutex mutex;
    std::vector<int> fds;
};

Parked &ParkedSnapshots()
{
    static Parked *parked = new Parked;   // kept to the end, as the objects are
    return *parked;
}

void KeepNumberTaken(int fd)
{
    Parked &parked = ParkedSnapshots();
    std::lock_guard lock(parked.mutex);
    parked.fds.push_back(fd);
}

bool SameBytes(int a, int b)
{
    struct stat first {};
    struct stat second {};
    if (fstat(a, &first) != 0 || fstat(b, &second) != 0 || first.st_size != second.st_size)
        return false;
    char left[1 << 15];
    char right[sizeof left];
    for (off_t at = 0; at < first.st_size; at += off_t(sizeof left)) {
        const ssize_t got = pread(a, left, sizeof left, at);
        if (got <= 0 || pread(b, right, size_t(got), at) != got || std::memcmp(left, right, size_t(got)) != 0)
            return false;
    }
    return true;
}

// A snapshot the loader still holds with the same bytes as `fd`: loading
// that one again gives the same library without one more copy kept for
// good (a library that is never unloaded, reloaded a thousand times).
int ParkedTwinOf(int fd)
{
    Parked &parked = ParkedSnapshots();
    std::lock_guard lock(parked.mutex);
    for (int candidate : parked.fds) {
        if (SameBytes(candidate, fd))
            return candidate;
    }
    return -1;
}

int FreshlyNamed(int fd)
{
    while (fd >= 0 && LoaderHolds(DescriptorPath(fd))) {
        const int other = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        KeepNumberTaken(fd);
        fd = other;
    }
    return fd;
}

// The loader's message names the descriptor it was given; the user gave a
// path.
std::string LoaderReason(const std::string &loaderName, const std::string &path)
{
    const char *error = dlerror();
    std::string reason = error ? error : "the loader gave no reason";
    if (const std::size_t at = reason.find(loaderName); at != std::string::npos)
        reason.replace(at, loaderName.size(), path);
    const std::string prefix = path + ": ";
    if (reason.starts_with(prefix))
        reason.erase(0, prefix.size());
    return reason;
}

constexpr const char kTruncatedReason[] = "the file is cut short: parts the loader maps lie past its end";

} // namespace

SharedLibrary::SharedLibrary(SharedLibrary &&other) noexcept
{
    *this = std::move(other);
}

SharedLibrary &SharedLibrary::operator=(SharedLibrary &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_path = std::move(other.m_path);
        m_loaderName = std::move(other.m_loaderName);
        m_snapshot = std::exchange(other.m_snapshot, -1);
        other.m_path.clear();
        other.m_loaderName.clear();
    }
    return *this;
}

void SharedLibrary::close()
{
    if (m_handle)
        dlclose(m_handle);
    m_handle = nullptr;
    if (m_snapshot >= 0) {
        if (LoaderHolds(m_loaderName))
            KeepNumberTaken(m_snapshot);
        else
            ::close(m_snapshot);
    }
    m_snapshot = -1;
    m_path.clear();
    m_loaderName.clear();
}

SharedLibrary SharedLibrary::open(const std::string &path, std::string *reason)
{
    SharedLibrary library;
    std::string why;
    auto fail = [&](std::string text) {
        if (reason)
            *reason = std::move(text);
        return SharedLibrary();
    };
    if (path.empty())
        return fail("no file name");

    // A bare name is found through the loader's search path, among the
    // system's libraries; a file named by path is loaded from a snapshot.
    // A library that finds its dependencies relative to its own folder
    // ($ORIGIN) cannot load from the snapshot: it is then loaded from the
    // file itself.
    if (path.find('/') == std::string::npos) {
        library.m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library.m_handle)
            return fail(LoaderReason(path, path));
        library.m_path = resolvePath(linkMapOf(library.m_handle));
        library.m_loaderName = path;
        return library;
    }

    int snapshot = FreshlyNamed(SnapshotOf(path, why));
    if (snapshot < 0)
        return fail(why);
    bool ownSnapshot = true;
    if (const int twin = ParkedTwinOf(snapshot); twin >= 0) {
        ::close(snapshot);
        snapshot = twin;
        ownSnapshot = false;
    }
    const std::string snapshotName = DescriptorPath(snapshot);
    auto dropSnapshot = [&] {
        if (ownSnapshot)
            ::close(snapshot);
    };
    if (truncatedElfFile(snapshotName)) {
        dropSnapshot();
        return fail(kTruncatedReason);
    }
    library.m_handle = dlopen(snapshotName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library.m_handle) {
        library.m_snapshot = ownSnapshot ? snapshot : -1;
        library.m_loaderName = snapshotName;
    } else {
        why = LoaderReason(snapshotName, path);
        dropSnapshot();
        library.m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library.m_handle)
            return fail(why);
        library.m_loaderName = path;
    }
    char *resolved = realpath(path.c_str(), nullptr);
    library.m_path = resolved ? resolved : path;
    std::free(resolved);
    return library;
}

void *SharedLibrary::ownSymbol(const char *name, std::string *reason) const
{
    if (!m_handle || !name)
        return nullptr;
    void *address = dlsym(m_handle, name);
    if (!address) {
        if (reason)
            *reason = std::string(name) + " is missing";
        return nullptr;
    }
    // dlsym() searches the library's dependencies too: the definition must lie
    // in this very object.
    struct link_map *own = linkMapOf(m_handle);
    Dl_info info{};
    struct link_map *holder = nullptr;
    if (own && dladdr1(address, &info, reinterpret_cast<void **>(&holder), RTLD_DL_LINKMAP) != 0
        && holder == own)
        return address;
    if (reason) {
        const std::string where = holder ? resolvePath(holder) : std::string();
        *reason = std::string(name) + " comes from " + (where.empty() ? "another file" : where)
                  + ", not from this file";
    }
    return nullptr;
}

std::string SharedLibrary::canonicalPath() const
{
    if (!m_handle)
        return {};
    return m_path;
}
