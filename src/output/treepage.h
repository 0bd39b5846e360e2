#pragma once

#include "pagefile.h"

#include "selection/filesystem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace dirweaver {

/// What saving a tree's page did with the file at its name.
enum class TreePageSave {
    /// The page is now there.
    Written,
    /// The page there already held these very bytes and was left as it was.
    Unchanged,
    /// Something other than a regular file is at the name: a link, a folder, a FIFO...
    NotRegular,
    /// A file that no tree run wrote is at the name.
    NotOurs,
    /// The page could not be written (error says why), but the page of an earlier run is
    /// still there, so links to it still lead somewhere.
    Kept,
    /// The page could not be written and none is there; error says why.
    Failed,
};

/// Saves a tree's page as name in the open folder dirFd, never following or opening anything
/// at name but a regular file, and replacing that only when it carries mark (or force) and
/// its bytes differ: those are compared with the page as it is produced, and nothing is
/// written while they agree. A new page is made unnamed where the file system allows it and
/// linked in once complete, so that a killed run leaves nothing behind; it keeps a replaced
/// page's owner, group, mode, ACLs and extended attributes. The folder keeps its
/// modification time.
TreePageSave SaveTreePage(int dirFd, const QByteArray &name, const PageProducer &produce,
                          QByteArrayView mark, bool force, QString *error);

/// What taking a tree's page down did.
enum class TreePageRemoval {
    /// The page was removed.
    Removed,
    /// Nothing of the program's is at the name: no file, or a link, a folder, a hand-made
    /// page; it is left alone.
    NoneOurs,
    /// The page could not be removed; error says why.
    Failed,
};

/// Removes the page at name in the open folder dirFd if it is a regular file carrying mark
/// (never through a link); the folder keeps its modification time.
TreePageRemoval RemoveTreePage(int dirFd, const QByteArray &name, QByteArrayView mark,
                               QString *error);

/// Removes, of names in the open folder dirFd, the temporary files an interrupted run of
/// this program's user left there more than a day ago. Returns how many went.
int RemoveLeftTemporaries(int dirFd, const QList<QByteArray> &names);

/// Where a tree's pages go, each into the folder it lists: it stores a page and says whether
/// the one there was the program's own and unchanged, and takes pages down.
class TreeTarget
{
public:
    virtual ~TreeTarget() = default;
    /// Stores the page produce makes as name in folder, as SaveTreePage does.
    virtual TreePageSave store(const FolderRef &folder, const QByteArray &name,
                               const PageProducer &produce, QByteArrayView mark, bool force,
                               QString *error) = 0;
    /// Takes the page at name in folder down, as RemoveTreePage does.
    virtual TreePageRemoval remove(const FolderRef &folder, const QByteArray &name,
                                   QByteArrayView mark, QString *error) = 0;
    /// Clears the temporary files of names an interrupted run left in folder.
    virtual void clearLeftovers(const FolderRef &folder, const QList<QByteArray> &names) = 0;
    /// The folder handed to store is named by its whole path (the top's and the names below
    /// it) rather than by its own name alone, which a deep walk does not pay for otherwise.
    virtual bool wantsPaths() const { return false; }
    /// Makes what the run stored under top lasting, all at once at its end: one sync per page
    /// would cost more than the pages.
    virtual void settle(const QByteArray &top) = 0;
};

/// Pages as files beside the others in each folder, which a walk of the real file system
/// holds open.
class FolderPages final : public TreeTarget
{
public:
    /// See TreeTarget.
    TreePageSave store(const FolderRef &folder, const QByteArray &name, const PageProducer &produce,
                       QByteArrayView mark, bool force, QString *error) override
    {
        return SaveTreePage(folder.fd, name, produce, mark, force, error);
    }
    /// See TreeTarget.
    TreePageRemoval remove(const FolderRef &folder, const QByteArray &name, QByteArrayView mark,
                           QString *error) override
    {
        return RemoveTreePage(folder.fd, name, mark, error);
    }
    /// See TreeTarget.
    void clearLeftovers(const FolderRef &folder, const QList<QByteArray> &names) override
    {
        if (!names.isEmpty())
            RemoveLeftTemporaries(folder.fd, names);
    }
    /// Syncs the file system of top.
    void settle(const QByteArray &top) override;
};

} // namespace dirweaver
