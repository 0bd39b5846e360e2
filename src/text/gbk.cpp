#include "gbk.h"

#include "digits.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <memory>

namespace dirweaver {
namespace {

// Private-use characters whose GBK bytes, from the system converter, a browser's gbk decoder
// (the WHATWG Encoding Standard's, as Chromium implements it) reads as other characters: a
// page holding them would open other files. They are written as references instead. The
// corpus test checks every other character of the table against Chromium's decoder.
constexpr char16_t kBrowserReadsOtherwise[] = {
    0xE5E5, 0xE76C, 0xE78D, 0xE78E, 0xE78F, 0xE790, 0xE791, 0xE792, 0xE793, 0xE794, 0xE795, 0xE796,
    0xE7C7, 0xE7C8, 0xE7E7, 0xE7E8, 0xE7E9, 0xE7EA, 0xE7EB, 0xE7EC, 0xE7ED, 0xE7EE, 0xE7EF, 0xE7F0,
    0xE7F1, 0xE7F2, 0xE7F3, 0xE815, 0xE819, 0xE81A, 0xE81B, 0xE81C, 0xE81D, 0xE81E, 0xE81F, 0xE820,
    0xE821, 0xE822, 0xE823, 0xE824, 0xE825, 0xE826, 0xE827, 0xE828, 0xE829, 0xE82A, 0xE82B, 0xE82C,
    0xE82D, 0xE82E, 0xE82F, 0xE830, 0xE832, 0xE833, 0xE834, 0xE835, 0xE836, 0xE837, 0xE838, 0xE839,
    0xE83A, 0xE83C, 0xE83D, 0xE83E, 0xE83F, 0xE840, 0xE841, 0xE842, 0xE843, 0xE844, 0xE845, 0xE846,
    0xE847, 0xE848, 0xE849, 0xE84A, 0xE84B, 0xE84C, 0xE84D, 0xE84E, 0xE84F, 0xE850, 0xE851, 0xE852,
    0xE853, 0xE854, 0xE856, 0xE857, 0xE858, 0xE859, 0xE85A, 0xE85B, 0xE85C, 0xE85D, 0xE85E, 0xE85F,
    0xE860, 0xE861, 0xE862, 0xE863, 0xE864, 0xF8F5,
};

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
        for (const char16_t c : kBrowserReadsOtherwise)
            codes_[c] = 0;
    }

    std::array<quint16, 0x10000> codes_;
};

// Writes "&#N;" at out and returns the end; at most 10 bytes.
char *writeReference(char *out, char32_t codePoint)
{
    *out++ = '&';
    *out++ = '#';
    out = WriteDecimal(out, codePoint);
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
    // Room for the worst case, a reference of up to 8 bytes per code unit; a page grown a
    // line at a time gets twice its room, not a reallocation per line.
    if (out.capacity() < start + n * 8)
        out.reserve(qMax(start + n * 8, 2 * out.capacity()));
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
