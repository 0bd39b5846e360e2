#include "html.h"

#include <QRegularExpression>

#include <utility>

#include "digits.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

bool IsControl(char16_t c)
{
    return c < 0x20 || c == 0x7F;
}

bool StartsReference(char16_t next)
{
    const bool letter = (next >= u'a' && next <= u'z') || (next >= u'A' && next <= u'Z');
    return next == u'#' || letter || (next >= u'0' && next <= u'9');
}

bool AppendEntity(QString &out, char16_t c)
{
    static constexpr std::pair<char16_t, QStringView> kEntities[] = {
        {u'"', u"&quot;"}, {u'<', u"&lt;"}, {u'>', u"&gt;"}, {u'&', u"&amp;"}};
    for (const auto &[character, entity] : kEntities) {
        if (c == character) {
            out.append(entity);
            return true;
        }
    }
    return false;
}

namespace {

// A noncharacter, or the first unit of a pair that makes one.
bool startsNoncharacter(QStringView text, qsizetype i)
{
    char32_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
    return QChar::isNonCharacter(c);
}

// A control that a validator reads as an error, written as text or as a reference.
bool invalidControl(char32_t c)
{
    return (c < 0x20 && c != u'\t' && c != u'\n') || (c >= 0x7F && c <= 0x9F);
}

} // namespace

void AppendHtmlText(QString &out, QStringView text, HtmlText mode)
{
    const bool valid = mode == HtmlText::Valid;
    // Runs of plain characters are copied whole.
    const qsizetype n = text.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const bool c1 = c >= 0x80 && c <= 0x9f;
        const bool unshown =
            valid && (c >= 0xFDD0 || QChar::isHighSurrogate(c)) && startsNoncharacter(text, i);
        const bool plain = !IsControl(c) && !c1 && !unshown && c != u'"' && c != u'<' &&
                           c != u'>' &&
                           (c != u'&' || !StartsReference(i + 1 < n ? text[i + 1].unicode() : 0));
        if (plain)
            continue;
        out.append(text.mid(run, i - run));
        // A C1 control written as a reference shows as a Windows character ("&#133;" as "…"),
        // so a name could pass for another: it shows as the mark of what cannot be shown.
        if (c1 || (valid && invalidControl(c))) {
            out.append(QChar(0xFFFD));
        } else if (unshown) {
            out.append(QChar(0xFFFD));
            i += QChar::isHighSurrogate(c) ? 1 : 0; // a pair is one character
        } else if (!AppendEntity(out, c)) {
            out.append(u"&#"_s);
            AppendDecimal(out, c);
            out.append(u';');
        }
        run = i + 1;
    }
    out.append(text.mid(run));
}

QString ValidHtmlText(QString html)
{
    static const QRegularExpression reference(u"&#(?:([0-9]+)|[xX]([0-9a-fA-F]+));"_s);
    qsizetype from = 0;
    QRegularExpressionMatch m;
    while ((m = reference.match(html, from)).hasMatch()) {
        bool ok = false;
        const uint code =
            m.hasCaptured(1) ? m.captured(1).toUInt(&ok) : m.captured(2).toUInt(&ok, 16);
        const bool bad = ok && (invalidControl(code) || QChar::isNonCharacter(code));
        if (bad)
            html.replace(m.capturedStart(), m.capturedLength(), QChar(0xFFFD));
        from = m.capturedStart() + (bad ? 1 : m.capturedLength());
    }
    for (qsizetype i = 0; i < html.size(); ++i) {
        if (startsNoncharacter(html, i))
            html.replace(i, html[i].isHighSurrogate() ? 2 : 1, QChar(0xFFFD));
        else if (invalidControl(html[i].unicode()) && html[i] != u'\r')
            html[i] = QChar(0xFFFD);
    }
    return html;
}

} // namespace dirweaver
