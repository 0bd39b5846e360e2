#include "filelist.h"

#include "filter.h"

#include <QSet>

#include <optional>

#include <QCollator>
#include <QCollatorSortKey>

#include <algorithm>
#include <numeric>
#include <vector>

namespace dirweaver {

std::vector<qsizetype> FileOrder::arrange(const std::vector<std::optional<qint64>> &keys) const
{
    std::vector<qsizetype> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    if (key == SortKey::Name) {
        if (reverse)
            std::reverse(order.begin(), order.end());
        return order;
    }
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const std::optional<qint64> &ka = keys[size_t(a)], &kb = keys[size_t(b)];
        if (ka.has_value() != kb.has_value())
            return ka.has_value();
        if (!ka || *ka == *kb)
            return false;
        return reverse ? *ka < *kb : *ka > *kb;
    });
    return order;
}

namespace {

// What a selection leaves out of any listing, files or folders, its masks parsed once.
class LeftOut
{
public:
    explicit LeftOut(const Selection &selection) : selection_(selection)
    {
        if (!selection.exclude.isEmpty())
            excluded_.emplace(selection.exclude);
    }
    // Before a name is read as text: empty, hidden, or the page itself or one beside it.
    bool byBytes(const QByteArray &name) const
    {
        return name.isEmpty() || (!selection_.hidden && name.startsWith('.')) ||
               selection_.leaveOut.contains(name);
    }
    bool byText(QStringView text) const { return excluded_ && excluded_->matches(text); }

private:
    const Selection &selection_;
    std::optional<FileMask> excluded_;
};

} // namespace

QList<NativeName> SelectFiles(const FolderListing &listing, const Selection &selection)
{
    const FileMask mask(selection.pattern);
    const LeftOut leftOut(selection);
    QList<NativeName> names;
    names.reserve(listing.names.size());
    for (const QByteArray &bytes : listing.names) {
        if (leftOut.byBytes(bytes))
            continue;
        NativeName name = NativeName::fromBytes(bytes);
        if (mask.matches(name.text) && !leftOut.byText(name.text))
            names.append(std::move(name));
    }
    return names;
}

FileSorter::FileSorter(const QLocale &locale) : collator_(locale), numeric_(locale)
{
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
    numeric_.setCaseSensitivity(Qt::CaseInsensitive);
    numeric_.setNumericMode(true);
}

std::vector<qsizetype> FileSorter::sort(QList<NativeName> &names, bool numeric) const
{
    // Sort keys once per name: comparing keys is far cheaper than collating pairs.
    const QCollator &collator = numeric ? numeric_ : collator_;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(names.size()));
    for (const NativeName &name : std::as_const(names))
        keys.push_back(collator.sortKey(name.text));
    std::vector<qsizetype> order(size_t(names.size()));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int c = keys[size_t(a)].compare(keys[size_t(b)]);
        return c != 0 ? c < 0 : names[a].bytes < names[b].bytes;
    });
    // Put in order where the names stand, a cycle at a time: a second list of a million
    // names would double the list's memory for a moment.
    std::vector<bool> placed(order.size());
    for (size_t start = 0; start < order.size(); ++start) {
        if (placed[start])
            continue;
        NativeName first = std::move(names[qsizetype(start)]);
        size_t at = start;
        for (;;) {
            placed[at] = true;
            const size_t from = size_t(order[at]);
            if (from == start)
                break;
            names[qsizetype(at)] = std::move(names[qsizetype(from)]);
            at = from;
        }
        names[qsizetype(at)] = std::move(first);
    }
    return order;
}

SubFolderList ListSubFolders(const FileSystem &fs, const FolderRef &folder,
                             const FileSorter &sorter, bool withLinks, const Selection &selection)
{
    return SortedSubFolders(fs.subFolders(folder), sorter, withLinks, selection);
}

SubFolderList SortedSubFolders(const FolderListing &listing, const FileSorter &sorter,
                               bool withLinks, const Selection &selection, bool numeric)
{
    SubFolderList list;
    list.error = listing.error;
    list.identity = listing.identity;
    list.names.reserve(listing.names.size());
    const LeftOut leftOut(selection);
    const QSet<QByteArray> links =
        withLinks ? QSet<QByteArray>()
                  : QSet<QByteArray>(listing.links.begin(), listing.links.end());
    for (const QByteArray &name : listing.names) {
        if (links.contains(name) || leftOut.byBytes(name))
            continue;
        NativeName sub = NativeName::fromBytes(name);
        if (!leftOut.byText(sub.text))
            list.names.append(std::move(sub));
    }
    sorter.sort(list.names, numeric);
    return list;
}

} // namespace dirweaver
