#include "treewalk.h"

#include "messages.h"

#include "page/format.h"
#include "selection/titles.h"

#include <QList>

#include <cerrno>
#include <future>
#include <new>
#include <thread>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// How many threads: one per core up to four (past that a local disk is the limit), or many
// where each request waits, so that their waits overlap.
int localThreads()
{
    return int(qBound(1u, std::thread::hardware_concurrency(), 4u));
}
constexpr int kOnSlowStorage = 96;
// How many sub-folders are looked into ahead on slow storage, each held open meanwhile.
constexpr qsizetype kAhead = 32;

} // namespace

TreeWalk::TreeWalk(const FolderPageRequest &request, const FileSystem &source, TreeTarget &target,
                   const QLocale &locale, Report report)
    : request_(request), fs_(source), target_(target), sorter_(locale),
      report_(std::move(report)), rules_{request.oneFileSystem, 0},
      takedown_(
          source, target, rules_, [this](const QByteArray &name) { return pageNameOf(name); },
          request.options.format->treeMark, [this](const QString &message) { skip(message); }),
      pool_(source, locale, localThreads())
{
    request_.options.treeMark = true;
    if (source.roundTrips()) {
        slow_ = true;
        pool_.grow(kOnSlowStorage);
    }
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

void TreeWalk::folderFailed(const FolderNode &node, int error)
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
    const auto root = std::make_shared<const FolderNode>(FolderNode{top, nullptr});
    if (!enter(root, lookInto(std::make_shared<const OpenFolder>(std::move(topFolder)), sorter_),
               nullptr))
        return topError_ == 0; // none asked for: ".noindex" at the top
    while (!stack_.empty()) {
        // Pages on the pool finish as the pool ends; nothing waits for the folders left.
        if (report_.stopped && report_.stopped()) {
            stopped_ = true;
            return true;
        }
        Frame &frame = stack_.back();
        if (frame.next < frame.children.size()) {
            Look look = nextLook(frame);
            const NativeName &child = frame.children[frame.next++];
            auto node = std::make_shared<const FolderNode>(FolderNode{child.bytes, frame.node});
            if (look.folder->onlyPages) {
                // Nothing but pages left in it: the folder is gone, and so are its pages.
                const qsizetype removed = takedown_.folder(look.folder, node);
                count([removed](TreeCounts &c) { c.removed += removed; });
            } else if (look.folder->notEntered)
                count([](TreeCounts &c) { ++c.notEntered; });
            else if (look.folder->error != 0)
                folderFailed(*node, look.folder->error);
            else
                enter(std::move(node), std::move(look), &frame);
            continue;
        }
        leave(frame);
        stack_.pop_back();
    }
    // A page that failed for want of memory ends the run with it.
    topDone_.get_future().get();
    return true;
}

// The walk has entered every sub-folder of frame: its page is written once theirs are.
void TreeWalk::leave(Frame &frame)
{
    const std::shared_ptr<Pending> page = frame.page;
    std::unique_lock lock(page->mutex);
    page->job = {frame.node,      frame.folder, frame.pageName,        frame.parentPage,
                 frame.ancestors, {},           std::move(frame.files)};
    page->left = true;
    if (page->waiting > 0)
        return;
    // Its sub-folders' pages may all be done already: the walk leaves after them.
    linkStanding(*page);
    lock.unlock();
    write(page);
}

// The links to the sub-folders whose pages stand, in their order; under page's lock, once
// every sub-folder's page is done and the walk has left the folder.
void TreeWalk::linkStanding(Pending &page)
{
    for (qsizetype i = 0; i < page.children.size(); ++i) {
        if (page.written[size_t(i)] == 1)
            page.job.withPages.append(page.children[i]);
    }
}

// Writes page's page on the pool, and then what waited for it.
void TreeWalk::write(const std::shared_ptr<Pending> &page)
{
    pool_.add([this, page](const FileSorter &sorter, const PageBuilder &builder) {
        try {
            written(page, writePage(page->job, sorter, builder));
        } catch (...) {
            // The walk learns it where it waits for the top's page; once is enough.
            std::call_once(failed_, [this] { topDone_.set_exception(std::current_exception()); });
        }
        return true;
    });
}

// The page of page's folder is done (stands: it is there): its parent's waits for one less,
// and is written by the thread that finishes the last of its sub-folders' pages.
void TreeWalk::written(const std::shared_ptr<Pending> &page, bool stands)
{
    const std::shared_ptr<Pending> parent = page->parent;
    if (!parent) {
        std::call_once(failed_, [this] { topDone_.set_value(); });
        return;
    }
    std::unique_lock lock(parent->mutex);
    parent->written[size_t(page->index)] = stands ? 1 : 0;
    if (--parent->waiting > 0 || !parent->left)
        return;
    linkStanding(*parent);
    lock.unlock();
    write(parent);
}

// The name of the page of the folder called name.
QByteArray TreeWalk::pageNameOf(const QByteArray &name) const
{
    return TreePageName(name, request_.pageName, request_.options.format->suffix,
                        request_.options.format->data);
}

