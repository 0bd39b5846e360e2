#pragma once

#include "model.h"
#include "options.h"
#include "selection/filelist.h"
#include "selection/filesystem.h"
#include "selection/filter.h"
#include "selection/nativename.h"
#include "selection/prefetch.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <memory>
#include <optional>

namespace dirweaver {

/// How a page links the sub-folders of its folder, listed before the files.
enum class FolderLinks {
    /// No folder lines, as on the window's page.
    None,
    /// Each sub-folder linked as itself, "name/".
    Folders,
    /// Each sub-folder linked to its own page inside it, as a tree writes them.
    Pages,
};

/// Everything but the folder that decides a folder's page: the same for the window, a single
/// page and a tree.
struct FolderPageRequest
{
    /// The file pattern: wildcard masks joined by ';'.
    QString pattern = kAllFilesPattern.toString();
    /// Files and folders whose names match these masks are not listed, linked or entered.
    QString exclude;
    /// Dot-files are listed and dot-folders entered too.
    bool hidden = false;
    /// With FolderLinks::Pages: how many levels below the top get pages; -1 for all.
    int depth = -1;
    /// The order of the files, and of the folder lines (by date, or else by name).
    FileOrder order;
    /// With a base address (PageOptions::baseUrl) in a tree: the folder's path below the top.
    QByteArray basePath;
    /// The page options; their titles give way to the folder's own unless given below.
    PageOptions options;
    /// Titles the user gave, kept instead of the folder's own.
    std::optional<QString> browserTitle, headerTitle;
    /// How sub-folders are linked.
    FolderLinks folderLinks = FolderLinks::None;
    /// With FolderLinks::Pages: every page's file name; empty for each folder's own name
    /// plus ".htm".
    QByteArray pageName;
    /// With FolderLinks::Pages below the top: the parent's page, linked before the sub-folders.
    QByteArray parentPage;
    /// With FolderLinks::Pages below the top: the pages above, as a heading links them.
    QList<AncestorPage> ancestors;
    /// With FolderLinks::Pages: the pages of the other styles a tree run writes beside these
    /// (their page name and format), which are not listed either.
    QList<std::pair<QByteArray, const PageFormat *>> siblingPages;
    /// With FolderLinks::Pages: pages replace any regular file at their name, not only the
    /// pages a tree run wrote.
    bool force = false;
    /// With FolderLinks::Pages: folders on another file system than the top's are not
    /// entered.
    bool oneFileSystem = false;
};

/// A folder's files as its page lists them.
struct FolderFiles
{
    /// 0 when the folder was read, else the errno value that stopped it; names is then empty.
    int error = 0;
    /// The files, in page order.
    QList<NativeName> names;
    /// Their facts, being read, when they were asked for.
    std::unique_ptr<FactsPrefetch> facts;
};

/// The regular files of folder that selection lists, in order's order (sorted by sorter by
/// name first); with wantFacts, or an order by facts, their facts start being read on a
/// second core while they are sorted.
FolderFiles ListFolderFiles(const FileSystem &fs, const FolderRef &folder,
                            const Selection &selection, const FileSorter &sorter,
                            bool wantFacts = false, const FileOrder &order = {});
/// The same from a listing of the folder's regular files already read; the facts are read on
/// runner's threads where one is given.
FolderFiles ListFolderFiles(const FileSystem &fs, const FolderRef &folder,
                            const FolderListing &listing, const Selection &selection,
                            const FileSorter &sorter, bool wantFacts = false,
                            const FileOrder &order = {}, TaskRunner *runner = nullptr);

/// A folder's entries as its page lists them, read once: a window keeps them while its
/// options change.
struct ListedFolder
{
    /// 0 when the folder was read, else the errno value that stopped it; names are then empty.
    int error = 0;
    /// The files, in page order.
    QList<NativeName> files;
    /// Their facts, being read, when they were asked for.
    std::unique_ptr<FactsPrefetch> facts;
    /// The sub-folders a page links (in name order), when it links any.
    QList<NativeName> subFolders;
    /// In a tree: files of the folder named as the program's temporary files are, which an
    /// interrupted run may have left.
    QList<QByteArray> leftovers;
};

/// Lists folder as request asks: its files that the request selects, ordered as it asks (the
/// facts read on a second core while they are sorted, where the page shows them or is
/// ordered by them), and its sub-folders when the page links them: those given by a walk
/// that listed them already (in the order the page's format lists them), or else from the same
/// reading of the folder, or entries when the caller read the folder already. The facts are read on
/// runner's threads where one is given.
ListedFolder ListFolder(const FileSystem &fs, const FolderRef &folder,
                        const FolderPageRequest &request, const FileSorter &sorter,
                        const QList<NativeName> *subFolders = nullptr,
                        std::optional<FolderEntries> entries = std::nullopt,
                        TaskRunner *runner = nullptr);

/// The page model of folder (the path a page names it by, held open where a walk holds it)
/// for request, from its listed files and sub-folders: the titles the request gives or the
/// folder's own, the folder lines its links ask for, in the order it asks for, with their
/// dates where the page shows them (read on runner's threads where one is given).
PageModel FolderModel(const FileSystem &fs, const FolderRef &folder, QList<NativeName> files,
                      const QList<NativeName> &subFolders, const FolderPageRequest &request,
                      TaskRunner *runner = nullptr);

/// What request lists of a folder's entries; leaveOut are files never listed.
Selection SelectionOf(const FolderPageRequest &request, const QList<QByteArray> &leaveOut = {});

/// One folder's page, ready for the builder.
struct FolderPage
{
    /// 0 when the folder was read, else the errno value that stopped it.
    int error = 0;
    /// What the builder writes.
    PageModel model;
    /// The files' facts, when the page shows any.
    std::unique_ptr<FactsPrefetch> facts;
    /// See ListedFolder.
    QList<QByteArray> leftovers;
};

/// The page of folder for request: ListFolder (from entries, when the caller read the
/// folder already), then FolderModel.
FolderPage PrepareFolderPage(const FileSystem &fs, const FolderRef &folder,
                             const FolderPageRequest &request, const FileSorter &sorter,
                             const QList<NativeName> *subFolders = nullptr,
                             TaskRunner *runner = nullptr,
                             std::optional<FolderEntries> entries = std::nullopt);

/// The --name of style's pages where a tree run writes several styles: the name given with
/// its suffix made style's ("index.htm" gives "index.json"); as given for one style.
QByteArray StylePageName(const QByteArray &pageName, const PageFormat &style, bool several);

/// The file name of folder's page in a tree: pageName, or with index "index" plus suffix, as
/// programs look for a listing, or the folder's own name plus suffix (".htm", as the save
/// dialog proposes it), the name cut before a whole character when the suffix would make it
/// longer than a file name may be.
QByteArray TreePageName(const QByteArray &folder, const QByteArray &pageName,
                        QByteArrayView suffix = ".htm", bool index = false);

} // namespace dirweaver
