#include "nativename.h"

#include "page/gbk.h"

#include <algorithm>

namespace dirweaver {

NativeName NativeName::fromBytes(const QByteArray &bytes)
{
    NativeName name;
    name.bytes = bytes;
    const bool ascii =
        std::all_of(bytes.begin(), bytes.end(), [](char b) { return uchar(b) < 0x80; });
    name.text = QString::fromUtf8(bytes);
    if (ascii || name.text.toUtf8() == bytes)
        return name;

    // Not UTF-8: most often a name written on a Chinese Windows system.
    name.exact = false;
    if (std::optional<QString> gbk = FromGbkStrict(bytes))
        name.text = *gbk;
    return name;
}

NativeName NativeName::fromText(const QString &text)
{
    return NativeName{text.toUtf8(), text, true};
}

} // namespace dirweaver
