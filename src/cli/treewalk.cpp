#include "treewalk.h"

#include "messages.h"

#include "output/treepage.h"
#include "page/format.h"

#include <QList>

#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirweaver {

using namespace Qt::StringLiterals;

// A folder of the walk: its own name and its parent, so that its path is only made when a
// message needs it and a deep tree costs memory in proportion to its folders.
struct TreeWalk::Node
{
    QByteArray name; // the whole path at the top
    std::shared_ptr<const Node> parent;

    QByteArray path() const
    {
        QList<const Node *> chain;
        for (const Node *node = this; node; node = node->parent.get())
            chain.append(node);
        QByteArray joined;
        for (qsizetype i = chain.size() - 1; i >= 0; --i)
            joined = joined.isEmpty() ? chain[i]->name : JoinPath(joined, chain[i]->name);
        return joined;
    }
};

// What entering a folder needs: it opened (or why not, or why it is not entered), its
// ".noindex", its sub-folders to enter and those left out, and how long the first question
// took.
struct TreeWalk::Look
{
    int fd = -1;
    int openError = 0;
    bool notEntered = false;
    bool noIndex = false;
    quint64 device = 0;
    SubFolderList sub;
    QList<QByteArray> leftOut;
    std::chrono::nanoseconds asked{0};
};

// A folder being walked: held open, its sub-folders still to enter, and the pages of those
// entered, which it links once they are known to exist.
struct TreeWalk::Frame
{
    std::shared_ptr<const Node> node;
    int fd = -1;
    quint64 device = 0;
    QByteArray pageName;
    QByteArray parentPage; // empty at the top
    QList<NativeName> children;
    qsizetype next = 0;
    QList<std::pair<NativeName, std::shared_future<bool>>> childPages;
    // On slow storage: the next sub-folders, opened and listed ahead on other threads.
    std::deque<std::shared_future<Look>> ahead;
};

// One page to write, once its sub-folders' pages are written.
struct TreeWalk::PageJob
{
    std::shared_ptr<const Node> node;
    int fd = -1; // closed by the job
    QByteArray pageName, parentPage;
    QList<NativeName> withPages;
};

namespace {

// How many page writers: a thread per core up to four (past that a local disk is the
// limit), or more on storage where each request waits.
int localWriters()
{
    return int(qBound(1u, std::thread::hardware_concurrency(), 4u));
}
constexpr int kOnSlowStorage = 16;
// How many sub-folders are looked into ahead on slow storage, each held open meanwhile.
constexpr qsizetype kAhead = 32;

} // namespace

TreeWalk::TreeWalk(const FolderPageRequest &request, const FileSystem &fs, const QLocale &locale,
                   Report report)
    : request_(request), fs_(fs), sorter_(locale), report_(std::move(report)), locale_(locale),
      writers_(fs, locale, localWriters())
{
    request_.options.treeMark = true;
}

TreeWalk::~TreeWalk() = default;

TreeCounts TreeWalk::counts() const
{
    const std::lock_guard lock(mutex_);
    return counts_;
}

void TreeWalk::count(const std::function<void(TreeCounts &)> &change)
{
    const std::lock_guard lock(mutex_);
    change(counts_);
}

void TreeWalk::skip(const QString &message)
{
    const std::lock_guard lock(mutex_);
    report_.skipped(message);
    ++counts_.skipped;
}

