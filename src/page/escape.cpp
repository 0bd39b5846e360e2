#include "escape.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

constexpr char16_t kHex[] = u"0123456789ABCDEF";

// The ASCII characters a link target may hold as they are.
constexpr auto kPlainInTarget = [] {
    std::array<bool, 128> plain{};
    for (char c = '0'; c <= '9'; ++c)
        plain[size_t(c)] = true;
    for (char c = 'a'; c <= 'z'; ++c)
        plain[size_t(c)] = plain[size_t(c - 'a' + 'A')] = true;
    for (const char c : std::string_view(" !$'()*+,-./:;=@[]^_`{}~"))
        plain[size_t(c)] = true;
    return plain;
}();

bool isAsciiAlpha(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiAlnum(char16_t c)
{
    return isAsciiAlpha(c) || (c >= u'0' && c <= u'9');
}

void appendPercent(QString &out, uchar byte)
{
    out.append(u'%');
    out.append(QChar(kHex[byte >> 4]));
    out.append(QChar(kHex[byte & 0xF]));
}

// The UTF-8 bytes of c, percent-encoded, as a browser sends a character of a path.
void appendPercentUtf8(QString &out, char32_t c)
{
    if (c < 0x80) {
        appendPercent(out, uchar(c));
    } else if (c < 0x800) {
        appendPercent(out, uchar(0xC0 | (c >> 6)));
        appendPercent(out, uchar(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        appendPercent(out, uchar(0xE0 | (c >> 12)));
        appendPercent(out, uchar(0x80 | ((c >> 6) & 0x3F)));
        appendPercent(out, uchar(0x80 | (c & 0x3F)));
    } else {
        appendPercent(out, uchar(0xF0 | (c >> 18)));
        appendPercent(out, uchar(0x80 | ((c >> 12) & 0x3F)));
        appendPercent(out, uchar(0x80 | ((c >> 6) & 0x3F)));
        appendPercent(out, uchar(0x80 | (c & 0x3F)));
    }
}

// An ASCII character a URL's path may not hold as it is, though a page's link may: a
// validator reads a link with one as an error.
bool outsideUrl(char16_t c)
{
    return c == u' ' || c == u'"' || c == u'<' || c == u'>' || c == u'`' || c == u'{' || c == u'}';
}

// An ASCII character of a link target. "|" goes too: after a letter a browser reads it as a
// drive letter ("C|x" opens the root of the file system in Firefox). With url, what a URL's
// path may not hold is percent-encoded as well.
void appendTargetAscii(QString &out, char16_t c, char16_t next, bool url)
{
    if (c == u'%' || c == u'#' || c == u'?' || c == u'\\' || c == u'|' || IsControl(c) ||
        (url && outsideUrl(c)))
        appendPercent(out, uchar(c));
    else if (c == u'&' && !StartsReference(next))
        out.append(QChar(c));
    else if (!AppendEntity(out, c))
        out.append(QChar(c));
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

// Characters that set the direction of text around them: explicit embeddings, overrides and
// isolates, and right-to-left letters and digits.
bool setsDirection(char32_t c)
{
    switch (QChar::direction(c)) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirAN:
    case QChar::DirLRE:
    case QChar::DirLRO:
    case QChar::DirRLE:
    case QChar::DirRLO:
    case QChar::DirPDF:
    case QChar::DirLRI:
    case QChar::DirRLI:
    case QChar::DirFSI:
    case QChar::DirPDI:
        return true;
    default:
        return false;
    }
}

} // namespace

void AppendLinkTarget(QString &out, const NativeName &name, PageEncoding encoding, bool url)
{
    if (!name.exact) {
        const QByteArray &bytes = name.bytes;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const auto b = uchar(bytes[i]);
            if (b >= 0x80)
                appendPercent(out, b);
            else
                appendTargetAscii(out, b, i + 1 < bytes.size() ? uchar(bytes[i + 1]) : 0, url);
        }
        return;
    }
    const QStringView text = name.text;
    const qsizetype n = text.size();
    qsizetype run = 0; // start of the characters not yet copied
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        char32_t code = c;
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            units = 2;
        }
        const bool ascii = c < 0x80;
        const bool plain = ascii ? kPlainInTarget[c] && !(url && outsideUrl(c))
                                 : code >= 0xA0 && !QChar::isSurrogate(code) &&
                                       PageHolds(encoding, code) &&
                                       !(url && QChar::isNonCharacter(code));
        if (plain) {
            i += units - 1;
            continue;
        }
        out.append(text.mid(run, i - run));
        if (ascii)
            appendTargetAscii(out, c, i + 1 < n ? text[i + 1].unicode() : 0, url);
        else
            appendPercentUtf8(out, QChar::isSurrogate(code) ? char32_t(0xFFFD) : code);
        i += units - 1;
        run = i + 1;
    }
    out.append(text.mid(run));
}

