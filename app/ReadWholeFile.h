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

// Reads `path` whole, read-only; anything but a regular file is refused. A
// file longer than `maxBytes` is refused before anything is read.
FileReadResult ReadWholeFile(const QString &path, qint64 maxBytes = INT_MAX);