bool TreeWalk::run(const QByteArray &top, int topFd, const QByteArray &realTop)
{
    // Links are followed only to what lies in the tree, however its top is reached.
    within_ = realTop.isEmpty() ? top : realTop;
    topPath_ = top;
    topDevice_ = DeviceOf(topFd);
    const auto root = std::make_shared<const Node>(Node{top, nullptr});
    if (!enter(root, lookInto(top, topFd, sorter_), {}))
        return topError_ == 0; // none asked for: ".noindex" at the top
    std::shared_future<bool> topPage;
    while (!stack_.empty()) {
        Frame &frame = stack_.back();
        if (frame.next < frame.children.size()) {
            Look look = nextLook(frame);
            const NativeName &child = frame.children[frame.next++];
            auto node = std::make_shared<const Node>(Node{child.bytes, frame.node});
            if (look.notEntered)
                count([](TreeCounts &c) { ++c.notEntered; });
            else if (look.fd < 0)
                skip(FolderErrorMessage(node->path(), look.openError));
            else
                enter(std::move(node), std::move(look), frame.pageName);
            continue;
        }
        PageJob job{frame.node, frame.fd, frame.pageName, frame.parentPage, {}};
        for (const auto &[child, written] : frame.childPages) {
            if (written.get())
                job.withPages.append(child);
        }
        const NativeName own = NativeName::fromBytes(frame.node->name);
        std::shared_future<bool> page = writers_.add(
            [this, job = std::move(job)](const FileSorter &sorter, const PageBuilder &builder) {
                const bool written = writePage(job, sorter, builder);
                ::close(job.fd);
                return written;
            });
        stack_.pop_back();
        if (stack_.empty())
            topPage = std::move(page);
        else
            stack_.back().childPages.append({own, std::move(page)});
    }
    topPage.wait();
    return true;
}

// The name of the page of the folder called name.
QByteArray TreeWalk::pageNameOf(const QByteArray &name) const
{
    return TreePageName(name, request_.pageName, request_.options.format->suffix);
}

// The folder held open as fd, its links judged against the tree.
FolderRef TreeWalk::held(const QByteArray &name, int fd) const
{
    FolderRef folder(name, fd);
    folder.linksWithin = within_;
    return folder;
}

// Looks into the folder name open as fd (which the look holds): its ".noindex" and its
// sub-folders. Runs on this thread, or ahead on a lister on slow storage.
TreeWalk::Look TreeWalk::lookInto(const QByteArray &name, int fd, const FileSorter &sorter) const
{
    Look look;
    look.fd = fd;
    struct stat noIndex;
    const auto asked = std::chrono::steady_clock::now();
    look.noIndex = ::fstatat(fd, ".noindex", &noIndex, AT_SYMLINK_NOFOLLOW) == 0;
    look.asked = std::chrono::steady_clock::now() - asked;
    look.device = DeviceOf(fd);
    if (look.noIndex)
        return look;
    const FolderListing listing = fs_.subFolders(held(name, fd));
    look.sub = SortedSubFolders(listing, sorter, false, SelectionOf(request_));
    // Those the request leaves out may hold pages of an earlier run, to be taken down.
    if (look.sub.names.size() + listing.links.size() < listing.names.size()) {
        QSet<QByteArray> kept(listing.links.begin(), listing.links.end());
        for (const NativeName &sub : std::as_const(look.sub.names))
            kept.insert(sub.bytes);
        for (const QByteArray &sub : listing.names) {
            if (!kept.contains(sub))
                look.leftOut.append(sub);
        }
    }
    return look;
}

// Opens the sub-folder name of the folder open as parentFd and looks into it; another
// user's mount (whose file system may never answer) and, under --one-file-system, another
// file system are not entered.
TreeWalk::Look TreeWalk::openAndLook(int parentFd, quint64 parentDevice, const QByteArray &name,
                                     const FileSorter &sorter) const
{
    const MountCheck mount = CheckMount(parentFd, name, parentDevice);
    if (mount.othersMount || (request_.oneFileSystem && mount.device != topDevice_)) {
        Look look;
        look.notEntered = true;
        return look;
    }
    const int fd = OpenSubFolderFd(parentFd, name);
    if (fd < 0) {
        Look look;
        look.openError = errno;
        return look;
    }
    return lookInto(name, fd, sorter);
}

