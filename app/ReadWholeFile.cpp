#include "ReadWholeFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
    FdCloser file{::open(encoded.constData(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        return Failure(path, SystemReason(errno));

    struct stat info {};
    if (::fstat(file.fd, &info) != 0)
        return Failure(path, SystemReason(errno));
    if (S_ISDIR(info.st_mode))
        return Failure(path, SystemReason(EISDIR));
    if (info.st_size > maxBytes) {
        return Failure(path, QStringLiteral("the file has %1 bytes, more than the %2 the engine can take")
                                 .arg(info.st_size).arg(maxBytes));
    }

    FileReadResult result;
    result.bytes.resize(static_cast<qsizetype>(info.st_size));
    qsizetype done = 0;
    while (done < result.bytes.size()) {
        const ssize_t got = ::read(file.fd, result.bytes.data() + done, result.bytes.size() - done);
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
