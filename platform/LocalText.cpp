#include "LocalText.h"

#include <langinfo.h>

#include <cstring>

bool LocaleIsUtf8()
{
    const char *codeset = nl_langinfo(CODESET);
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

QString DecodeLocalBytes(const QByteArray &bytes)
{
    return LocaleIsUtf8() ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

QByteArray EncodeLocalText(const QString &text)
{
    return LocaleIsUtf8() ? text.toUtf8() : text.toLatin1();
}
