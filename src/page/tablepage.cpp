#include "annotations.h"
#include "escape.h"
#include "format.h"
#include "text/digits.h"
#include "text/gbk.h"
#include "text/html.h"

#include "tableassets.h"

#include <limits>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// A header cell of the table the script draws: sort is its aria-sort value, or empty.
QString headerCell(QStringView key, QStringView sort, QStringView caption)
{
    QString cell = u"<th data-k=\""_s + key + u'"';
    if (!sort.isEmpty())
        cell += u" aria-sort=\""_s + sort + u'"';
    return cell + u"><button type=\"button\">"_s + caption + u"</button>"_s;
}

// The same cell of the full table a browser without script shows: nothing to click.
QString plainHeaderCell(QStringView sort, QStringView caption)
{
    if (sort.isEmpty())
        return u"<th>"_s + caption;
    return u"<th aria-sort=\""_s + sort + u"\">"_s + caption;
}

// How a column's header is marked when the files are in its order: by names rising, by
// sizes and times falling, unless reversed.
QStringView sortMark(bool sortedHere, bool rising)
{
    if (!sortedHere)
        return {};
    return rising ? u"ascending" : u"descending";
}

// The table page. The rows are written once, inside <noscript>: a browser without script
// shows them as the complete table, and one with script keeps them as plain text that the
// script reads and draws only what is in view of, so that no browser lays out 100,000 rows.
class Table final : public PageWriter
{
public:
    Table(const PageModel &model, const FileTimeFormat &format, PageSink &sink)
        : model_(model), options_(model.options), format_(format),
          folderTarget_(FolderTarget(model, true)), out_(sink, options_.encoding)
    {
    }

    void start() override
    {
        const PageWords &words = format_.words();
        const bool utf8 = options_.encoding == PageEncoding::Utf8;
        QString text = u"<!DOCTYPE html>\n<html lang=\""_s + words.htmlLang +
                       u"\">\n<head>\n<meta charset=\""_s + (utf8 ? u"utf-8"_s : u"gbk"_s) +
                       u"\">"_s;
        if (options_.treeMark)
            text += QString::fromLatin1(kTreePageMark);
        text += u"\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"_s;
        // Every target shares the folder part: named once, it makes the page far lighter.
        if (!folderTarget_.isEmpty())
            text += u"<base href=\""_s + folderTarget_ + u"\">\n"_s;
        text +=
            u"<title>"_s + ValidHtmlText(options_.browserTitle) + u"</title>\n<style>\n"_s + kStyle;
        QString columns = u"minmax(0,1fr)"_s;
        if (options_.showSize)
            columns += u" 6.5em"_s;
        if (options_.showDate)
            columns += u' ' + dateWidth();
        if (options_.checksum)
            columns += u" 9em"_s;
        text += kColumnsStyle.toString().arg(columns);
        if (options_.showSize)
            text += kSizeStyle.toString().arg(2);
        if (options_.showDate)
            text += kDateStyle.toString().arg(options_.showSize ? 3 : 2);
        if (options_.checksum)
            text += kSumStyle.toString().arg(2 + int(options_.showSize) + int(options_.showDate));
        text += u"</style>\n</head>\n<body>\n<main>\n<h1 id=\"h\">"_s;
        appendPath(text);
        text += ValidHtmlText(options_.headerTitle) + u"</h1>\n"_s +
                u"<input id=\"q\" type=\"search\" placeholder=\""_s + words.filter +
                u"\" aria-label=\""_s + words.filter + u"\" hidden>\n"_s;
        const FileOrder &order = model_.order;
        const bool byDate =
            (order.key == SortKey::Modified && options_.date == FileDate::Modified) ||
            (order.key == SortKey::Created && options_.date == FileDate::Created);
        const QStringView dateCaption =
            options_.date == FileDate::Modified ? words.modified : words.created;
        const QStringView byName = sortMark(order.key == SortKey::Name, !order.reverse),
                          bySize = sortMark(order.key == SortKey::Size, order.reverse),
                          byTime = sortMark(byDate, order.reverse);
        const QString collation = model_.collation.isEmpty() ? u"zh-CN"_s : model_.collation;
        text += u"<table id=\"t\" aria-labelledby=\"h\" data-c=\""_s;
        AppendHtmlText(text, collation);
        text += u"\" hidden>\n<thead><tr>"_s + headerCell(u"n", byName, words.name);
        QString plain = u"<noscript><table aria-labelledby=\"h\">\n<thead><tr>"_s +
                        plainHeaderCell(byName, words.name);
        if (options_.showSize) {
            text += headerCell(u"s", bySize, words.size);
            plain += plainHeaderCell(bySize, words.size);
        }
        if (options_.showDate) {
            text += headerCell(u"d", byTime, dateCaption);
            plain += plainHeaderCell(byTime, dateCaption);
        }
        // Sums are not an order: their column has no button.
        if (options_.checksum) {
            text += u"<th>SHA-256"_s;
            plain += u"<th>SHA-256"_s;
        }
        text += u"</thead>\n<tbody></tbody>\n</table>\n"_s + plain + u"</thead>\n<tbody>\n"_s;
        out_.write(text);
    }

