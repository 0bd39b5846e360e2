// How the catalogue keeps names exactly in its text, and writes them into links.
#include "catalog.h"

namespace dirweaver {

namespace {

constexpr char kHex[] = "0123456789abcdef";

} // namespace

QString CatalogName(const QByteArray &name)
{
    QString out;
    out.reserve(name.size());
    const auto escape = [&out](uchar b) {
        out += u'\\';
        out += QChar(char16_t(kHex[b >> 4]));
        out += QChar(char16_t(kHex[b & 15]));
    };
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n;) {
        const auto b = uchar(name[i]);
        if (b < 0x80) {
            if (b < 0x20 || b == 0x7f || b == '\\' || b == '<')
                escape(b);
            else
                out += QChar(char16_t(b));
            ++i;
            continue;
        }
        // A whole, shortest, valid sequence, as a browser's decoder takes it.
        const int length = b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : b >= 0xc2 ? 2 : 0;
        bool valid = length > 0 && b < 0xf5 && i + length <= n;
        for (int k = 1; valid && k < length; ++k)
            valid = (uchar(name[i + k]) & 0xc0) == 0x80;
        if (valid && length == 3) {
            const auto c = uchar(name[i + 1]);
            valid = !(b == 0xe0 && c < 0xa0) && !(b == 0xed && c >= 0xa0);
        } else if (valid && length == 4) {
            const auto c = uchar(name[i + 1]);
            valid = !(b == 0xf0 && c < 0x90) && !(b == 0xf4 && c >= 0x90);
        }
        // C1 controls are controls too.
        if (valid && length == 2 && b == 0xc2 && uchar(name[i + 1]) < 0xa0)
            valid = false;
        if (!valid) {
            escape(b);
            ++i;
            continue;
        }
        // Decoded here: a decoder would take a leading U+FEFF for a byte order mark and drop it.
        char32_t c = b & (0x7f >> length);
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (uchar(name[i + k]) & 0x3f);
        if (QChar::requiresSurrogates(c)) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
        i += length;
    }
    return out;
}

QByteArray CatalogNameBytes(QByteArrayView name)
{
    QByteArray out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 2 < name.size()) {
            out += char(QByteArray::fromHex(name.sliced(i + 1, 2).toByteArray()).at(0));
            i += 2;
        } else {
            out += name[i];
        }
    }
    return out;
}

QString PercentEncoded(const QByteArray &bytes)
{
    QString out;
    for (const char ch : bytes) {
        const auto b = uchar(ch);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
            b == '-' || b == '.' || b == '_' || b == '~') {
            out += QChar(char16_t(b));
        } else {
            out += u'%';
            out += QChar(char16_t("0123456789ABCDEF"[b >> 4]));
            out += QChar(char16_t("0123456789ABCDEF"[b & 15]));
        }
    }
    return out;
}

} // namespace dirweaver
