#include "catalog.h"

#include "annotations.h"
#include "catalogassets.h"
#include "escape.h"
#include "filetime.h"

#include "text/digits.h"
#include "text/html.h"

#include <vector>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// The time a record keeps of facts: the one the catalogue shows.
std::optional<qint64> shownTime(const std::optional<FileFacts> &facts, FileDate date)
{
    if (!facts)
        return std::nullopt;
    return date == FileDate::Created ? facts->birthTime : facts->modifiedTime;
}

// One folder's record: "d/<time>/<name>" a sub-folder, "f/<size>/<time>/<name>" a file, in
// page order; numbers in base 36, empty when unknown.
class Record final : public PageWriter
{
public:
    Record(const PageModel &model, PageSink &sink) : model_(model), out_(sink, PageEncoding::Utf8)
    {
    }

    void start() override {}
    void entry(const PageEntry &entry) override
    {
        if (entry.kind == EntryKind::Parent)
            return;
        line_.clear();
        if (entry.kind == EntryKind::Folder) {
            line_ += u"d/"_s;
        } else {
            line_ += u"f/"_s;
            if (entry.facts && entry.facts->size >= 0)
                line_ += QString::number(entry.facts->size, 36);
            line_ += u'/';
        }
        if (const std::optional<qint64> time = shownTime(entry.facts, model_.options.date))
            line_ += QString::number(*time, 36);
        line_ += u'/';
        line_ += CatalogName(entry.name.bytes);
        line_ += u'\n';
        out_.write(line_);
    }
    void finish(const PageTotals &) override {}

private:
    const PageModel &model_;
    TextWriter out_;
    QString line_;
};

std::unique_ptr<PageWriter> makeRecord(const PageModel &model, const FileTimeFormat &,
                                       PageSink &sink)
{
    return std::make_unique<Record>(model, sink);
}

// UTF-16 units of the UTF-8 text bytes, as the page's script counts them.
qsizetype utf16Length(QByteArrayView bytes)
{
    qsizetype units = 0;
    for (const char c : bytes) {
        const auto b = uchar(c);
        units += (b & 0xc0) != 0x80;
        units += b >= 0xf0;
    }
    return units;
}

// A folder of the catalogue, in the order the page lists them (each before what it holds).
struct Node
{
    qsizetype tree = 0;
    QByteArray path;             // below the tree's top
    QByteArrayView name;         // its name's part of its parent's record; the top's is empty
    QByteArrayView time;         // its time, base 36
    QByteArray record;           // taken out of its tree's records, which then hold less and less
    qsizetype sub = 0;           // sub-folders listed
    qint64 files = 0, bytes = 0; // its own files
    qint64 allFiles = 0, allBytes = 0;  // and everything below
    qsizetype namesAt = 0, factsAt = 0; // where its files start in the two lists
};

// Each line of a record, split at its first slashes.
template <typename Each> void forEachLine(const QByteArray &record, Each each)
{
    qsizetype at = 0;
    while (at < record.size()) {
        qsizetype end = record.indexOf('\n', at);
        if (end < 0)
            end = record.size();
        each(QByteArrayView(record).sliced(at, end - at));
        at = end + 1;
    }
}

// Each file line of a record: its facts ("size/time") and its name.
template <typename Each> void forEachFile(const QByteArray &record, Each each)
{
    forEachLine(record, [&each](QByteArrayView line) {
        if (!line.startsWith("f/"))
            return;
        const qsizetype time = line.indexOf('/', line.indexOf('/', 2) + 1);
        each(line.sliced(2, time - 2), line.sliced(time + 1));
    });
}

// a + b, b not negative, stopping at the largest count rather than overflowing.
qint64 addCapped(qint64 a, qint64 b)
{
    return qMin(a, std::numeric_limits<qint64>::max() - b) + b;
}

