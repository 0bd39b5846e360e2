#pragma once

#include "filesystem.h"
#include "nativename.h"

#include <QCollator>
#include <QList>
#include <QLocale>
#include <QString>

#include <vector>

namespace dirweaver {

/// The files of one folder that a pattern selects, in page order.
struct FileListing
{
    /// The names, sorted case-insensitively in the locale's collation, ties by exact bytes.
    QList<NativeName> names;
    /// 0 when the folder was read, else the errno value that stopped it; names is then empty.
    int error = 0;
};

/// The non-hidden names of a folder listing that match pattern, in folder order.
QList<NativeName> SelectFiles(const FolderListing &listing, const QString &pattern);

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

/// Sorts names with a FileSorter for locale; returns where each came from.
std::vector<qsizetype> SortFiles(QList<NativeName> &names, const QLocale &locale);

/// Lists the regular, non-hidden files of folder whose names match pattern, each once and
/// without any limit on their number, sorted for locale.
FileListing ListFiles(const FileSystem &fs, const QByteArray &folder, const QString &pattern,
                      const QLocale &locale);

} // namespace dirweaver
