// libFuzzer target over the page core: arbitrary bytes as a file name, a folder path, a
// title and a file's facts go through escaping, link-target encoding, the width measure,
// page assembly and GBK encoding. Any broken invariant aborts with a message.
#include "page/annotations.h"
#include "page/builder.h"
#include "page/escape.h"
#include "page/format.h"
#include "text/gbk.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void Fail(const char *what, QStringView detail)
{
    std::fprintf(stderr, "invariant broken: %s\n%s\n", what, qPrintable(detail.toString()));
    std::abort();
}

void Require(bool ok, const char *what, QStringView detail = {})
{
    if (!ok)
        Fail(what, detail);
}

// One file with the facts the input chose.
class OneFile final : public FileSystem
{
public:
    std::optional<FileFacts> facts_;
    FolderListing regularFiles(const FolderRef &) const override { return {}; }
    FolderListing subFolders(const FolderRef &) const override { return {}; }
    std::unique_ptr<FolderFacts> openFacts(const FolderRef &) const override
    {
        struct Same final : FolderFacts
        {
            std::optional<FileFacts> facts_;
            std::optional<FileFacts> facts(const QByteArray &) const override { return facts_; }
        };
        auto same = std::make_unique<Same>();
        same->facts_ = facts_;
        return same;
    }
};

bool IsAsciiAlpha(QChar c)
{
    return c.unicode() < 0x80 && c.isLetter();
}

bool IsAsciiAlnum(QChar c)
{
    return c.unicode() < 0x80 && c.isLetterOrNumber();
}

// Reads back the entities the escaper writes; anything else stays as it is.
QString Unescape(QStringView html)
{
    QString text;
    for (qsizetype i = 0; i < html.size(); ++i) {
        if (html[i] != u'&') {
            text.append(html[i]);
            continue;
        }
        const qsizetype semi = html.indexOf(u';', i);
        const QStringView entity = semi < 0 ? QStringView() : html.mid(i, semi - i + 1);
        if (entity == u"&amp;")
            text.append(u'&');
        else if (entity == u"&lt;")
            text.append(u'<');
        else if (entity == u"&gt;")
            text.append(u'>');
        else if (entity == u"&quot;")
            text.append(u'"');
        else if (entity.startsWith(u"&#") && entity.size() > 3)
            text.append(QChar(char16_t(entity.mid(2, entity.size() - 3).toUInt())));
        else {
            // A bare "&" must be one no browser reads as the start of a reference.
            Require(i + 1 == html.size() || (html[i + 1] != u'#' && !IsAsciiAlnum(html[i + 1])),
                    "ampersand that starts a reference", html);
            text.append(u'&');
            continue;
        }
        i = semi;
    }
    return text;
}

// Nothing in escaped text can end an attribute or tag, or be dropped by a parser.
void CheckMarkupSafe(QStringView html, const char *what)
{
    for (const QChar c : html) {
        const char16_t u = c.unicode();
        Require(u >= 0x20 && u != 0x7F && u != u'<' && u != u'>' && u != u'"', what, html);
    }
}

void CheckText(const QString &text)
{
    QString html;
    AppendHtmlText(html, text);
    CheckMarkupSafe(html, "unsafe character in page text");
    // C1 controls show as the mark of what cannot be shown; all else reads back.
    QString shown = text;
    for (QChar &c : shown) {
        if (c.unicode() >= 0x80 && c.unicode() <= 0x9F)
            c = QChar(0xFFFD);
    }
    Require(Unescape(html) == shown, "page text does not read back", html);

    // As a link's text: the name itself, inside as many isolates as it could close.
    QString link;
    AppendLinkText(link, text);
    CheckMarkupSafe(link, "unsafe character in link text");
    QStringView inner = link;
    qsizetype isolates = 0;
    while (inner.startsWith(u"&#8296;")) {
        inner = inner.mid(7);
        ++isolates;
    }
    Require(inner.endsWith(QString(u"&#8297;"_s).repeated(isolates)), "isolate left open", link);
    inner.chop(7 * isolates);
    Require(Unescape(inner) == shown && (isolates == 0 || isolates > text.count(QChar(0x2069))),
            "link text does not read back as the isolated name", link);
}

// The target must open exactly folder + name once entities and percent signs are read.
void CheckTarget(const QString &folderTarget, const QByteArray &folderBytes, const NativeName &name)
{
    const QString target = LinkTarget(folderTarget, name, PageEncoding::Gbk);
    CheckMarkupSafe(target, "unsafe character in link target");
    // After a letter a browser reads "|" as a drive letter: it never stands as it is.
    Require(!target.contains(u'|'), "bar in target", target);
    Require(!target.startsWith(u' ') && !target.endsWith(u' '), "edge space in target", target);
    const QString url = Unescape(target);
    if (folderTarget.isEmpty() && !url.isEmpty() && IsAsciiAlpha(url[0])) {
        // A scheme: a letter, then letters, digits, "+", "-" or "." up to a colon.
        qsizetype i = 1;
        while (i < url.size() &&
               (IsAsciiAlnum(url[i]) || url[i] == u'+' || url[i] == u'-' || url[i] == u'.'))
            ++i;
        Require(i == url.size() || url[i] != u':', "bare target reads as a scheme", target);
    }
    const QByteArray nameUrl =
        url.mid(folderTarget.isEmpty() ? 0 : Unescape(folderTarget).size()).toUtf8();
    Require(!(nameUrl.size() == 2 && IsAsciiAlpha(QLatin1Char(nameUrl[0])) &&
              (nameUrl[1] == '|' || (folderTarget.isEmpty() && nameUrl[1] == ':'))),
            "target reads as a drive letter", target);
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.toUtf8());
    Require(bytes == folderBytes + name.bytes, "target opens another file", target);
}