// Looks into the folder opened: its ".noindex" and its sub-folders. Runs on this thread, or
// ahead on the pool on slow storage.
TreeWalk::Look TreeWalk::lookInto(Held folder, const FileSorter &sorter) const
{
    Look look;
    look.folder = std::move(folder);
    const FolderRef &at = look.folder->folder;
    // One reading tells the sub-folders, the files and whether ".noindex" is there: where
    // each question is a round trip, the folder is not asked three times.
    const auto asked = std::chrono::steady_clock::now();
    FolderEntries entries = fs_.entries(at);
    look.asked = std::chrono::steady_clock::now() - asked;
    look.noIndex =
        entries.files.names.contains(".noindex") || entries.folders.names.contains(".noindex");
    if (look.noIndex)
        return look;
    const FolderListing &listing = entries.folders;
    // In the order the pages list them, which is also the order they are walked in.
    look.sub = SortedSubFolders(listing, sorter, false, SelectionOf(request_),
                                request_.options.format->numericNames);
    if (look.sub.names.isEmpty() && entries.files.error == 0)
        look.files = std::move(entries.files);
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
    if (folder->notEntered || folder->error != 0 || folder->onlyPages) {
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

// Puts the folder looked into on the stack with its sub-folders, its page waited for by
// parent's; false when it cannot be read, was met already or asks for no page.
bool TreeWalk::enter(std::shared_ptr<const FolderNode> node, Look look, Frame *parent)
{
    // A question that took a round trip (a share, a cold disk): more pages are written,
    // and more folders looked into, at once, so that their requests wait together.
    if (!slow_ && look.asked >= std::chrono::microseconds(FactsPrefetch::kSlowFromMicroseconds)) {
        slow_ = true;
        pool_.grow(kOnSlowStorage);
    }
    if (look.noIndex) {
        const qsizetype removed = takedown_.folder(look.folder, node);
        count([removed](TreeCounts &c) { c.removed += removed; });
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
    if (!look.leftOut.isEmpty()) {
        const qsizetype removed = takedown_.below(look.folder, look.leftOut, node);
        count([removed](TreeCounts &c) { c.removed += removed; });
    }
    const QByteArray pageName = pageNameOf(node->name);
    QString title = DeriveTitles(NativeName::fromBytes(node->name).text).header;
    // At the last level asked for, the sub-folders get no pages, and so no links.
    const qsizetype level = qsizetype(stack_.size());
    if (request_.depth >= 0 && level >= request_.depth)
        sub.names.clear();
    auto page = std::make_shared<Pending>();
    page->children = sub.names;
    page->written.assign(size_t(sub.names.size()), -1);
    if (parent) {
        page->parent = parent->page;
        page->index = parent->next - 1;
        const std::lock_guard lock(parent->page->mutex);
        ++parent->page->waiting;
    }
    stack_.push_back({std::move(node),
                      look.folder,
                      pageName,
                      parent ? parent->pageName : QByteArray(),
                      std::move(title),
                      ancestors(),
                      std::move(sub.names),
                      0,
                      std::move(look.files),
                      std::move(page),
                      {}});
    return true;
}

// The pages above the folder entered next, as its heading links them: the top's, and the
// nearest ones, so that a page of a deep tree stays small.
QList<AncestorPage> TreeWalk::ancestors() const
{
    constexpr qsizetype kNearest = 10;
    const qsizetype count = qsizetype(stack_.size());
    QList<AncestorPage> pages;
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0 && i < count - kNearest)
            continue;
        const Frame &frame = stack_[size_t(i)];
        pages.append({frame.title, NativeName::fromBytes(frame.pageName), int(count - i)});
    }
    return pages;
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
    request.ancestors = job.ancestors;
    // Only a base address needs the path: a deep tree does not pay for it otherwise.
    if (!request.options.baseUrl.isEmpty() && job.node->parent)
        request.basePath = job.node->path().mid(topPath_.size());
    const FolderRef &folder = job.folder->folder;
    FolderRef named = folder;
    named.path = job.node->name;
    std::optional<FolderEntries> entries;
    if (job.files)
        entries = FolderEntries{*job.files, {}};
    const FolderPage page =
        PrepareFolderPage(fs_, named, request, sorter, &job.withPages, &pool_, entries);
    if (page.error != 0) {
        folderFailed(*job.node, page.error);
        return false;
    }
    target_.clearLeftovers(folder, page.leftovers);
    // A folder without files has no sums to check, and no SHA256SUMS, which sha256sum -c
    // would refuse: one an earlier run wrote goes.
    if (request.options.format == &Sha256SumsFormat() && page.model.files.isEmpty()) {
        QString why;
        const TreePageRemoval removed =
            target_.remove(folder, job.pageName, request.options.format->treeMark, &why);
        if (removed == TreePageRemoval::Failed)
            skip(OutputErrorMessage(JoinPath(job.node->path(), job.pageName), why));
        count([&](TreeCounts &c) { c.removed += removed == TreePageRemoval::Removed; });
        return true;
    }
    const PageProducer produce = [&](PageSink &sink) {
        builder.build(page.model, sink, {}, page.facts.get(), true);
    };
    FolderRef stored = folder;
    if (target_.wantsPaths())
        stored.path = job.node->path();
    QString why;
    const TreePageSave saved = target_.store(
        stored, job.pageName, produce, request.options.format->treeMark, request_.force, &why);
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

} // namespace dirweaver
