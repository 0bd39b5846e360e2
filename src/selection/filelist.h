#pragma once

#include "filesystem.h"
#include "nativename.h"

#include <QCollator>
#include <QList>
#include <QLocale>
#include <QString>

#include <vector>

namespace dirweaver {

/// The non-hidden names of a folder listing that match pattern, in folder order.
QList<NativeName> SelectFiles(const FolderListing &listing, QStringView pattern);

/// Sorts lists of names case-insensitively in the collation of a locale, ties by exact bytes;
/// made once for many folders.
class FileSorter
{
public:
    /// A sorter for locale's collation.
    explicit FileSorter(const QLocale &locale);
    /// Sorts names; returns where each name came from (names[i] was at the returned [i]).
    std::vector<qsizetype> sort(QList<NativeName> &names) const;

private:
    QCollator collator_;
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

/// The sub-folders of folder sorted by sorter; links to folders among them unless withLinks
/// is false.
SubFolderList ListSubFolders(const FileSystem &fs, const FolderRef &folder,
                             const FileSorter &sorter, bool withLinks = true);

} // namespace dirweaver