    // One row, in the one shape the script reads: the row's class, the link, then a cell
    // per column, a size's bytes in data-v and a time's seconds in data-t, ended by a line
    // feed.
    void entry(const PageEntry &entry) override
    {
        text_.clear();
        switch (entry.kind) {
        case EntryKind::Parent:
            text_ += u"<tr class=\"p\">"_s;
            break;
        case EntryKind::Folder:
            text_ += u"<tr class=\"d\">"_s;
            break;
        case EntryKind::File:
            text_ += u"<tr>"_s;
            break;
        }
        // The folder part is the head's <base>: each target holds only its own part.
        text_ += u"<td><a href=\""_s;
        AppendEntryTarget(text_, {}, entry, options_.encoding, true);
        text_ += u"\">"_s;
        AppendLinkText(text_,
                       entry.kind == EntryKind::Parent ? format_.words().parent
                                                       : QStringView(entry.shown),
                       HtmlText::Valid);
        text_ += u"</a>"_s;
        const std::optional<FileFacts> &facts = entry.facts;
        if (options_.showSize) {
            text_ += u"<td"_s;
            if (facts && facts->size >= 0) {
                text_ += u" data-v="_s;
                AppendDecimal(text_, facts->size);
                text_ += u'>';
                AppendShortSize(text_, facts->size, format_.words());
            } else {
                text_ += u'>';
            }
        }
        if (options_.showDate) {
            const std::optional<qint64> time = !facts ? std::nullopt
                                               : options_.date == FileDate::Modified
                                                   ? facts->modifiedTime
                                                   : facts->birthTime;
            text_ += u"<td"_s;
            if (time) {
                text_ += u" data-t="_s;
                AppendDecimal(text_, *time);
            }
            text_ += u'>';
            FormatFileTime(text_, format_, time);
        }
        if (options_.checksum) {
            text_ += u"<td class=\"h\">"_s;
            if (facts && !facts->sha256.isEmpty())
                text_ += QLatin1StringView(facts->sha256.toHex());
        }
        text_ += u'\n';
        out_.write(text_);
    }

