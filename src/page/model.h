#pragma once

#include "options.h"
#include "selection/filelist.h"
#include "selection/filesystem.h"
#include "selection/nativename.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace dirweaver {

/// What an entry of a page is.
enum class EntryKind { Parent, Folder, File };

/// Where an entry links, below the page's folder, as names: nothing escaped, each format
/// writing it its own way.
struct LinkPath
{
    /// The names on the way, the entry's own last; empty for a file: its own name.
    QList<NativeName> parts;
    /// It leads to a folder: the target ends in '/'.
    bool folder = false;
    /// It starts in the parent folder ("../"): relative, whatever a page puts before the
    /// targets of its own folder's entries.
    bool up = false;
};

/// A folder line of a page, listed before the files: a sub-folder, or the parent's page.
struct FolderEntry
{
    /// Parent or Folder.
    EntryKind kind = EntryKind::Folder;
    /// The sub-folder's own name; ".." for the parent.
    NativeName name;
    /// What the page shows for it: "sub/", "../" (which the page writes in its words).
    QString shown;
    /// Where it links.
    LinkPath link;
    /// Its dates (no size: negative), when the page shows them or is ordered by them.
    std::optional<FileFacts> facts;
};

/// A page above a tree's page, as its heading links it.
struct AncestorPage
{
    /// What the heading shows for it: its folder's own title, as page text.
    QString shown;
    /// Its page's file name.
    NativeName page;
    /// How many folders up it is: 1 for the parent's.
    int up = 1;
};

/// One folder's page as data, what every page format writes: the folder, its entries in page
/// order with raw names and raw links, and the options with their titles. The files' facts
/// are read as the page is written, so that a large folder's page streams.
struct PageModel
{
    /// The folder listed, as it was given (its path, or a walk's name for it).
    NativeName folder;
    /// The files, in page order.
    QList<NativeName> files;
    /// The options, titles included; their encoding is the page's.
    PageOptions options;
    /// Folder lines before the files: the parent's page, then sub-folders, in page order.
    QList<FolderEntry> folders;
    /// The folder as the file system is asked for the files' facts; its path is folder's.
    FolderRef source;
    /// With a base address: the folder's path below the folder the address stands for.
    QByteArray basePath;
    /// The order the entries are in, which a table page marks on its header.
    FileOrder order;
    /// The collation names are ordered by, as a browser's script names it ("zh-CN"); empty
    /// for the program's default.
    QString collation;
    /// In a tree: the pages above this one, the top's first; the top's and the nearest ones
    /// where the tree is deep.
    QList<AncestorPage> ancestors;
};

/// The entry of a page as a format receives it.
struct PageEntry
{
    /// What it is.
    EntryKind kind;
    /// Its own name (".." for the parent).
    const NativeName &name;
    /// What the page shows for it.
    QStringView shown;
    /// Where it links.
    const LinkPath &link;
    /// Its facts: nullopt when they cannot be read or none are shown; a negative size for a
    /// folder, which shows none.
    const std::optional<FileFacts> &facts;
};

/// What a page lists in all, known at its end.
struct PageTotals
{
    /// Sub-folder lines (the parent not counted) and files.
    qint64 folders = 0, files = 0;
    /// The files' bytes, as far as they could be read; the largest count where they overflow.
    qint64 bytes = 0;
};

/// folder with a trailing '/' added unless it has one already; the root keeps its single one.
NativeName FolderPath(const NativeName &folder);

} // namespace dirweaver