// The GBK bytes read back as the text, with "&#N;" exactly for what GBK cannot hold.
void CheckGbk(QStringView text)
{
    const QByteArray bytes = ToGbk(text);
    QStringDecoder decoder("GBK", QStringDecoder::Flag::Stateless);
    const QString back = decoder.decode(bytes);
    Require(!decoder.hasError(), "GBK output does not decode", text);
    qsizetype j = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool pair =
            QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (!pair && GbkHolds(c)) {
            Require(j < back.size() && back[j] == text[i], "character changed in GBK", text);
            ++j;
            continue;
        }
        const char32_t cp = pair ? QChar::surrogateToUcs4(c, text[i + 1]) : c;
        const QString reference = u"&#"_s + QString::number(uint(cp)) + u';';
        Require(QStringView(back).mid(j).startsWith(reference), "missing reference", text);
        j += reference.size();
        i += pair ? 1 : 0;
    }
    Require(j == back.size(), "GBK output has more than the text", text);
}

void CheckWidth(QStringView text, const FileTimeFormat &format)
{
    const int width = Strlen(text);
    Require(width >= 0 && width <= 2 * text.size(), "width out of range", text);
    // 46 - width blanks, three from a width of 45 on: never fewer than two.
    QString pad;
    AppendAnnotations(pad, text, std::nullopt, true, false, format);
    Require(pad.size() >= 2 * 6, "name spacing below two blanks", text);
}

// A JSON listing of the name parses, and gives the name back: its text, or its exact bytes
// where the text is not theirs; and its target leads to those bytes.
void CheckJson(const NativeName &name, const FileSystem &fs, const FileTimeFormat &format)
{
    PageModel input;
    input.folder = NativeName::fromBytes("/f");
    input.files = {name};
    input.options.format = &JsonFormat();
    const QString listing = BuildPageText(input, fs, format);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(listing.toUtf8(), &error);
    Require(error.error == QJsonParseError::NoError, "listing is not JSON", listing);
    const QJsonObject entry = document[u"entries"_s][0].toObject();
    // Qt's reader may drop a U+FEFF that starts a string (when the string holds no escape;
    // Python's keeps it: the corpus test reads every name back with it).
    const auto same = [](const QByteArray &read, const QByteArray &bytes) {
        return read == bytes || (bytes.startsWith("\xef\xbb\xbf") && read == bytes.mid(3));
    };
    const QString exact = entry[u"name_bytes"_s].toString();
    if (name.exact)
        Require(same(entry[u"name"_s].toString().toUtf8(), name.bytes) && exact.isEmpty(),
                "name changed", listing);
    else
        Require(QByteArray::fromPercentEncoding(exact.toLatin1()) == name.bytes,
                "name bytes changed", listing);
    const QByteArray target =
        QByteArray::fromPercentEncoding(entry[u"target"_s].toString().toUtf8());
    Require(same(target, name.bytes), "target leads elsewhere", listing);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const FileTimeFormat format(QLocale(u"zh_CN"_s));
    FuzzedDataProvider in(data, size);
    const uint8_t flags = in.ConsumeIntegral<uint8_t>();
    const std::string nameBytes = in.ConsumeRandomLengthString(300);
    const std::string folderBytes = in.ConsumeRandomLengthString(300);
    const std::string title = in.ConsumeRandomLengthString(300);
    OneFile fs;
    if (in.ConsumeBool()) {
        FileFacts facts;
        facts.size = in.ConsumeIntegralInRange<qint64>(0, std::numeric_limits<qint64>::max());
        if (in.ConsumeBool())
            facts.birthTime = in.ConsumeIntegral<qint64>();
        fs.facts_ = facts;
    }
    const std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
    // The rest as UTF-16 code units, lone surrogates and all, for the encoder and the measure.
    const QString units = QString::fromUtf16(reinterpret_cast<const char16_t *>(rest.data()),
                                             qsizetype(rest.size() / 2));

    const NativeName name = NativeName::fromBytes(QByteArray::fromStdString(nameBytes));
    const NativeName folder =
        FolderPath(NativeName::fromBytes('/' + QByteArray::fromStdString(folderBytes)));

    CheckText(name.text);
    CheckText(folder.text);
    CheckWidth(name.text, format);
    CheckWidth(units, format);
    CheckGbk(units);
    QString folderTarget;
    AppendLinkTarget(folderTarget, folder, PageEncoding::Gbk);
    CheckTarget({}, {}, name);
    CheckTarget(folderTarget, folder.bytes, name);
    if (!name.bytes.isEmpty())
        CheckJson(name, fs, format);

    PageModel input;
    input.folder = folder;
    input.files = {name, name};
    input.options.absolutePath = flags & 1;
    input.options.blankLine = flags & 2;
    input.options.bullet = flags & 4;
    input.options.showSize = flags & 8;
    input.options.showDate = flags & 16;
    input.options.align = Align((flags >> 5) % 3);
    input.options.browserTitle = input.options.headerTitle = QString::fromUtf8(title);
    input.options.footerTitle = units;
    const bool table = flags & 128;
    input.options.format = table ? &TableFormat() : &ClassicFormat();
    const QString page = BuildPageText(input, fs, format);
    Require(page.endsWith(table ? u"</html>"_s : u"</HTML>"_s), "page without its foot", page);
    CheckGbk(page);
    return 0;
}
