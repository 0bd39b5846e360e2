#pragma once

#include <QLatin1StringView>
#include <QString>

#include <algorithm>

namespace dirweaver {

/// Appends value in decimal ASCII digits, zero-filled to at least width digits, without the
/// cost of QString::number for each of a folder's numbers.
inline void AppendDecimal(QString &out, qint64 value, int width = 1)
{
    char digits[24];
    int n = 0;
    quint64 v = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < width)
        digits[n++] = '0';
    if (value < 0)
        digits[n++] = '-';
    std::reverse(digits, digits + n);
    out += QLatin1StringView(digits, n);
}

} // namespace dirweaver
