#include "nativename.h"

#include "text/gbk.h"

#include <QStringDecoder>

namespace dirweaver {

NativeName NativeName::fromBytes(const QByteArray &bytes)
{
    NativeName name;
    name.bytes = bytes;
    if (bytes.isValidUtf8()) {
        // Every character, a leading byte order mark too: it is part of the name.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        name.text = utf8.decode(bytes);
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
