#pragma once

#include "foldernode.h"
#include "takedown.h"
#include "workers.h"

#include "output/treepage.h"
#include "page/folderpage.h"
#include "selection/filesystem.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

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
    /// On an object store: the listings, uploads, looks (HEAD) and deletions requested.
    std::array<qint64, 4> requests{};
};

/// The walk of a tree, on the calling thread, and the writing of every page on a pool of
/// threads, each page after its sub-folders' so that it links only pages that exist. It
/// reads through a source (the file system) and stores through a target: nothing else.
class TreeWalk
{
public:
    /// Tells what a walk is doing: a folder skipped (said at once), or the progress.
    struct Report
    {
        /// Says message on its own line.
        std::function<void(const QString &message)> skipped;
        /// Shows the progress, when it is due; folder makes the path of the folder at work.
        std::function<void(const TreeCounts &counts, const std::function<QByteArray()> &folder)>
            progress;
        /// Asked before each folder is entered: true stops the walk where it is.
        std::function<bool()> stopped;
    };

    /// A walk writing request's pages, reading through source and storing through target.
    TreeWalk(const FolderPageRequest &request, const FileSystem &source, TreeTarget &target,
             const QLocale &locale, Report report);
    ~TreeWalk();
    TreeWalk(const TreeWalk &) = delete;
    TreeWalk &operator=(const TreeWalk &) = delete;

    /// Walks the tree under top (its path as given), opened as topFolder; false when top
    /// itself cannot be read.
    bool run(const QByteArray &top, OpenFolder topFolder);
    /// What was done so far.
    TreeCounts counts() const;
    /// Why the top could not be read, once run returned false.
    int topError() const { return topError_; }
    /// The walk was stopped before it was done: what it made is not whole.
    bool stopped() const { return stopped_; }

private:
    struct Look;
    struct Frame;
    struct PageJob;
    struct Pending;
    using Held = std::shared_ptr<const OpenFolder>;

    QByteArray pageNameOf(const QByteArray &name) const;
    Look lookInto(Held folder, const FileSorter &sorter) const;
    Look openAndLook(const Held &parent, const QByteArray &name, const FileSorter &sorter) const;
    Look nextLook(Frame &frame);
    QList<AncestorPage> ancestors() const;
    bool enter(std::shared_ptr<const FolderNode> node, Look look, Frame *parent);
    void leave(Frame &frame);
    void write(const std::shared_ptr<Pending> &page);
    void written(const std::shared_ptr<Pending> &page, bool stands);
    static void linkStanding(Pending &page);
    bool writePage(const PageJob &job, const FileSorter &sorter, const PageBuilder &builder);
    void folderFailed(const FolderNode &node, int error);
    void skip(const QString &message);
    void count(const std::function<void(TreeCounts &)> &change);

    FolderPageRequest request_;
    const FileSystem &fs_;
    TreeTarget &target_;
    const FileSorter sorter_; // the walk's
    Report report_;
    mutable std::mutex mutex_; // the reports and the counts
    TreeCounts counts_;
    int topError_ = 0;
    bool stopped_ = false;
    std::deque<Frame> stack_;
    QSet<std::pair<quint64, quint64>> visited_;
    QByteArray topPath_;
    WalkRules rules_;
    PageTakedown takedown_;
    bool slow_ = false;          // the storage answers each request after a round trip
    std::promise<void> topDone_; // the top's page written, or a page failed
    std::once_flag failed_;
    // Last: its threads end before what they use goes.
    Workers pool_;
};

/// What entering a folder needs: it opened (or why not, or why it is not entered), its
/// ".noindex", its sub-folders to enter and those left out, and how long the first question
/// took.
struct TreeWalk::Look
{
    Held folder;
    bool noIndex = false;
    SubFolderList sub;
    QList<QByteArray> leftOut;
    // A folder without sub-folders to enter gets its page at once: its files, from the same
    // reading, so that it is not read twice.
    std::optional<FolderListing> files;
    std::chrono::nanoseconds asked{0};
};

/// A folder being walked: held open, its sub-folders still to enter, and the pages of those
/// entered, which it links once they are known to exist.
struct TreeWalk::Frame
{
    std::shared_ptr<const FolderNode> node;
    Held folder;
    QByteArray pageName;
    QByteArray parentPage;         // empty at the top
    QString title;                 // its heading's title, as its sub-folders' pages link it
    QList<AncestorPage> ancestors; // as its heading links them
    QList<NativeName> children;
    qsizetype next = 0;
    std::optional<FolderListing> files; // see Look
    // Its page, which waits for those of its sub-folders.
    std::shared_ptr<Pending> page;
    // On slow storage: the next sub-folders, opened and listed ahead on other threads.
    std::deque<std::shared_future<Look>> ahead;
};

/// One page to write, once its sub-folders' pages are written.
struct TreeWalk::PageJob
{
    std::shared_ptr<const FolderNode> node;
    Held folder;
    QByteArray pageName, parentPage;
    QList<AncestorPage> ancestors;
    QList<NativeName> withPages;
    std::optional<FolderListing> files; // see Look
};

/// A folder's page waiting for its sub-folders' pages, so that it links only those that
/// exist: written once the walk has left the folder and the last of them is done, by
/// whichever thread finishes last; nobody waits for it meanwhile.
struct TreeWalk::Pending
{
    std::mutex mutex;
    PageJob job;
    // Each sub-folder's name, and whether its page stands (-1 while it is written, or
    // when it was not entered: it gets no link).
    QList<NativeName> children;
    std::vector<int> written;
    int waiting = 0; // sub-folders entered whose page is not done yet
    bool left = false;
    std::shared_ptr<Pending> parent;
    qsizetype index = 0; // among the parent's sub-folders
};

} // namespace dirweaver
