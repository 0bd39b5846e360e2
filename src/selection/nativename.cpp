#include "nativename.h"

#include "text/gbk.h"

namespace dirweaver {

NativeName NativeName::fromBytes(const QByteArray &bytes)
{
    NativeName name;
    name.bytes = bytes;
    if (bytes.isValidUtf8()) {
        name.text = QString::fromUtf8(bytes);
        // fromUtf8 drops a leading byte order mark; here it is part of the name.
        if (bytes.startsWith("\xEF\xBB\xBF"))
            name.text.prepend(QChar(0xFEFF));
        return name;
    }

    // Not UTF-8: most often a name written on a Chinese Windows system.
    name.exact = false;
    const std::optional<QString> gbk = FromGbkStrict(bytes);
    name.text = gbk ? *gbk : QString::fromUtf8(bytes);
    return name;
}

NativeName NativeName::fromText(const QString &text)
{
    return NativeName{text.toUtf8(), text, true};
}

} // namespace dirweaver
