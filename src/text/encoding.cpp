#include "encoding.h"

#include "gbk.h"

#include <QChar>

namespace dirweaver {

bool PageHolds(PageEncoding encoding, char32_t c)
{
    if (QChar::isSurrogate(c) || c > 0x10FFFF)
        return false;
    if (encoding == PageEncoding::Utf8 || c < 0x80)
        return true;
    return c < 0x10000 && GbkHolds(char16_t(c));
}

void AppendPageBytes(QByteArray &out, QStringView text, PageEncoding encoding)
{
    if (encoding == PageEncoding::Gbk)
        AppendGbk(out, text);
    else
        out += text.toUtf8();
}

} // namespace dirweaver
