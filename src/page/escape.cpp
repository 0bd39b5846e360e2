#include "escape.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

constexpr char16_t kHex[] = u"0123456789ABCDEF";

bool isControl(char16_t c)
{
    return c < 0x20 || c == 0x7F;
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
    return !isControl(c) && c != u'"' && c != u'<' && c != u'>';
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
        if (plain(c))
            continue;
        out.append(text.mid(run, i - run));
        escape(c);
        run = i + 1;
    }
    out.append(text.mid(run));
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
        for (const char byte : name.bytes) {
            const auto b = uchar(byte);
            if (b >= 0x80)
                appendPercent(out, b);
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
    AppendLinkTarget(out, name);

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
