#pragma once

#include <QLatin1StringView>
#include <QString>

#include <algorithm>

namespace dirweaver {

/// Writes value in decimal ASCII digits at out, zero-filled to at least width digits (at most
/// 20), and returns the end; at most 21 bytes, a minus sign included.
inline char *WriteDecimal(char *out, qint64 value, int width = 1)
{
    char *const start = out;
    quint64 v = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        *out++ = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (out - start < width)
        *out++ = '0';
    if (value < 0)
        *out++ = '-';
    std::reverse(start, out);
    return out;
}

/// Appends value in decimal ASCII digits, zero-filled to at least width digits, without the
/// cost of QString::number for each of a folder's numbers.
inline void AppendDecimal(QString &out, qint64 value, int width = 1)
{
    char digits[24];
    out += QLatin1StringView(digits, WriteDecimal(digits, value, width) - digits);
}

} // namespace dirweaver
