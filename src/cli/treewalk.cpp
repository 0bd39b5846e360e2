#include "treewalk.h"

#include "messages.h"

#include "page/format.h"

#include <QList>

#include <cerrno>
#include <future>
#include <new>
#include <thread>

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
    Held folder;
    bool noIndex = false;
    SubFolderList sub;
    QList<QByteArray> leftOut;
    std::chrono::nanoseconds asked{0};
};

// A folder being walked: held open, its sub-folders still to enter, and the pages of those
// entered, which it links once they are known to exist.
struct TreeWalk::Frame
{
    std::shared_ptr<const Node> node;
    Held folder;
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
    Held folder;
    QByteArray pageName, parentPage;
    QList<NativeName> withPages;
};

namespace {

// How many threads: one per core up to four (past that a local disk is the limit), or many
// where each request waits, so that their waits overlap.
int localThreads()
{
    return int(qBound(1u, std::thread::hardware_concurrency(), 4u));
}
constexpr int kOnSlowStorage = 32;
// How many sub-folders are looked into ahead on slow storage, each held open meanwhile.
constexpr qsizetype kAhead = 32;

} // namespace

TreeWalk::TreeWalk(const FolderPageRequest &request, const FileSystem &source, TreeTarget &target,
                   const QLocale &locale, Report report)
    : request_(request), fs_(source), target_(target), sorter_(locale), report_(std::move(report)),
      pool_(source, locale, localThreads())
{
    request_.options.treeMark = true;
    rules_.oneFileSystem = request.oneFileSystem;
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

void TreeWalk::folderFailed(const Node &node, int error)
{
    // Short of memory, every folder would fail alike: the run ends with one line instead.
    if (error == ENOMEM)
        throw std::bad_alloc();
    skip(FolderErrorMessage(node.path(), error));
}

void TreeWalk::skip(const QString &message)
{
    const std::lock_guard lock(mutex_);
    report_.skipped(message);
    ++counts_.skipped;
}

bool TreeWalk::run(const QByteArray &top, OpenFolder topFolder)
{
    // Links are followed only to what lies in the tree, however its top is reached.
    topFolder.folder.linksWithin = topFolder.realPath.isEmpty() ? top : topFolder.realPath;
    topFolder.folder.path = top;
    topPath_ = top;
    rules_.topDevice = topFolder.device;
    const auto root = std::make_shared<const Node>(Node{top, nullptr});
    if (!enter(root, lookInto(std::make_shared<const OpenFolder>(std::move(topFolder)), sorter_),
               {}))
        return topError_ == 0; // none asked for: ".noindex" at the top
    std::shared_future<bool> topPage;
    while (!stack_.empty()) {
        Frame &frame = stack_.back();
        if (frame.next < frame.children.size()) {
            Look look = nextLook(frame);
            const NativeName &child = frame.children[frame.next++];
            auto node = std::make_shared<const Node>(Node{child.bytes, frame.node});
            if (look.folder->notEntered)
                count([](TreeCounts &c) { ++c.notEntered; });
            else if (look.folder->error != 0)
                folderFailed(*node, look.folder->error);
            else
                enter(std::move(node), std::move(look), frame.pageName);
            continue;
        }
        PageJob job{frame.node, frame.folder, frame.pageName, frame.parentPage, {}};
        for (const auto &[child, written] : frame.childPages) {
            if (written.get())
                job.withPages.append(child);
        }
        const NativeName own = NativeName::fromBytes(frame.node->name);
        std::shared_future<bool> page = pool_.add(
            [this, job = std::move(job)](const FileSorter &sorter, const PageBuilder &builder) {
                return writePage(job, sorter, builder);
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

// Looks into the folder opened: its ".noindex" and its sub-folders. Runs on this thread, or
// ahead on the pool on slow storage.
TreeWalk::Look TreeWalk::lookInto(Held folder, const FileSorter &sorter) const
{
    Look look;
    look.folder = std::move(folder);
    const FolderRef &at = look.folder->folder;
    const auto asked = std::chrono::steady_clock::now();
    look.noIndex = fs_.holds(at, ".noindex");
    look.asked = std::chrono::steady_clock::now() - asked;
    if (look.noIndex)
        return look;
    const FolderListing listing = fs_.subFolders(at);
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

// Enters the sub-folder name of parent, unless the source keeps the walk out of it (another
// user's mount, whose file system may never answer; another file system under -x), and
// looks into it.
TreeWalk::Look TreeWalk::openAndLook(const Held &parent, const QByteArray &name,
                                     const FileSorter &sorter) const
{
    auto folder = std::make_shared<const OpenFolder>(fs_.openSub(parent->folder, name, rules_));
    if (folder->notEntered || folder->error != 0) {
        Look look;
        look.folder = std::move(folder);
        return look;
    }
    return lookInto(std::move(folder), sorter);
}

// The look into frame's next sub-folder: made here, or taken from those looked into ahead on
// the pool, which is then given the sub-folders after it, up to kAhead of them.
TreeWalk::Look TreeWalk::nextLook(Frame &frame)
{
    if (!slow_)
        return openAndLook(frame.folder, frame.children[frame.next].bytes, sorter_);
    const qsizetype end = std::min(frame.children.size(), frame.next + kAhead);
    for (qsizetype i = frame.next + qsizetype(frame.ahead.size()); i < end; ++i) {
        auto look = std::make_shared<std::promise<Look>>();
        frame.ahead.push_back(look->get_future().share());
        pool_.add([this, look, parent = frame.folder,
                   name = frame.children[i].bytes](const FileSorter &sorter, const PageBuilder &) {
            try {
                look->set_value(openAndLook(parent, name, sorter));
            } catch (...) {
                // Short of memory: the walk learns it where it waits for this look.
                look->set_exception(std::current_exception());
            }
            return true;
        });
    }
    Look look = frame.ahead.front().get();
    frame.ahead.pop_front();
    return look;
}

// Puts the folder looked into on the stack with its sub-folders; false when it cannot be
// read, was met already or asks for no page.
bool TreeWalk::enter(std::shared_ptr<const Node> node, Look look, const QByteArray &parentPage)
{
    // A question that took a round trip (a share, a cold disk): more pages are written,
    // and more folders looked into, at once, so that their requests wait together.
    if (!slow_ && look.asked >= std::chrono::microseconds(FactsPrefetch::kSlowFromMicroseconds)) {
        slow_ = true;
        pool_.grow(kOnSlowStorage);
    }
    if (look.noIndex) {
        takeDown(look.folder, node);
        return false;
    }
    SubFolderList &sub = look.sub;
    if (sub.error != 0) {
        if (node->parent)
            folderFailed(*node, sub.error);
        else
            topError_ = sub.error;
        return false;
    }
    // However a mount shows a folder again, it gets one page, and one link to it.
    if (visited_.contains(sub.identity))
        return false;
    visited_.insert(sub.identity);
    takeDownBelow(look.folder, look.leftOut, node);
    const QByteArray pageName = pageNameOf(node->name);
    // At the last level asked for, the sub-folders get no pages, and so no links.
    const qsizetype level = qsizetype(stack_.size());
    if (request_.depth >= 0 && level >= request_.depth)
        sub.names.clear();
    stack_.push_back(
        {std::move(node), look.folder, pageName, parentPage, std::move(sub.names), 0, {}, {}});
    return true;
}

// Writes the job's page; true when a page is there afterwards. Runs on the pool.
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
    const FolderRef &folder = job.folder->folder;
    FolderRef named = folder;
    named.path = job.node->name;
    const FolderPage page = PrepareFolderPage(fs_, named, request, sorter, &job.withPages, &pool_);
    if (page.error != 0) {
        folderFailed(*job.node, page.error);
        return false;
    }
    target_.clearLeftovers(folder, page.leftovers);
    const PageProducer produce = [&](PageSink &sink) {
        builder.build(page.model, sink, {}, page.facts.get(), true);
    };
    QString why;
    const TreePageSave saved = target_.store(
        folder, job.pageName, produce, request.options.format->treeMark, request_.force, &why);
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

// Takes down the page in folder, which the run no longer indexes, and, where there was one,
// the pages below it: below a folder that had a page, its sub-folders had theirs; nowhere
// else can have. Level by level on a stack of its own, however deep.
void TreeWalk::takeDown(const Held &folder, const std::shared_ptr<const Node> &node)
{
    struct Level
    {
        Held folder;
        QList<QByteArray> subs;
        qsizetype next;
        std::shared_ptr<const Node> node;
    };
    std::deque<Level> levels;
    const auto removeIn = [&](const Held &at, const std::shared_ptr<const Node> &where) {
        QString why;
        const QByteArray page = pageNameOf(where->name);
        const TreePageRemoval removed =
            target_.remove(at->folder, page, request_.options.format->treeMark, &why);
        if (removed == TreePageRemoval::Failed)
            skip(OutputErrorMessage(JoinPath(where->path(), page), why));
        if (removed != TreePageRemoval::Removed)
            return;
        count([](TreeCounts &c) { ++c.removed; });
        const FolderListing listing = fs_.subFolders(at->folder);
        const QSet<QByteArray> links(listing.links.begin(), listing.links.end());
        QList<QByteArray> subs;
        for (const QByteArray &name : listing.names) {
            if (!links.contains(name))
                subs.append(name);
        }
        levels.push_back({at, std::move(subs), 0, where});
    };
    removeIn(folder, node);
    while (!levels.empty()) {
        Level &level = levels.back();
        if (level.next >= level.subs.size()) {
            levels.pop_back();
            continue;
        }
        const QByteArray name = level.subs[level.next++];
        auto sub =
            std::make_shared<const OpenFolder>(fs_.openSub(level.folder->folder, name, rules_));
        if (!sub->notEntered && sub->error == 0)
            removeIn(sub, std::make_shared<const Node>(Node{name, level.node}));
    }
}

// Takes down the pages of the sub-folders names of parent.
void TreeWalk::takeDownBelow(const Held &parent, const QList<QByteArray> &names,
                             const std::shared_ptr<const Node> &node)
{
    for (const QByteArray &name : names) {
        auto sub = std::make_shared<const OpenFolder>(fs_.openSub(parent->folder, name, rules_));
        if (!sub->notEntered && sub->error == 0)
            takeDown(sub, std::make_shared<const Node>(Node{name, node}));
    }
}

} // namespace dirweaver