// The look into frame's next sub-folder: made here, or taken from the listers, which are
// then given the sub-folders after it, up to kAhead of them.
TreeWalk::Look TreeWalk::nextLook(Frame &frame)
{
    if (!slow_)
        return openAndLook(frame.fd, frame.device, frame.children[frame.next].bytes, sorter_);
    const qsizetype end = std::min(frame.children.size(), frame.next + kAhead);
    for (qsizetype i = frame.next + qsizetype(frame.ahead.size()); i < end; ++i) {
        auto look = std::make_shared<std::promise<Look>>();
        frame.ahead.push_back(look->get_future().share());
        listers_->add(
            [this, look, fd = frame.fd, device = frame.device,
             name = frame.children[i].bytes](const FileSorter &sorter, const PageBuilder &) {
                look->set_value(openAndLook(fd, device, name, sorter));
                return true;
            });
    }
    Look look = frame.ahead.front().get();
    frame.ahead.pop_front();
    return look;
}

// Puts the folder looked into on the stack with its sub-folders; false (and its
// descriptor closed) when it cannot be read, was met already or asks for no page.
bool TreeWalk::enter(std::shared_ptr<const Node> node, Look look, const QByteArray &parentPage)
{
    const int fd = look.fd;
    // A question that took a round trip (a share, a cold disk): more pages are written,
    // and more folders looked into, at once, so that their requests wait together.
    if (!slow_ && look.asked >= std::chrono::microseconds(FactsPrefetch::kSlowFromMicroseconds)) {
        slow_ = true;
        writers_.grow(kOnSlowStorage);
        listers_ = std::make_unique<Workers>(fs_, locale_, kOnSlowStorage);
    }
    if (look.noIndex) {
        takeDown(fd, node);
        ::close(fd);
        return false;
    }
    SubFolderList &sub = look.sub;
    if (sub.error != 0) {
        ::close(fd);
        if (node->parent)
            skip(FolderErrorMessage(node->path(), sub.error));
        else
            topError_ = sub.error;
        return false;
    }
    // However a mount shows a folder again, it gets one page, and one link to it.
    if (visited_.contains(sub.identity)) {
        ::close(fd);
        return false;
    }
    visited_.insert(sub.identity);
    takeDownBelow(fd, look.device, look.leftOut, node);
    const QByteArray pageName = pageNameOf(node->name);
    // At the last level asked for, the sub-folders get no pages, and so no links.
    const qsizetype level = qsizetype(stack_.size());
    if (request_.depth >= 0 && level >= request_.depth)
        sub.names.clear();
    stack_.push_back(
        {std::move(node), fd, look.device, pageName, parentPage, std::move(sub.names), 0, {}, {}});
    return true;
}

// Writes the job's page; true when a page is there afterwards. Runs on a page writer.
bool TreeWalk::writePage(const PageJob &job, const FileSorter &sorter, const PageBuilder &builder)
{
    {
        const std::lock_guard lock(mutex_);
        report_.progress(counts_, [&job] { return job.node->path(); });
    }
    FolderPageRequest request = request_;
    request.parentPage = job.parentPage;
    // Only a base address needs the path: a deep tree does not pay for it otherwise.
    if (!request.options.baseUrl.isEmpty() && job.node->parent)
        request.basePath = job.node->path().mid(topPath_.size());
    const FolderPage page =
        PrepareFolderPage(fs_, held(job.node->name, job.fd), request, sorter, &job.withPages);
    if (page.error != 0) {
        skip(FolderErrorMessage(job.node->path(), page.error));
        return false;
    }
    RemoveLeftTemporaries(job.fd, page.leftovers);
    const PageProducer produce = [&](PageSink &sink) {
        builder.build(page.model, sink, {}, page.facts.get(), true);
    };
    QString why;
    const TreePageSave saved = SaveTreePage(job.fd, job.pageName, produce,
                                            request.options.format->treeMark, request_.force, &why);
    const auto pagePath = [&] { return JoinPath(job.node->path(), job.pageName); };
    switch (saved) {
    case TreePageSave::Written:
    case TreePageSave::Unchanged:
        break;
    case TreePageSave::NotRegular:
        skip(ProgramMessage(
            u"跳过 %1：不是普通文件 / skipped, not a regular file"_s.arg(Quoted(pagePath()))));
        return false;
    case TreePageSave::NotOurs:
        skip(ProgramMessage(
            u"跳过 %1：不是 --tree 写的网页（用 --force 替换）/ skipped, "
            u"not a page of --tree (--force replaces it)"_s.arg(Quoted(pagePath()))));
        return false;
    case TreePageSave::Kept:
    case TreePageSave::Failed:
        skip(OutputErrorMessage(pagePath(), why));
        // The page of an earlier run still stands, and its parent still links it.
        return saved == TreePageSave::Kept;
    }
    count([&](TreeCounts &c) {
        ++(saved == TreePageSave::Written ? c.written : c.unchanged);
        c.files += page.model.files.size();
    });
    return true;
}

