#pragma once
// Text in the user's locale encoding: UTF-8 when the locale's codeset is
// UTF-8, otherwise one byte per character (Latin-1 display).

#include <QByteArray>
#include <QString>

bool LocaleIsUtf8();
QString DecodeLocalBytes(const QByteArray &bytes);
QByteArray EncodeLocalText(const QString &text);