    void finish(const PageTotals &totals) override
    {
        const PageWords &words = format_.words();
        QString text = u"</tbody>\n</table></noscript>\n<p id=\"n\">"_s;
        if (totals.folders > 0) {
            AppendDecimal(text, totals.folders);
            text += totals.folders == 1 ? words.folder : words.folders;
        }
        AppendDecimal(text, totals.files);
        text += totals.files == 1 ? words.file : words.files;
        if (options_.showSize) {
            text += words.total + u"<span title=\""_s;
            AppendDecimal(text, totals.bytes);
            text += words.bytes + u"\">"_s;
            AppendShortSize(text, totals.bytes, words);
            text += u"</span>"_s;
        }
        text += u"</p>\n</main>\n<footer>"_s + ValidHtmlText(options_.footerTitle) +
                u"</footer>\n<script>\n"_s + kScript + u'(' + words.script +
                u");\n</script>\n</body>\n</html>"_s;
        out_.write(text);
    }

private:
    // In a tree, the pages above this one, each a link, before the page's own title; a
    // gap in them (a deep tree names only the top and the nearest) shows as an ellipsis.
    void appendPath(QString &text) const
    {
        int previous = 0;
        for (const AncestorPage &page : model_.ancestors) {
            if (previous > 0 && page.up < previous - 1)
                text += u"… / "_s;
            previous = page.up;
            text += u"<a href=\""_s + u"../"_s.repeated(page.up);
            AppendLinkTarget(text, page.page, options_.encoding, true);
            text += u"\">"_s;
            text += ValidHtmlText(page.shown) + u"</a> / "_s;
        }
    }

    // Wide enough for any date of the program's format: the widest of dates with two-digit
    // months and days at every third hour, whatever the time zone, at a little under two
    // thirds of an em for each column of display width (a Chinese character counts two).
    QString dateWidth() const
    {
        int width = Strlen(format_.words().unknown);
        for (qint64 hour = 0; hour < 24; hour += 3) {
            QString sample;
            FormatFileTime(sample, format_, 1797724800 + hour * 3600); // from 2026-12-20 UTC
            width = std::max(width, Strlen(sample));
        }
        return QString::number(width * 0.65, 'f', 1) + u"em"_s;
    }

    const PageModel &model_;
    const PageOptions &options_;
    const FileTimeFormat &format_;
    const QString folderTarget_;
    TextWriter out_;
    QString text_; // one row at a time, its capacity kept
};

std::unique_ptr<PageWriter> tableWriter(const PageModel &model, const FileTimeFormat &dates,
                                        PageSink &sink)
{
    return std::make_unique<Table>(model, dates, sink);
}

} // namespace

const PageFormat &TableFormat()
{
    static const PageFormat format{"table",       ".htm",      "\r\n", PageEncoding::Utf8,
                                   kTreePageMark, tableWriter, true};
    return format;
}

void AppendShortSize(QString &out, qint64 size, const PageWords &words)
{
    if (size < 1024) {
        AppendDecimal(out, size);
        out += words.bytes;
        return;
    }
    static constexpr QStringView kUnits[] = {u" KB", u" MB", u" GB", u" TB", u" PB", u" EB"};
    // In tenths of the unit, on integers so that huge sizes stay exact; a value that rounds
    // up to 1024 takes the next unit.
    int unit = 0;
    qint64 divisor = 1024;
    while (unit + 1 < 6 && size / divisor >= 1024) {
        divisor *= 1024;
        ++unit;
    }
    qint64 whole = size / divisor;
    const quint64 rest = quint64(size % divisor), d = quint64(divisor);
    qint64 tenths = -1;
    if (whole < 10) {
        tenths = qint64((rest * 10 + d / 2) / d); // 0 to 10; rest * 10 stays below 2^64
        if (tenths == 10) {
            ++whole;
            tenths = 0;
        }
    }
    if (whole >= 10) {
        // No decimal from 10 on: the whole number rounded half up.
        whole = size / divisor + (rest * 2 >= d ? 1 : 0);
        tenths = -1;
    }
    if (whole >= 1024 && unit + 1 < 6) {
        whole = 1;
        tenths = 0;
        ++unit;
    }
    AppendDecimal(out, whole);
    if (tenths >= 0) {
        out += u'.';
        AppendDecimal(out, tenths);
    }
    out += kUnits[unit];
}

} // namespace dirweaver