void AppendLinkTarget(QString &out, QStringView folderTarget, const NativeName &name,
                      PageEncoding encoding, bool url)
{
    const qsizetype start = out.size();
    out += folderTarget;
    AppendLinkTarget(out, name, encoding, url);

    if (folderTarget.isEmpty()) {
        const qsizetype colon = schemeColon(QStringView(out).mid(start));
        if (colon >= 0)
            out.replace(start + colon, 1, u"%3A"_s);
    }

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

QString LinkTarget(QStringView folderTarget, const NativeName &name, PageEncoding encoding,
                   bool url)
{
    QString target;
    AppendLinkTarget(target, folderTarget, name, encoding, url);
    return target;
}

QString FolderTarget(const PageModel &model, bool url)
{
    const PageOptions &options = model.options;
    QString target;
    if (!options.baseUrl.isEmpty()) {
        // The address as given, then the page folder's own path below it, as targets are.
        AppendHtmlText(target,
                       url ? QString(options.baseUrl).replace(u' ', u"%20"_s) : options.baseUrl);
        if (!target.endsWith(u'/'))
            target += u'/';
        for (const QByteArray &part : model.basePath.split('/')) {
            if (part.isEmpty())
                continue;
            AppendLinkTarget(target, NativeName::fromBytes(part), options.encoding, url);
            target += u'/';
        }
    } else if (options.absolutePath) {
        AppendLinkTarget(target, FolderPath(model.folder), options.encoding, url);
    }
    return target;
}

void AppendEntryTarget(QString &out, QStringView folderTarget, const PageEntry &entry,
                       PageEncoding encoding, bool url)
{
    const LinkPath &link = entry.link;
    if (link.parts.isEmpty()) {
        AppendLinkTarget(out, folderTarget, entry.name, encoding, url);
        return;
    }
    // Each name escaped after what comes before it, as a folder part of its own.
    QString target = link.up ? u"../"_s : folderTarget.toString();
    for (qsizetype i = 0; i < link.parts.size(); ++i) {
        target = LinkTarget(target, link.parts[i], encoding, url);
        if (i + 1 < link.parts.size() || link.folder)
            target += u'/';
    }
    out += target;
}

bool BaseAddressAllowed(const QString &url)
{
    const bool refused = url.isEmpty() || url.front().isSpace() || url.back().isSpace() ||
                         std::any_of(url.begin(), url.end(), [](QChar c) {
                             return c == u'"' || c == u'\'' || c == u'<' || c == u'>' ||
                                    c == u'?' || c == u'#' || c.unicode() < 0x20 ||
                                    c.unicode() == 0x7f ||
                                    (c.unicode() >= 0x80 && c.unicode() < 0xa0);
                         });
    if (refused)
        return false;
    // A scheme is letters, digits, '+', '-' and '.' before the first ':', starting with a
    // letter; a path has none.
    const qsizetype colon = url.indexOf(u':');
    const QStringView scheme = QStringView(url).first(qMax<qsizetype>(colon, 0));
    const bool hasScheme = colon > 0 && scheme.front().isLetter() &&
                           scheme.front().unicode() < 0x80 &&
                           std::all_of(scheme.begin(), scheme.end(), [](QChar c) {
                               return c.unicode() < 0x80 &&
                                      (c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.');
                           });
    if (!hasScheme)
        return true;
    for (const QStringView allowed : {u"http", u"https", u"ftp", u"file"}) {
        if (scheme.compare(allowed, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void AppendLinkText(QString &out, QStringView name, HtmlText mode)
{
    qsizetype isolates = 0; // one more than the PDIs of the name, which could close ours
    bool directional = false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name[i].unicode(), name[i + 1].unicode());
            ++i;
        }
        directional = directional || setsDirection(c);
        isolates += c == 0x2069 ? 1 : 0;
    }
    if (!directional) {
        AppendHtmlText(out, name, mode);
        return;
    }
    ++isolates;
    out += u"&#8296;"_s.repeated(isolates);
    AppendHtmlText(out, name, mode);
    out += u"&#8297;"_s.repeated(isolates);
}

} // namespace dirweaver
