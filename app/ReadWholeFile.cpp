#include "ReadWholeFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FdCloser
{
    int fd;
    ~FdCloser() { if (fd >= 0) ::close(fd); }
};

FileReadResult Failure(const QString &path, const QString &reason)
{
    FileReadResult result;
    result.error = QStringLiteral("Cannot read \"%1\": %2.").arg(path, reason);
    return result;
}

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

FileReadResult ReadWholeFile(const QString &path, qint64 maxBytes)
{
    const QByteArray encoded = QFile::encodeName(path);
    // Non-blocking, so that opening a named pipe does not wait for a writer;
    // it is refused below like anything else that is not a plain file.
    FdCloser file{::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0)
        return Failure(path, SystemReason(errno));

    struct stat info {};
    if (::fstat(file.fd, &info) != 0)
        return Failure(path, SystemReason(errno));
    if (S_ISDIR(info.st_mode))
        return Failure(path, SystemReason(EISDIR));
    if (!S_ISREG(info.st_mode))
        return Failure(path, QStringLiteral("it is not a regular file"));
    if (info.st_size > maxBytes) {
        return Failure(path, QStringLiteral("the file has %1 bytes, more than the %2 the engine can take")
                                 .arg(info.st_size).arg(maxBytes));
    }

    FileReadResult result;
    try {
        result.bytes.resize(static_cast<qsizetype>(info.st_size));
    } catch (const std::bad_alloc &) {
        return Failure(path, SystemReason(ENOMEM));
    }
    qsizetype done = 0;
    while (done < result.bytes.size()) {
        const ssize_t got = ::read(file.fd, result.bytes.data() + done, size_t(result.bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Failure(path, SystemReason(errno));
        if (got == 0) {
            return Failure(path, QStringLiteral("the file ended after %1 of its %2 bytes")
                                     .arg(done).arg(result.bytes.size()));
        }
        done += got;
    }
    result.ok = true;
    return result;
}