// Takes down the page in the folder open as fd, which the run no longer indexes, and, where
// there was one, the pages below it: below a folder that had a page, its sub-folders had
// theirs; nowhere else can have. Level by level on a stack of its own, however deep.
void TreeWalk::takeDown(int fd, const std::shared_ptr<const Node> &node)
{
    struct Level
    {
        int fd;
        bool own; // closed here
        quint64 device;
        QList<QByteArray> subs;
        qsizetype next;
        std::shared_ptr<const Node> node;
    };
    std::deque<Level> levels;
    const auto removeIn = [&](int at, const std::shared_ptr<const Node> &folder, bool own) {
        QString why;
        const QByteArray page = pageNameOf(folder->name);
        const TreePageRemoval removed =
            RemoveTreePage(at, page, request_.options.format->treeMark, &why);
        if (removed == TreePageRemoval::Failed)
            skip(OutputErrorMessage(JoinPath(folder->path(), page), why));
        if (removed != TreePageRemoval::Removed) {
            if (own)
                ::close(at);
            return;
        }
        count([](TreeCounts &c) { ++c.removed; });
        const FolderListing listing = fs_.subFolders(FolderRef(folder->name, at));
        const QSet<QByteArray> links(listing.links.begin(), listing.links.end());
        QList<QByteArray> subs;
        for (const QByteArray &name : listing.names) {
            if (!links.contains(name))
                subs.append(name);
        }
        levels.push_back({at, own, DeviceOf(at), std::move(subs), 0, folder});
    };
    removeIn(fd, node, false);
    while (!levels.empty()) {
        Level &level = levels.back();
        if (level.next >= level.subs.size()) {
            if (level.own)
                ::close(level.fd);
            levels.pop_back();
            continue;
        }
        const QByteArray name = level.subs[level.next++];
        const int sub = openToTakeDown(level.fd, level.device, name);
        if (sub >= 0)
            removeIn(sub, std::make_shared<const Node>(Node{name, level.node}), true);
    }
}

// Opens the sub-folder name of parentFd to take its pages down, unless the walk would not
// enter it; -1 then.
int TreeWalk::openToTakeDown(int parentFd, quint64 parentDevice, const QByteArray &name) const
{
    const MountCheck mount = CheckMount(parentFd, name, parentDevice);
    if (mount.othersMount || (request_.oneFileSystem && mount.device != topDevice_))
        return -1;
    return OpenSubFolderFd(parentFd, name);
}

// Takes down the pages of the sub-folders names of the folder open as parentFd.
void TreeWalk::takeDownBelow(int parentFd, quint64 parentDevice, const QList<QByteArray> &names,
                             const std::shared_ptr<const Node> &parent)
{
    for (const QByteArray &name : names) {
        const int fd = openToTakeDown(parentFd, parentDevice, name);
        if (fd < 0)
            continue;
        takeDown(fd, std::make_shared<const Node>(Node{name, parent}));
        ::close(fd);
    }
}

} // namespace dirweaver