// The catalogue's folders, each tree's from its top down, every folder before what it holds.
std::vector<Node> listFolders(CatalogPage &page)
{
    std::vector<Node> nodes;
    qsizetype folders = 0;
    for (const CatalogTree &tree : std::as_const(page.trees))
        folders += tree.records.size();
    nodes.reserve(size_t(folders));
    for (qsizetype t = 0; t < page.trees.size(); ++t) {
        CatalogTree &tree = page.trees[t];
        // A tree whose top could not be listed is not shown.
        if (!tree.records.contains(QByteArray()))
            continue;
        // Depth first without recursion: a deep tree needs no deep stack. A name or time is
        // a view into its parent's record, whose bytes stay where they are however it moves.
        std::vector<Node> stack{Node{t, {}, {}, {}, tree.records.take(QByteArray())}};
        while (!stack.empty()) {
            Node node = std::move(stack.back());
            stack.pop_back();
            std::vector<Node> children;
            forEachLine(node.record, [&](QByteArrayView line) {
                const qsizetype slash = line.indexOf('/', 2);
                if (line.startsWith("f/")) {
                    ++node.files;
                    bool ok = false;
                    const qint64 size = line.sliced(2, slash - 2).toLongLong(&ok, 36);
                    if (ok && size > 0)
                        node.bytes = addCapped(node.bytes, size);
                    return;
                }
                const QByteArrayView name = line.sliced(slash + 1);
                QByteArray path = node.path.isEmpty() ? QByteArray() : node.path + '/';
                path += CatalogNameBytes(name);
                const auto record = tree.records.find(path);
                if (record == tree.records.end())
                    return;
                QByteArray bytes = std::move(record.value());
                tree.records.erase(record);
                children.push_back(
                    Node{t, std::move(path), name, line.sliced(2, slash - 2), std::move(bytes)});
            });
            node.sub = qsizetype(children.size());
            node.path = QByteArray(); // its sub-folders have theirs
            nodes.push_back(std::move(node));
            for (auto child = children.rbegin(); child != children.rend(); ++child)
                stack.push_back(std::move(*child));
        }
    }
    // What lies below each folder, added up from the last folder back to the first.
    std::vector<qsizetype> parent(nodes.size(), -1), open;
    std::vector<qsizetype> left;
    for (qsizetype i = 0; i < qsizetype(nodes.size()); ++i) {
        while (!left.empty() && left.back() == 0) {
            left.pop_back();
            open.pop_back();
        }
        if (!open.empty()) {
            parent[size_t(i)] = open.back();
            --left.back();
        }
        open.push_back(i);
        left.push_back(nodes[size_t(i)].sub);
    }
    for (qsizetype i = qsizetype(nodes.size()) - 1; i >= 0; --i) {
        Node &node = nodes[size_t(i)];
        node.allFiles += node.files;
        node.allBytes = addCapped(node.allBytes, node.bytes);
        if (const qsizetype up = parent[size_t(i)]; up >= 0) {
            Node &above = nodes[size_t(up)];
            above.allFiles += node.allFiles;
            above.allBytes = addCapped(above.allBytes, node.allBytes);
        }
    }
    return nodes;
}

// The shown text of a name in the catalogue's escaping, as page text.
QString shownName(QByteArrayView name)
{
    QString text;
    AppendLinkText(text, NativeName::fromBytes(CatalogNameBytes(name)).text, HtmlText::Valid);
    return text;
}

// "(N files, total X)" after a top in the tree a browser without script shows; "(N)" after
// every other folder, which keeps a tree of many folders light.
QString counts(const Node &node, const PageWords &words)
{
    QString text = u" ("_s;
    AppendDecimal(text, node.allFiles);
    if (node.name.empty()) {
        text += node.allFiles == 1 ? words.file : words.files;
        text += words.total;
        AppendShortSize(text, node.allBytes, words);
    }
    return text + u')';
}

class CatalogWriter
{
public:
    CatalogWriter(CatalogPage page, const FileTimeFormat &dates, PageSink &sink)
        : page_(std::move(page)), dates_(dates), words_(dates.words()),
          out_(sink, PageEncoding::Utf8), sink_(sink)
    {
    }

    CatalogTotals write()
    {
        std::vector<Node> nodes = listFolders(page_);
        page_.trees.squeeze();
        CatalogTotals totals;
        totals.folders = qint64(nodes.size());
        for (const Node &node : nodes) {
            totals.files += node.files;
            totals.bytes = addCapped(totals.bytes, node.bytes);
        }
        head(totals);
        noScript(nodes);
        roots(nodes);
        folders(nodes);
        lists(nodes, true);
        lists(nodes, false);
        out_.write(QString(u"<script>\n"_s + kCatalogScript + u'(' + words_.catalogScript +
                           u")</script>\n</body>\n</html>\n"_s));
        return totals;
    }

private:
    void head(const CatalogTotals &totals)
    {
        const QString title = ValidHtmlText([this] {
            QString text;
            AppendHtmlText(text, page_.title);
            return text;
        }());
        QString text = u"<!DOCTYPE html>\n<html lang=\""_s + words_.htmlLang +
                       u"\">\n<head>\n<meta charset=\"utf-8\">"_s +
                       QString::fromLatin1(kCatalogMark) +
                       u"\n<meta name=\"viewport\" content=\"width=device-width, "
                       u"initial-scale=1\">\n<title>"_s +
                       title + u"</title>\n<style>\n"_s + kCatalogStyle + u"</style>\n</head>\n"_s;
        text += u"<body>\n<header><h1>"_s + title + u"</h1>\n<p id=\"sum\">"_s;
        FormatFileTime(text, dates_, page_.made);
        text += u" \u00b7 "_s;
        AppendDecimal(text, totals.folders);
        text += totals.folders == 1 ? words_.folder : words_.folders;
        AppendDecimal(text, totals.files);
        text += totals.files == 1 ? words_.file : words_.files;
        text += words_.total;
        AppendShortSize(text, totals.bytes, words_);
        text += u"</p></header>\n"_s;
        out_.write(text);
    }

