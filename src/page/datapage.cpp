#include "escape.h"
#include "filetime.h"
#include "format.h"

#include "text/digits.h"

#include <limits>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kNanosPerSecond = 1000000000;

// What a SHA256SUMS file a tree run wrote starts with.
constexpr char kSumsMark[] = "# Dirweaver --tree\n";

// The columns every CSV listing starts with, and which mark it as this program's.
constexpr char kCsvHeader[] =
    "name,name_bytes,target,kind,size,modified,modified_ns,created,created_ns";

// text as a JSON string: quotes, backslashes, controls and any lone surrogate escaped, every
// other character as it stands (the file is UTF-8).
void appendJsonString(QString &out, QStringView text)
{
    out += u'"';
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        bool plain = c >= 0x20 && c != u'"' && c != u'\\' && c != 0x7f;
        if (QChar::isHighSurrogate(c)) {
            plain = i + 1 < text.size() && text[i + 1].isLowSurrogate();
            if (plain) {
                ++i;
                continue;
            }
        } else if (QChar::isLowSurrogate(c)) {
            plain = false;
        }
        if (plain)
            continue;
        out += text.mid(run, i - run);
        run = i + 1;
        switch (c) {
        case u'"':
            out += u"\\\""_s;
            break;
        case u'\\':
            out += u"\\\\"_s;
            break;
        case u'\n':
            out += u"\\n"_s;
            break;
        case u'\r':
            out += u"\\r"_s;
            break;
        case u'\t':
            out += u"\\t"_s;
            break;
        default:
            out += u"\\u"_s + QString::number(c, 16).rightJustified(4, u'0');
        }
    }
    out += text.mid(run);
    out += u'"';
}

// A name's exact bytes where its text is not their UTF-8 reading: every byte outside
// printable ASCII, and '%', as %XX; with escapeFirst, the first byte too.
QString nameBytes(const NativeName &name, bool escapeFirst = false)
{
    QString out;
    for (const char ch : name.bytes) {
        const auto b = uchar(ch);
        if (b > 0x20 && b < 0x7f && b != '%' && !(escapeFirst && out.isEmpty())) {
            out += QChar(char16_t(b));
        } else {
            out += u'%';
            out += QChar(u"0123456789ABCDEF"[b >> 4]);
            out += QChar(u"0123456789ABCDEF"[b & 15]);
        }
    }
    return out;
}

// Times as ISO 8601 UTC; files of a folder mostly share their days, so the last day's text
// is kept.
class IsoTimes
{
public:
    // The fraction written when there is one; false when no year of 1 to 9999 holds it.
    bool append(QString &out, qint64 seconds, int nanos)
    {
        constexpr qint64 kDay = 86400;
        // Years 1 to 9999 only, which also keeps the day's arithmetic from overflowing.
        constexpr qint64 kFirst = -62135596800, kLast = 253402300799;
        if (seconds < kFirst || seconds > kLast)
            return false;
        const qint64 day = seconds / kDay - (seconds % kDay < 0 ? 1 : 0);
        if (day != day_) {
            day_ = day;
            date_.clear();
            known_ = AppendIsoTime(date_, day * kDay);
            date_.truncate(11); // "YYYY-MM-DDT"
        }
        if (!known_)
            return false;
        out += date_;
        const qint64 second = seconds - day * kDay;
        AppendDecimal(out, second / 3600, 2);
        out += u':';
        AppendDecimal(out, second / 60 % 60, 2);
        out += u':';
        AppendDecimal(out, second % 60, 2);
        if (nanos != 0) {
            out += u'.';
            AppendDecimal(out, nanos, 9);
        }
        out += u'Z';
        return true;
    }

private:
    qint64 day_ = std::numeric_limits<qint64>::min();
    bool known_ = false;
    QString date_;
};

// A time in nanoseconds since 1970, when it fits 64 bits (years 1678 to 2262).
std::optional<qint64> nanosOf(std::optional<qint64> seconds, int nanos)
{
    constexpr qint64 kMost = std::numeric_limits<qint64>::max() / kNanosPerSecond - 1;
    if (!seconds || *seconds > kMost || *seconds < -kMost)
        return std::nullopt;
    return *seconds * kNanosPerSecond + nanos;
}

