#include "gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <memory>

namespace dirweaver {
namespace {

// The code of each BMP character in GBK: 0 when GBK cannot hold it, below 0x100 for the
// single-byte codes (ASCII and the euro sign at 0x80), otherwise lead byte * 256 + trail byte.
// Built once from the system converter, keeping only the mappings that read back to the same
// character, so that a saved page always decodes to the text that was built.
class GbkTable
{
public:
    static const GbkTable &instance()
    {
        static const std::unique_ptr<GbkTable> table(new GbkTable);
        return *table;
    }

    quint16 code(char16_t c) const { return codes_[c]; }

private:
    GbkTable()
    {
        codes_.fill(0);
        for (char16_t c = 0; c < 0x80; ++c)
            codes_[c] = c;

        // One character at a time: the converter drops some characters (noncharacters and
        // the like) without a trace, so a single pass over all of them would lose alignment.
        QStringEncoder encoder("GBK", QStringEncoder::Flag::Stateless);
        QStringDecoder decoder("GBK", QStringDecoder::Flag::Stateless);
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            if (QChar::isSurrogate(c))
                continue;
            const QChar ch{char16_t(c)};
            const QByteArray bytes = encoder.encode(QStringView(&ch, 1));
            if (bytes.isEmpty() || bytes.size() > 2)
                continue;
            const QString back = decoder.decode(bytes);
            if (back.size() != 1 || back[0] != ch)
                continue;
            codes_[c] = bytes.size() == 1 ? quint16(uchar(bytes[0]))
                                          : quint16(uchar(bytes[0]) << 8 | uchar(bytes[1]));
        }
    }

    std::array<quint16, 0x10000> codes_;
};

// Writes "&#N;" at out and returns the end; at most 10 bytes.
char *writeReference(char *out, char32_t codePoint)
{
    char digits[8];
    int n = 0;
    do {
        digits[n++] = char('0' + codePoint % 10);
        codePoint /= 10;
    } while (codePoint != 0);
    *out++ = '&';
    *out++ = '#';
    while (n > 0)
        *out++ = digits[--n];
    *out++ = ';';
    return out;
}

} // namespace

bool GbkHolds(char16_t c)
{
    return c == 0 || GbkTable::instance().code(c) != 0;
}

void AppendGbk(QByteArray &out, QStringView text)
{
    const GbkTable &table = GbkTable::instance();
    const qsizetype n = text.size();
    const qsizetype start = out.size();
    // Room for the worst case, a reference of up to 8 bytes per code unit.
    out.resize(start + n * 8);
    char *const begin = out.data() + start;
    char *p = begin;
    const char16_t *const s = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            *p++ = char(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            p = writeReference(p, QChar::surrogateToUcs4(c, s[i + 1]));
            ++i;
            continue;
        }
        const quint16 code = table.code(c);
        if (code == 0) {
            p = writeReference(p, c);
        } else if (code < 0x100) {
            *p++ = char(code);
        } else {
            *p++ = char(code >> 8);
            *p++ = char(code & 0xFF);
        }
    }
    out.truncate(start + (p - begin));
}

QByteArray ToGbk(QStringView text)
{
    QByteArray out;
    AppendGbk(out, text);
    return out;
}

std::optional<QString> FromGbkStrict(QByteArrayView bytes)
{
    QStringDecoder decoder("GBK", QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    for (const QChar c : std::as_const(text)) {
        // The converter reads undefined codes as private-use characters rather than failing.
        if (c == QChar::ReplacementCharacter || c.category() == QChar::Other_PrivateUse)
            return std::nullopt;
    }
    return text;
}

int Strlen(QStringView text)
{
    const GbkTable &table = GbkTable::instance();
    int width = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            width += 1;
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            width += 1;
            ++i;
        } else {
            const quint16 code = table.code(c);
            width += (code >= 0x100) ? 2 : 1;
        }
    }
    return width;
}

} // namespace dirweaver
