#include "ReadWholeFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

WholeFile::WholeFile(const QString &path, qint64 maxBytes)
    : m_strPath(path)
{
    const QByteArray encoded = QFile::encodeName(path);
    // Non-blocking, so that opening a named pipe does not wait for a writer;
    // it is refused below like anything else that is not a plain file.
    m_fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0)
        Fail(SystemReason(errno));
    else if (S_ISDIR(info.st_mode))
        Fail(SystemReason(EISDIR));
    else if (!S_ISREG(info.st_mode))
        Fail(QStringLiteral("it is not a regular file"));
    else if (info.st_size > maxBytes)
        Fail(QStringLiteral("the file has %1 bytes, more than the %2 the field holds")
                 .arg(info.st_size).arg(maxBytes));
    else
        m_nSize = info.st_size;
    // With nothing to read, Read() is never called to find out.
    if (m_fd >= 0 && m_nSize == 0)
        FailIfLongerThanSize();
}

// Files such as those in /proc state a size of 0 and yet hold bytes, and a
// file may grow while it is read: a text that would be cut is refused.
bool WholeFile::FailIfLongerThanSize()
{
    char more = 0;
    ssize_t got = 0;
    while ((got = ::read(m_fd, &more, 1)) < 0 && errno == EINTR) {
    }
    if (got <= 0)
        return false;
    Fail(QStringLiteral("the file holds more than the %1 bytes its size states").arg(m_nSize));
    return true;
}

WholeFile::~WholeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void WholeFile::Fail(const QString &reason)
{
    m_strError = QStringLiteral("Cannot read \"%1\": %2.").arg(m_strPath, reason);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

qint64 WholeFile::Read(char *buffer, qint64 max)
{
    for (;;) {
        if (m_fd < 0)
            return -1;
        const ssize_t got = ::read(m_fd, buffer, size_t(max));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            Fail(SystemReason(errno));
            return -1;
        }
        if (got == 0 && max > 0) {
            Fail(QStringLiteral("the file ended after %1 of the %2 bytes its size states").arg(m_nDone).arg(m_nSize));
            return -1;
        }
        m_nDone += got;
        if (m_nDone == m_nSize && FailIfLongerThanSize())
            return -1;
        return got;
    }
}

FileReadResult ReadWholeFile(const QString &path, qint64 maxBytes)
{
    FileReadResult result;
    WholeFile file(path, maxBytes);
    if (!file.IsOpen()) {
        result.error = file.Error();
        return result;
    }
    try {
        result.bytes.resize(static_cast<qsizetype>(file.Size()));
    } catch (const std::bad_alloc &) {
        result.error = QStringLiteral("Cannot read \"%1\": %2.").arg(path, SystemReason(ENOMEM));
        return result;
    }
    for (qint64 done = 0; done < file.Size();) {
        const qint64 got = file.Read(result.bytes.data() + done, file.Size() - done);
        if (got < 0) {
            result.error = file.Error();
            result.bytes.clear();
            return result;
        }
        done += got;
    }
    result.ok = true;
    return result;
}
