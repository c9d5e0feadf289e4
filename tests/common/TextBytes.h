// Text as the bytes of a UTF-16 file, byte-order mark first, for the tests of
// every text reader.
#pragma once

#include <QByteArray>
#include <QString>

inline QByteArray Utf16Bytes(const QString& text, bool littleEndian = true)
{
    QByteArray out = littleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (QChar c : text) {
        const char lo = char(c.unicode() & 0xFF);
        const char hi = char(c.unicode() >> 8);
        out.append(littleEndian ? lo : hi).append(littleEndian ? hi : lo);
    }
    return out;
}
