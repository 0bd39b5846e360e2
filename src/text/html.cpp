#include "html.h"

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

void AppendHtmlText(QString &out, QStringView text)
{
    // Runs of plain characters are copied whole.
    const qsizetype n = text.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const bool c1 = c >= 0x80 && c <= 0x9f;
        const bool plain = !IsControl(c) && !c1 && c != u'"' && c != u'<' && c != u'>' &&
                           (c != u'&' || !StartsReference(i + 1 < n ? text[i + 1].unicode() : 0));
        if (plain)
            continue;
        out.append(text.mid(run, i - run));
        // A C1 control written as a reference shows as a Windows character ("&#133;" as "…"),
        // so a name could pass for another: it shows as the mark of what cannot be shown.
        if (c1) {
            out.append(QChar(0xFFFD));
        } else if (!AppendEntity(out, c)) {
            out.append(u"&#"_s);
            AppendDecimal(out, c);
            out.append(u';');
        }
        run = i + 1;
    }
    out.append(text.mid(run));
}

} // namespace dirweaver
