#pragma once

#include "filetime.h"
#include "model.h"
#include "sink.h"

#include <QByteArrayView>
#include <QString>

#include <memory>

namespace dirweaver {

/// One page being written in a format: everything before the entries, each entry, and the
/// end. The writer makes every byte: its markup or syntax, escapes, encoding.
class PageWriter
{
public:
    virtual ~PageWriter() = default;
    /// Writes everything before the first entry.
    virtual void start() = 0;
    /// Writes one entry.
    virtual void entry(const PageEntry &entry) = 0;
    /// Writes everything after the last entry.
    virtual void finish(const PageTotals &totals) = 0;
};

/// A page format: what its files are called and how they are made. One object each, for
/// the life of the program.
struct PageFormat
{
    /// How --style names it.
    QByteArrayView name;
    /// The end of its files' names, as a tree names its pages.
    QByteArrayView suffix;
    /// What ends a file of it, after the page: a line end.
    QByteArrayView fileEnd;
    /// Its encoding when none is asked for.
    PageEncoding encoding;
    /// What a page a tree run wrote holds in its first 4 KiB, and only such pages.
    QByteArrayView treeMark;
    /// A writer of model's page into sink; dates written in dates.
    std::unique_ptr<PageWriter> (*writer)(const PageModel &model, const FileTimeFormat &dates,
                                          PageSink &sink);
    /// Its names are ordered with the numbers in them by value ("file2" before "file10"), as
    /// its own script orders them.
    bool numericNames = false;
    /// Data for programs: every fact of every entry, UTF-8 always, targets relative to the
    /// listing (or under the base address), and "index" plus the suffix in a tree.
    bool data = false;
    /// Its media type, as a web server or an object store names it (without the charset).
    QByteArrayView mediaType = "text/html";
};

/// The classic page: a paragraph of link lines with padded annotations, in GBK.
const PageFormat &ClassicFormat();
/// The table page: one sortable, filterable table, inline style and script, in UTF-8.
const PageFormat &TableFormat();
/// One JSON document: the listing's folder, its entries one a line, its totals.
const PageFormat &JsonFormat();
/// JSON lines: the listing, then each entry, then the totals, one object a line.
const PageFormat &NdjsonFormat();
/// CSV (RFC 4180): a header row and a row an entry.
const PageFormat &CsvFormat();
/// The SHA256SUMS file of a tree's folder, as sha256sum -c reads it: a line a file.
const PageFormat &Sha256SumsFormat();

/// What a page of a tree run holds in its head, in every HTML format.
inline constexpr QByteArrayView kTreePageMark =
    "<META name=\"generator\" content=\"Dirweaver --tree\">";

} // namespace dirweaver
