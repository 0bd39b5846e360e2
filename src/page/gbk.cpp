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

        QString all;
        all.reserve(0x10000);
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            if (!QChar::isSurrogate(c))
                all.append(QChar(c));
        }
        QStringEncoder encoder("GBK");
        const QByteArray bytes = encoder.encode(all);

        // Each character became one code: two bytes after a lead byte 0x81..0xFE, else one.
        std::vector<quint16> candidates;
        candidates.reserve(all.size());
        for (qsizetype pos = 0; pos < bytes.size();) {
            const auto lead = static_cast<uchar>(bytes[pos]);
            if (lead >= 0x81 && lead <= 0xFE && pos + 1 < bytes.size()) {
                candidates.push_back(quint16(lead << 8 | static_cast<uchar>(bytes[pos + 1])));
                pos += 2;
            } else {
                candidates.push_back(lead);
                pos += 1;
            }
        }
        QStringDecoder decoder("GBK");
        const QString back = decoder.decode(bytes);
        const bool aligned =
            qsizetype(candidates.size()) == all.size() && back.size() == all.size();
        for (qsizetype i = 0; i < all.size(); ++i) {
            const char16_t c = all[i].unicode();
            if (aligned) {
                if (back[i] == all[i])
                    codes_[c] = candidates[size_t(i)];
            } else {
                codes_[c] = checkedCode(c);
            }
        }
    }

    // Slow path, only if the converter ever stops mapping one character to one code.
    static quint16 checkedCode(char16_t c)
    {
        const QChar ch(c);
        QStringEncoder encoder("GBK");
        const QByteArray bytes = encoder.encode(QStringView(&ch, 1));
        QStringDecoder decoder("GBK");
        if (encoder.hasError() || QString(decoder.decode(bytes)) != QStringView(&ch, 1))
            return 0;
        if (bytes.size() == 1)
            return static_cast<uchar>(bytes[0]);
        if (bytes.size() == 2)
            return quint16(static_cast<uchar>(bytes[0]) << 8 | static_cast<uchar>(bytes[1]));
        return 0;
    }

    std::array<quint16, 0x10000> codes_;
};

void appendReference(QByteArray &out, char32_t codePoint)
{
    out.append("&#");
    out.append(QByteArray::number(uint(codePoint)));
    out.append(';');
}

} // namespace

bool GbkHolds(char16_t c)
{
    return c == 0 || GbkTable::instance().code(c) != 0;
}

void AppendGbk(QByteArray &out, QStringView text)
{
    const GbkTable &table = GbkTable::instance();
    out.reserve(out.size() + text.size() * 2);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            appendReference(out, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
            continue;
        }
        const quint16 code = table.code(c);
        if (code == 0) {
            appendReference(out, c);
        } else if (code < 0x100) {
            out.append(char(code));
        } else {
            out.append(char(code >> 8));
            out.append(char(code & 0xFF));
        }
    }
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
