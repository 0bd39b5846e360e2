#include "escape.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

constexpr char16_t kHex[] = u"0123456789ABCDEF";

bool isControl(char16_t c)
{
    return c < 0x20 || c == 0x7F;
}

bool isAsciiAlpha(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiAlnum(char16_t c)
{
    return isAsciiAlpha(c) || (c >= u'0' && c <= u'9');
}

// An "&" followed by a letter, digit or "#" would start a character reference, so that
// "a&copy.txt" shows as "a©.txt"; any other "&" is plain text to every browser.
// next is the character after the "&", or 0 at the end of the text.
bool startsReference(char16_t next)
{
    return next == u'#' || isAsciiAlnum(next);
}

void appendPercent(QString &out, uchar byte)
{
    out.append(u'%');
    out.append(QChar(kHex[byte >> 4]));
    out.append(QChar(kHex[byte & 0xF]));
}

// Appends the entity form of c if markup needs one; false when c may stand as it is.
bool appendEntity(QString &out, char16_t c)
{
    switch (c) {
    case u'"':
        out.append(u"&quot;"_s);
        return true;
    case u'<':
        out.append(u"&lt;"_s);
        return true;
    case u'>':
        out.append(u"&gt;"_s);
        return true;
    case u'&':
        out.append(u"&amp;"_s);
        return true;
    default:
        return false;
    }
}

// An ASCII character of a link target.
void appendTargetAscii(QString &out, char16_t c)
{
    if (c == u'%' || c == u'#' || c == u'?' || c == u'\\' || isControl(c)) {
        appendPercent(out, uchar(c));
    } else if (!appendEntity(out, c)) {
        out.append(QChar(c));
    }
}

bool plainInText(char16_t c)
{
    return !isControl(c) && c != u'"' && c != u'<' && c != u'>' && c != u'&';
}

bool plainInTarget(char16_t c)
{
    return plainInText(c) && c != u'%' && c != u'#' && c != u'?' && c != u'\\' &&
           (c < 0x80 || c >= 0xA0);
}

// Appends text, copying runs of plain characters whole and handing the others to escape.
template <typename Plain, typename Escape>
void appendEscaped(QString &out, QStringView text, Plain plain, Escape escape)
{
    const qsizetype n = text.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (plain(c) || (c == u'&' && !startsReference(i + 1 < n ? text[i + 1].unicode() : 0)))
            continue;
        out.append(text.mid(run, i - run));
        escape(c);
        run = i + 1;
    }
    out.append(text.mid(run));
}

// Length of a leading "scheme:" in target: a browser would read a bare target such as
// "re: notes.txt" or "javascript:x" as an address of its own, not as a file beside the page.
qsizetype schemeColon(QStringView target)
{
    if (target.isEmpty() || !isAsciiAlpha(target[0].unicode()))
        return -1;
    for (qsizetype i = 1; i < target.size(); ++i) {
        const char16_t c = target[i].unicode();
        if (c == u':')
            return i;
        if (!isAsciiAlnum(c) && c != u'+' && c != u'-' && c != u'.')
            return -1;
    }
    return -1;
}

} // namespace

void AppendHtmlText(QString &out, QStringView text)
{
    appendEscaped(out, text, plainInText, [&out](char16_t c) {
        if (!appendEntity(out, c))
            out.append(u"&#"_s + QString::number(uint(c)) + u';');
    });
}

void AppendLinkTarget(QString &out, const NativeName &name)
{
    if (!name.exact) {
        const QByteArray &bytes = name.bytes;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const auto b = uchar(bytes[i]);
            if (b >= 0x80)
                appendPercent(out, b);
            else if (b == '&' && !startsReference(i + 1 < bytes.size() ? uchar(bytes[i + 1]) : 0))
                out.append(u'&');
            else
                appendTargetAscii(out, b);
        }
        return;
    }
    appendEscaped(out, name.text, plainInTarget, [&out](char16_t c) {
        if (c < 0x80) {
            appendTargetAscii(out, c);
        } else {
            // C1 controls: their UTF-8 bytes, as the browser would send them.
            appendPercent(out, uchar(0xC0 | (c >> 6)));
            appendPercent(out, uchar(0x80 | (c & 0x3F)));
        }
    });
}

void AppendLinkTarget(QString &out, QStringView folderTarget, const NativeName &name)
{
    const qsizetype start = out.size();
    out += folderTarget;
    const qsizetype nameStart = out.size();
    AppendLinkTarget(out, name);

    if (folderTarget.isEmpty()) {
        const qsizetype colon = schemeColon(QStringView(out).mid(start));
        if (colon >= 0)
            out.replace(start + colon, 1, u"%3A"_s);
    }
    // A name of one letter and "|" is read as a drive letter and turned into "X:".
    if (out.size() - nameStart == 2 && isAsciiAlpha(out[nameStart].unicode()) &&
        out[nameStart + 1] == u'|')
        out.replace(nameStart + 1, 1, u"%7C"_s);

    qsizetype lead = start;
    while (lead < out.size() && out[lead] == u' ')
        ++lead;
    qsizetype end = out.size();
    while (end > lead && out[end - 1] == u' ')
        --end;
    if (lead == start && end == out.size())
        return;
    const qsizetype trail = out.size() - end;
    const QString middle = out.mid(lead, end - lead);
    out.truncate(start);
    out += u"%20"_s.repeated(lead - start) + middle + u"%20"_s.repeated(trail);
}

QString LinkTarget(QStringView folderTarget, const NativeName &name)
{
    QString target;
    AppendLinkTarget(target, folderTarget, name);
    return target;
}

} // namespace dirweaver
