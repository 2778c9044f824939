#pragma once
// Reading a whole file as bytes, with the failures a user can cause turned
// into messages.

#include <QByteArray>
#include <QString>

#include <climits>

struct FileReadResult
{
    bool ok = false;
    QByteArray bytes;
    QString error;   // names the file and the system's reason when !ok
};

// A file opened to be read whole, in pieces, as ReadWholeFile reads it: a
// large file goes straight to where it is kept, without a copy in between.
class WholeFile
{
public:
    // Opens `path` read-only; anything but a regular file is refused, and a
    // file longer than `maxBytes` is refused before anything is read.
    explicit WholeFile(const QString &path, qint64 maxBytes = INT_MAX);
    ~WholeFile();
    WholeFile(const WholeFile &) = delete;
    WholeFile &operator=(const WholeFile &) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    qint64 Size() const { return m_nSize; }
    // Reads up to `max` of the bytes that follow (more than 0), or returns
    // -1 when the read fails or the file ends before its size or goes on
    // past it.
    qint64 Read(char *buffer, qint64 max);
    // Names the file and the system's reason, once opening or reading failed.
    const QString &Error() const { return m_strError; }

private:
    void Fail(const QString &reason);
    bool FailIfLongerThanSize();

    QString m_strPath;
    int m_fd = -1;
    qint64 m_nSize = 0;
    qint64 m_nDone = 0;
    QString m_strError;
};

// Reads `path` whole, as WholeFile opens it.
FileReadResult ReadWholeFile(const QString &path, qint64 maxBytes = INT_MAX);
