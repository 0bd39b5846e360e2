#pragma once

#include "folderpage.h"
#include "format.h"
#include "options.h"
#include "words.h"

#include "selection/nativename.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

namespace dirweaver {

/// What a catalogue keeps of one folder, as a tree walk makes it: its sub-folders and files
/// with their size and time, a line each, names in the catalogue's own escaping.
const PageFormat &CatalogRecordFormat();

/// One tree of a catalogue: its top as shown, where its links start, and its folders'
/// records.
struct CatalogTree
{
    /// The top folder as the heading and the folder tree show it.
    NativeName shown;
    /// The start of every link into the tree, ending in '/': a relative or absolute URL with
    /// every byte outside the unreserved ones percent-encoded.
    QString target;
    /// Each folder's record (CatalogRecordFormat), by its path below the top ("" the top);
    /// a folder without one was not listed and shows nowhere.
    QHash<QByteArray, QByteArray> records;
};

/// What a catalogue page holds: its trees, side by side, and what its heading says.
struct CatalogPage
{
    /// The trees, in the order given.
    QList<CatalogTree> trees;
    /// The browser's title and the heading.
    QString title;
    /// When the catalogue was made, in seconds since 1970 UTC.
    qint64 made = 0;
    /// Which of each file's times it shows.
    FileDate date = FileDate::Modified;
};

/// What a catalogue holds in all.
struct CatalogTotals
{
    /// Folders and files listed, and the files' bytes.
    qint64 folders = 0, files = 0, bytes = 0;
};

/// A catalogue the window asks for: the folder it shows and everything below it, listed as
/// its pages are, into a file.
struct CatalogueJob
{
    /// The file to write, and the folder whose tree it lists.
    QByteArray file, folder;
    /// What the window's pages are listed by: its pattern and its listing options.
    FolderPageRequest listing;
    /// The language the catalogue speaks.
    PageLanguage language = PageLanguage::Chinese;
    /// Folders and files listed so far; called on the walk's threads.
    std::function<void(qint64 folders, qint64 files)> progress;
    /// Asked before each folder: true stops the run, and nothing is written.
    std::function<bool()> stopped;
};

/// How a catalogue the window asked for ended.
struct CatalogueResult
{
    /// The file holds the catalogue.
    bool written = false;
    /// It was stopped: nothing was written.
    bool stopped = false;
    /// What went wrong, or was skipped, a line each.
    QString messages;
};

/// Makes a catalogue for the window: the command line's own run, handed in from above.
using CatalogueMaker = std::function<CatalogueResult(const CatalogueJob &job)>;

/// Writes page as one self-contained UTF-8 HTML file: inline style and script, the folder
/// tree with counts for a browser without script, and the names and facts stored once in a
/// compact text that the script reads without a node per file. Returns its totals. page is
/// taken: its records are let go as they are written.
CatalogTotals WriteCatalog(CatalogPage page, const FileTimeFormat &dates, PageSink &sink);

/// name's bytes in the catalogue's escaping: UTF-8 characters as they stand but for
/// controls, backslash and '<'; those, and every byte not part of a valid character, as
/// a backslash and two hexadecimal digits. Never holds a line break or a '/'.
QString CatalogName(const QByteArray &name);

/// The bytes of a name in the catalogue's escaping.
QByteArray CatalogNameBytes(QByteArrayView name);

/// bytes percent-encoded for a URL's path: everything but ASCII letters, digits and "-._~".
QString PercentEncoded(const QByteArray &bytes);

} // namespace dirweaver
