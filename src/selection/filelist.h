#pragma once

#include "filesystem.h"
#include "filter.h"
#include "nativename.h"

#include <QCollator>
#include <QList>
#include <QLocale>
#include <QString>

#include <optional>
#include <vector>

namespace dirweaver {

/// Which entries of a folder a page lists.
struct Selection
{
    /// Every file but hidden ones.
    Selection() = default;
    /// The files that filePattern selects, hidden ones left out.
    Selection(const QString &filePattern) : pattern(filePattern) {}

    /// Files whose names match these masks (joined by ';') are listed.
    QString pattern = kAllFilesPattern.toString();
    /// Files and folders whose names match these masks are not, nor entered by a walk.
    QString exclude;
    /// Names starting with a dot are listed (and dot-folders entered) too.
    bool hidden = false;
    /// Files never listed: the page itself in a tree, and those written beside it.
    QList<QByteArray> leaveOut;
};

/// What a page's entries are ordered by, after their names.
enum class SortKey { Name, Modified, Created, Size };

/// The order of a page's entries: the name order, or newest (largest) first with ties in
/// name order and unknown dates last; reverse turns the known part round.
struct FileOrder
{
    /// What the entries are ordered by.
    SortKey key = SortKey::Name;
    /// Oldest, smallest or last name first.
    bool reverse = false;
    /// Names compare the numbers in them by value ("file2" before "file10"), as a page's own
    /// script sorts them.
    bool numeric = false;

    /// Where each of entries (already in name order) goes, keyed by key (nullopt: unknown):
    /// the entry now at place i is the one at the returned [i].
    std::vector<qsizetype> arrange(const std::vector<std::optional<qint64>> &keys) const;
};

/// The names of a folder listing that selection lists, in folder order.
QList<NativeName> SelectFiles(const FolderListing &listing, const Selection &selection);

/// Sorts lists of names case-insensitively in the collation of a locale, ties by exact bytes;
/// made once for many folders.
class FileSorter
{
public:
    /// A sorter for locale's collation.
    explicit FileSorter(const QLocale &locale);
    /// Sorts names, with numeric the numbers in them by value; returns where each name came
    /// from (names[i] was at the returned [i]).
    std::vector<qsizetype> sort(QList<NativeName> &names, bool numeric = false) const;
    /// The collation's locale, as a page's script names it ("zh-CN").
    QString collation() const { return collator_.locale().bcp47Name(); }

private:
    QCollator collator_, numeric_;
};

/// The sub-folders of one folder, as the folder list and the pages show them.
struct SubFolderList
{
    /// The names, sorted as a FileSorter sorts.
    QList<NativeName> names;
    /// 0 when the folder was read, else the errno value that stopped it; names is then empty.
    int error = 0;
    /// The folder's own device and inode.
    std::pair<quint64, quint64> identity{};
};

/// The sub-folders of folder that selection does not leave out, sorted by sorter; links to
/// folders among them unless withLinks is false.
SubFolderList ListSubFolders(const FileSystem &fs, const FolderRef &folder,
                             const FileSorter &sorter, bool withLinks = true,
                             const Selection &selection = {});
/// The same from a listing of sub-folders already read; numbers in names by value when
/// numeric.
SubFolderList SortedSubFolders(const FolderListing &listing, const FileSorter &sorter,
                               bool withLinks = true, const Selection &selection = {},
                               bool numeric = false);

} // namespace dirweaver