// One entry's fields as every data format names them; texts raw, each format escaping them.
struct Fields
{
    QStringView kind;
    QString target;
    QString nameBytes; // empty unless the name's text is not its bytes' UTF-8
    std::optional<qint64> size;
    QString modified, created; // empty when unknown
    std::optional<qint64> modifiedNanos, createdNanos;
};

QStringView kindName(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Parent:
        return u"parent";
    case EntryKind::Folder:
        return u"folder";
    case EntryKind::File:
        break;
    }
    return u"file";
}

// The fields of entry, its target after folderTarget (a base address's part, or nothing:
// relative to the listing).
void fieldsOf(Fields &f, const PageEntry &entry, QStringView folderTarget, IsoTimes &times)
{
    f.kind = kindName(entry.kind);
    f.target.clear();
    AppendEntryTarget(f.target, folderTarget, entry, PageEncoding::Utf8, true);
    // Targets are made for an attribute: an ampersand may stand as its entity.
    if (f.target.contains(u'&'))
        f.target.replace(u"&amp;"_s, u"&"_s);
    f.nameBytes = entry.name.exact ? QString() : nameBytes(entry.name);
    const std::optional<FileFacts> &facts = entry.facts;
    f.size = facts && facts->size >= 0 ? std::optional<qint64>(facts->size) : std::nullopt;
    f.modified.clear();
    f.created.clear();
    f.modifiedNanos = f.createdNanos = std::nullopt;
    if (!facts)
        return;
    if (facts->modifiedTime && times.append(f.modified, *facts->modifiedTime, facts->modifiedNanos))
        f.modifiedNanos = nanosOf(facts->modifiedTime, facts->modifiedNanos);
    if (facts->birthTime && times.append(f.created, *facts->birthTime, facts->birthNanos))
        f.createdNanos = nanosOf(facts->birthTime, facts->birthNanos);
}

// What every data format writes the same way: the entries' fields, the listing's header.
class DataWriter : public PageWriter
{
public:
    // Targets are relative to the listing, or start with the base address when there is one.
    DataWriter(const PageModel &model, PageSink &sink)
        : model_(model), out_(sink, PageEncoding::Utf8),
          folderTarget_(model.options.baseUrl.isEmpty() ? QString() : FolderTarget(model, true))
    {
        folderTarget_.replace(u"&amp;"_s, u"&"_s);
    }

protected:
    // The generator's name, which marks a tree run's listings as its own.
    QStringView generator() const
    {
        return model_.options.treeMark ? u"Dirweaver --tree" : u"Dirweaver";
    }
    // "name": "value" pairs of the listing itself, after the schema and generator.
    void appendHeader(QString &text) const
    {
        text += u"\"schema\":1,\"generator\":"_s;
        appendJsonString(text, generator());
        text += u",\"folder\":"_s;
        appendJsonString(text, model_.folder.text);
        if (!model_.folder.exact) {
            text += u",\"folder_bytes\":"_s;
            appendJsonString(text, nameBytes(model_.folder));
        }
    }
    // The entry as a JSON object, its first members lead (ending in a comma) when given.
    void appendObject(QString &text, const PageEntry &entry, QStringView lead = {})
    {
        fieldsOf(f_, entry, folderTarget_, times_);
        text += u'{';
        text += lead;
        text += u"\"name\":"_s;
        appendJsonString(text, entry.name.text);
        if (!f_.nameBytes.isEmpty()) {
            text += u",\"name_bytes\":"_s;
            appendJsonString(text, f_.nameBytes);
        }
        text += u",\"target\":"_s;
        appendJsonString(text, f_.target);
        text += u",\"kind\":\""_s + f_.kind + u"\",\"size\":"_s;
        appendNumber(text, f_.size);
        appendTime(text, u"modified", f_.modified, f_.modifiedNanos);
        appendTime(text, u"created", f_.created, f_.createdNanos);
        if (model_.options.checksum) {
            text += u",\"sha256\":"_s;
            if (entry.facts && !entry.facts->sha256.isEmpty())
                text += u'"' + QLatin1StringView(entry.facts->sha256.toHex()) + u'"';
            else
                text += u"null"_s;
        }
        text += u'}';
    }
    static void appendTotals(QString &text, const PageTotals &totals)
    {
        text += u"{\"folders\":"_s;
        AppendDecimal(text, totals.folders);
        text += u",\"files\":"_s;
        AppendDecimal(text, totals.files);
        text += u",\"bytes\":"_s;
        AppendDecimal(text, totals.bytes);
        text += u'}';
    }

