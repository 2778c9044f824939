#include "SafeRead.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/uio.h>
#include <unistd.h>

namespace {

std::size_t PageSize()
{
    static const std::size_t size = std::size_t(sysconf(_SC_PAGESIZE));
    return size;
}

} // namespace

// process_vm_readv() on our own process copies like memcpy() but reports an
// unmapped page as an error instead of faulting. It moves whole iovec
// elements only, so the read goes page by page to get every readable byte.
std::size_t SafeRead(const void *address, void *buffer, std::size_t length)
{
    auto from = reinterpret_cast<std::uintptr_t>(address);
    auto *to = static_cast<char *>(buffer);
    std::size_t copied = 0;
    while (copied < length) {
        const std::size_t toPageEnd = PageSize() - (from + copied) % PageSize();
        const std::size_t chunk = std::min(length - copied, toPageEnd);
        iovec local{to + copied, chunk};
        iovec remote{reinterpret_cast<void *>(from + copied), chunk};
        const ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
        if (got <= 0)
            break;
        copied += std::size_t(got);
    }
    return copied;
}

std::string SafeReadString(const char *address, std::size_t maxLength)
{
    if (!address)
        return {};
    std::string text(maxLength, '\0');
    text.resize(SafeRead(address, text.data(), maxLength));
    if (const std::size_t end = text.find('\0'); end != std::string::npos)
        text.resize(end);
    return text;
}