    // The folder tree with counts, for a browser without script: a list in a list.
    void noScript(const std::vector<Node> &nodes)
    {
        QString text = u"<noscript><p>"_s + words_.catalogNote + u"</p>\n<ul class=\"ns\">"_s;
        std::vector<qsizetype> left;
        for (const Node &node : nodes) {
            text += u"\n<li>"_s;
            if (node.name.empty()) {
                QString shown;
                AppendLinkText(shown, page_.trees[node.tree].shown.text, HtmlText::Valid);
                text += u"<b>"_s + shown + u"</b>"_s;
            } else {
                text += shownName(node.name) + u'/';
            }
            text += counts(node, words_);
            // An item ends where the next begins: only the lists are closed.
            if (node.sub > 0) {
                text += u"<ul>"_s;
                left.push_back(node.sub);
            } else {
                while (!left.empty() && --left.back() == 0) {
                    left.pop_back();
                    text += u"</ul>"_s;
                }
            }
            if (text.size() > 65536) {
                out_.write(text);
                text.clear();
            }
        }
        out_.write(QString(text + u"\n</ul></noscript>\n<main id=\"app\" data-d=\""_s +
                           (page_.date == FileDate::Created ? words_.created : words_.modified) +
                           u"\" hidden></main>\n"_s));
    }

    // A tree a line, of those listed: where its links start, a tab, its top as shown.
    void roots(const std::vector<Node> &nodes)
    {
        QString text = u"<script type=\"text/plain\" id=\"dw-r\">"_s;
        for (const Node &node : nodes) {
            if (!node.name.empty())
                continue;
            const CatalogTree &tree = page_.trees[node.tree];
            text += tree.target + u'\t' + CatalogName(tree.shown.bytes) + u'\n';
        }
        out_.write(QString(text + u"</script>\n"_s));
    }

    // A folder a line, each before what it holds: its sub-folders, its files, their bytes,
    // its time, where its files' names and facts start in their lists, its name.
    void folders(const std::vector<Node> &nodes)
    {
        QString text = u"<script type=\"text/plain\" id=\"dw-f\">"_s;
        qsizetype namesAt = 0, factsAt = 0;
        for (const Node &node : nodes) {
            text += QString::number(node.sub, 36) + u'/' + QString::number(node.files, 36) + u'/' +
                    QString::number(node.bytes, 36) + u'/' + QString::fromLatin1(node.time) + u'/' +
                    QString::number(namesAt, 36) + u'/' + QString::number(factsAt, 36) + u'/' +
                    QString::fromUtf8(node.name) + u'\n';
            forEachFile(node.record, [&](QByteArrayView facts, QByteArrayView name) {
                namesAt += utf16Length(name) + 1;
                factsAt += facts.size() + 1; // ASCII
            });
            if (text.size() > 65536) {
                out_.write(text);
                text.clear();
            }
        }
        out_.write(QString(text + u"</script>\n"_s));
    }

    // Every file's name a line, or its size and time a line, folder after folder; after the
    // last, each record is let go once written.
    void lists(std::vector<Node> &nodes, bool names)
    {
        QByteArray bytes = names ? "<script type=\"text/plain\" id=\"dw-n\">"
                                 : "<script type=\"text/plain\" id=\"dw-s\">";
        for (Node &node : nodes) {
            forEachFile(node.record, [&](QByteArrayView facts, QByteArrayView name) {
                bytes += names ? name : facts;
                bytes += '\n';
            });
            if (!names)
                node.record = QByteArray();
            if (bytes.size() > 65536) {
                sink_.append(bytes);
                bytes.clear();
            }
        }
        bytes += "</script>\n";
        sink_.append(bytes);
    }

    CatalogPage page_;
    const FileTimeFormat &dates_;
    const PageWords &words_;
    TextWriter out_;
    PageSink &sink_;
};

} // namespace

const PageFormat &CatalogRecordFormat()
{
    static const PageFormat format{"catalog-record", "",         "",   PageEncoding::Utf8,
                                   kCatalogMark,     makeRecord, true, false};
    return format;
}

CatalogTotals WriteCatalog(CatalogPage page, const FileTimeFormat &dates, PageSink &sink)
{
    return CatalogWriter(std::move(page), dates, sink).write();
}

} // namespace dirweaver