    const PageModel &model_;
    TextWriter out_;
    QString text_; // one entry at a time, its capacity kept
    Fields f_;
    IsoTimes times_;
    QString folderTarget_;

private:
    static void appendNumber(QString &text, std::optional<qint64> value)
    {
        if (value)
            AppendDecimal(text, *value);
        else
            text += u"null"_s;
    }
    static void appendTime(QString &text, QStringView key, const QString &iso,
                           std::optional<qint64> nanos)
    {
        text += u",\""_s;
        text += key;
        text += u"\":"_s;
        if (iso.isEmpty())
            text += u"null"_s;
        else
            appendJsonString(text, iso);
        text += u",\""_s;
        text += key;
        text += u"_ns\":"_s;
        appendNumber(text, nanos);
    }
};

// One JSON document: the listing's header, its entries one a line, its totals.
class Json final : public DataWriter
{
public:
    using DataWriter::DataWriter;

    void start() override
    {
        QString text = u"{"_s;
        appendHeader(text);
        text += u",\"entries\":["_s;
        out_.write(text);
    }
    void entry(const PageEntry &entry) override
    {
        text_ = first_ ? u"\n"_s : u",\n"_s;
        first_ = false;
        appendObject(text_, entry);
        out_.write(text_);
    }
    void finish(const PageTotals &totals) override
    {
        QString text = first_ ? u"],\"totals\":"_s : u"\n],\"totals\":"_s;
        appendTotals(text, totals);
        text += u'}';
        out_.write(text);
    }

private:
    bool first_ = true;
};

// One JSON object a line: the listing, each entry, the totals, told apart by "record".
class Ndjson final : public DataWriter
{
public:
    using DataWriter::DataWriter;

    void start() override
    {
        QString text = u"{\"record\":\"listing\","_s;
        appendHeader(text);
        text += u"}\n"_s;
        out_.write(text);
    }
    void entry(const PageEntry &entry) override
    {
        text_.clear();
        appendObject(text_, entry, u"\"record\":\"entry\",");
        text_ += u'\n';
        out_.write(text_);
    }
    void finish(const PageTotals &totals) override
    {
        QString text = u"{\"record\":\"totals\",\"totals\":"_s;
        appendTotals(text, totals);
        text += u"}\n"_s;
        out_.write(text);
    }
};

