#pragma once

#include "workers.h"

#include "page/folderpage.h"
#include "selection/filesystem.h"

#include <QByteArray>
#include <QIODevice>
#include <QSet>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace dirweaver {

/// What a tree run has done, for its summary and exit status.
struct TreeCounts
{
    /// Pages written anew, left as they were, and taken down.
    qsizetype written = 0, unchanged = 0, removed = 0;
    /// Files listed on the pages.
    qsizetype files = 0;
    /// Folders and pages skipped, each said on its own line.
    qsizetype skipped = 0;
    /// Folders not entered: another user's mount, or another file system under -x.
    qsizetype notEntered = 0;
};

/// The walk of a tree, on the calling thread, and the writing of every page on page writers,
/// each page after its sub-folders' so that it links only pages that exist.
class TreeWalk
{
public:
    /// Tells what a walk is doing: a folder skipped (said at once), or the page writer's
    /// progress (written, unchanged, files so far, the folder at work).
    struct Report
    {
        /// Says message on its own line.
        std::function<void(const QString &message)> skipped;
        /// Shows the progress, when it is due; folder makes the path of the folder at work.
        std::function<void(const TreeCounts &counts, const std::function<QByteArray()> &folder)>
            progress;
    };

    /// A walk writing request's pages, reading through fs.
    TreeWalk(const FolderPageRequest &request, const FileSystem &fs, const QLocale &locale,
             Report report);
    ~TreeWalk();
    TreeWalk(const TreeWalk &) = delete;
    TreeWalk &operator=(const TreeWalk &) = delete;

    /// Walks the tree under top, opened as topFd (which the walk takes) whose real path is
    /// realTop; false when top itself cannot be read.
    bool run(const QByteArray &top, int topFd, const QByteArray &realTop);
    /// What was done so far.
    TreeCounts counts() const;
    /// Why the top could not be read, once run returned false.
    int topError() const { return topError_; }

private:
    struct Node;
    struct Look;
    struct Frame;
    struct PageJob;

    QByteArray pageNameOf(const QByteArray &name) const;
    FolderRef held(const QByteArray &name, int fd) const;
    Look lookInto(const QByteArray &name, int fd, const FileSorter &sorter) const;
    Look openAndLook(int parentFd, quint64 parentDevice, const QByteArray &name,
                     const FileSorter &sorter) const;
    Look nextLook(Frame &frame);
    bool enter(std::shared_ptr<const Node> node, Look look, const QByteArray &parentPage);
    bool writePage(const PageJob &job, const FileSorter &sorter, const PageBuilder &builder);
    void takeDown(int fd, const std::shared_ptr<const Node> &node);
    int openToTakeDown(int parentFd, quint64 parentDevice, const QByteArray &name) const;
    void takeDownBelow(int parentFd, quint64 parentDevice, const QList<QByteArray> &names,
                       const std::shared_ptr<const Node> &parent);
    void skip(const QString &message);
    void count(const std::function<void(TreeCounts &)> &change);

    FolderPageRequest request_;
    const FileSystem &fs_;
    const FileSorter sorter_; // the walk's
    Report report_;
    mutable std::mutex mutex_; // the reports and the counts
    TreeCounts counts_;
    int topError_ = 0;
    std::deque<Frame> stack_;
    QSet<std::pair<quint64, quint64>> visited_;
    QByteArray within_, topPath_;
    quint64 topDevice_ = 0;
    bool slow_ = false; // the storage answers each request after a round trip
    const QLocale locale_;
    // Last: their threads end before what they use goes.
    Workers writers_;
    std::unique_ptr<Workers> listers_; // on slow storage only
};

} // namespace dirweaver