// A field of a CSV row: quoted when it holds a quote, comma or line break, or spaces at an
// end; a text a spreadsheet would run as a formula starts with an apostrophe.
void appendCsvField(QString &out, QStringView text, bool guard)
{
    const bool formula = guard && !text.isEmpty() &&
                         (text[0] == u'=' || text[0] == u'+' || text[0] == u'-' ||
                          text[0] == u'@' || text[0] == u'\t' || text[0] == u'\r');
    const bool quoted = formula || text.contains(u'"') || text.contains(u',') ||
                        text.contains(u'\n') || text.contains(u'\r') ||
                        (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    if (!quoted) {
        out += text;
        return;
    }
    out += u'"';
    if (formula)
        out += u'\'';
    out += text.toString().replace(u"\""_s, u"\"\""_s);
    out += u'"';
}

// A header row and one row an entry, as RFC 4180 writes them; the folder and the totals are
// the JSON formats'.
class Csv final : public DataWriter
{
public:
    using DataWriter::DataWriter;

    void start() override
    {
        out_.write(QString(QString::fromLatin1(kCsvHeader) +
                           (model_.options.checksum ? u",sha256\r\n"_s : u"\r\n"_s)));
    }
    void entry(const PageEntry &entry) override
    {
        fieldsOf(f_, entry, folderTarget_, times_);
        text_.clear();
        // A name shown with an apostrophe before it keeps its exact bytes beside it, the
        // first one escaped so that they are no formula either.
        const QStringView name = entry.name.text;
        const bool guarded = !name.isEmpty() && QStringView(u"=+-@\t\r").contains(name[0]);
        appendCsvField(text_, name, true);
        text_ += u',';
        if (guarded)
            appendCsvField(text_, nameBytes(entry.name, true), false);
        else
            appendCsvField(text_, f_.nameBytes, false);
        text_ += u',';
        // A target a spreadsheet would take for a formula is relative: "./" goes first.
        if (!f_.target.isEmpty() && QStringView(u"=+-@").contains(f_.target[0]))
            f_.target.prepend(u"./"_s);
        appendCsvField(text_, f_.target, true);
        text_ += u',' + f_.kind + u',';
        if (f_.size)
            AppendDecimal(text_, *f_.size);
        text_ += u',' + f_.modified + u',';
        if (f_.modifiedNanos)
            AppendDecimal(text_, *f_.modifiedNanos);
        text_ += u',' + f_.created + u',';
        if (f_.createdNanos)
            AppendDecimal(text_, *f_.createdNanos);
        if (model_.options.checksum) {
            text_ += u',';
            if (entry.facts && !entry.facts->sha256.isEmpty())
                text_ += QLatin1StringView(entry.facts->sha256.toHex());
        }
        text_ += u"\r\n"_s;
        out_.write(text_);
    }
    void finish(const PageTotals &) override {}
};

// The lines sha256sum writes and checks, one a file with a sum: its sum, two spaces, its
// name's exact bytes; a name with a line break or a backslash escaped as sha256sum escapes
// it, the line then led by a backslash. A comment line, which sha256sum passes over, marks
// what a tree run wrote.
class Sums final : public PageWriter
{
public:
    Sums(const PageModel &model, PageSink &sink) : model_(model), sink_(sink) {}

    void start() override
    {
        if (model_.options.treeMark)
            sink_.append(kSumsMark);
    }
    void entry(const PageEntry &entry) override
    {
        if (entry.kind != EntryKind::File || !entry.facts || entry.facts->sha256.isEmpty())
            return;
        // "-" alone is standard input to sha256sum: the file is "./-".
        const QByteArray name = entry.name.bytes == "-" ? QByteArray("./-") : entry.name.bytes;
        QByteArray escaped = name;
        const bool escape = name.contains('\\') || name.contains('\n') || name.contains('\r');
        if (escape)
            escaped.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r");
        line_ = escape ? QByteArray("\\") : QByteArray();
        line_ += entry.facts->sha256.toHex() + "  " + escaped + '\n';
        sink_.append(line_);
    }
    void finish(const PageTotals &) override {}

private:
    const PageModel &model_;
    PageSink &sink_;
    QByteArray line_;
};

template <typename Writer>
std::unique_ptr<PageWriter> dataWriter(const PageModel &model, const FileTimeFormat &,
                                       PageSink &sink)
{
    return std::make_unique<Writer>(model, sink);
}

} // namespace

const PageFormat &JsonFormat()
{
    static const PageFormat format{
        "json",           ".json", "\n", PageEncoding::Utf8, "\"generator\":\"Dirweaver --tree\"",
        dataWriter<Json>, false,   true, "application/json"};
    return format;
}

const PageFormat &NdjsonFormat()
{
    static const PageFormat format{"ndjson",
                                   ".ndjson",
                                   "",
                                   PageEncoding::Utf8,
                                   "\"generator\":\"Dirweaver --tree\"",
                                   dataWriter<Ndjson>,
                                   false,
                                   true,
                                   "application/x-ndjson"};
    return format;
}

const PageFormat &Sha256SumsFormat()
{
    static const PageFormat format{"sha256sums",     "",    "",   PageEncoding::Utf8, kSumsMark,
                                   dataWriter<Sums>, false, true, "text/plain"};
    return format;
}

const PageFormat &CsvFormat()
{
    // Every row is data: the header this program writes is the mark that it wrote the file.
    static const PageFormat format{"csv",           ".csv", "",   PageEncoding::Utf8, kCsvHeader,
                                   dataWriter<Csv>, false,  true, "text/csv"};
    return format;
}

} // namespace dirweaver
