#include "tree.h"

#include "messages.h"

#include "output/pagefile.h"
#include "page/folderpage.h"
#include "page/fragments.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSet>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// Redraws one line of progress on a terminal at most four times a second, cut to the
// terminal's width so that it never wraps.
class ProgressLine
{
public:
    ProgressLine(QIODevice &err, int columns) : err_(err), columns_(columns) { clock_.start(); }

    // True when a line shown now would be drawn.
    bool due() const { return columns_ > 0 && (!shown_ || clock_.elapsed() >= 250); }
    void show(qsizetype folders, qsizetype files, const QByteArray &current)
    {
        if (!due())
            return;
        clock_.restart();
        shown_ = true;
        const QString line =
            u"%1 个文件夹，%2 个文件 / %1 folders, %2 files: "_s.arg(folders).arg(files) +
            TerminalText(current);
        err_.write("\r\033[K" + FitColumns(line, columns_ - 1).toLocal8Bit());
    }
    // Clears the line before a message or the summary takes its place.
    void clear()
    {
        if (shown_)
            err_.write("\r\033[K");
        shown_ = false;
    }

private:
    QIODevice &err_;
    const int columns_;
    QElapsedTimer clock_;
    bool shown_ = false;
};

// A folder of the walk: its own name and its parent, so that its path is only made when a
// message needs it and a deep tree costs memory in proportion to its folders.
struct Node
{
    QByteArray name; // the whole path at the top
    std::shared_ptr<const Node> parent;

    QByteArray path() const
    {
        QList<const Node *> chain;
        qsizetype size = 0;
        for (const Node *node = this; node; node = node->parent.get()) {
            chain.append(node);
            size += node->name.size() + 1;
        }
        QByteArray joined;
        joined.reserve(size);
        for (qsizetype i = chain.size() - 1; i >= 0; --i) {
            if (!joined.isEmpty() && !joined.endsWith('/'))
                joined += '/';
            joined += chain[i]->name;
        }
        return joined;
    }
};

// What entering a folder needs: it opened (or why not), its ".noindex", its sub-folders,
// and how long the first question took.
struct Look
{
    int fd = -1;
    int openError = 0;
    bool noIndex = false;
    SubFolderList sub;
    std::chrono::nanoseconds asked{0};
};

// A folder being walked: held open, its sub-folders still to enter, and the pages of those
// entered, which it links once they are known to exist.
struct Frame
{
    std::shared_ptr<const Node> node;
    int fd = -1;
    QByteArray pageName;
    QByteArray parentPage; // empty at the top
    QList<NativeName> children;
    qsizetype next = 0;
    QList<std::pair<NativeName, std::shared_future<bool>>> childPages;
    // On slow storage: the next sub-folders, opened and listed ahead on other threads.
    std::deque<std::shared_future<Look>> ahead;
};

// One page to write, once its sub-folders' pages are written.
struct PageJob
{
    std::shared_ptr<const Node> node;
    int fd = -1; // closed by the job
    QByteArray pageName, parentPage;
    QList<NativeName> withPages;
};

// What the run has done, for the summary and the exit status.
struct Counts
{
    qsizetype written = 0, unchanged = 0, skipped = 0, files = 0;
};

// Worker threads, each with its own sorter and page builder: the page writers, a thread per
// core up to four (past that a local disk is the limit) or more on storage where each request
// waits; and there, the listers that look into sub-folders ahead.
class Workers
{
public:
    using Write = std::function<bool(const FileSorter &, const PageBuilder &)>;
    /// How many writers wait for storage at once where each request is a round trip.
    static constexpr int kOnSlowStorage = 16;

    Workers(const FileSystem &fs, const QLocale &locale, int threads = 0) : fs_(fs), locale_(locale)
    {
        grow(threads > 0 ? threads : int(qBound(1u, std::thread::hardware_concurrency(), 4u)));
    }
    // Adds writers up to threads in all.
    void grow(int threads)
    {
        const std::lock_guard lock(mutex_);
        while (int(threads_.size()) < threads) {
            threads_.emplace_back([this, &fs = fs_, locale = locale_] {
                const FileSorter sorter(locale);
                const FileTimeFormat format(locale);
                const PageBuilder builder(fs, format);
                for (;;) {
                    std::packaged_task<bool(const FileSorter &, const PageBuilder &)> task;
                    {
                        std::unique_lock lock(mutex_);
                        ready_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
                        if (tasks_.empty())
                            return;
                        task = std::move(tasks_.front());
                        tasks_.pop_front();
                    }
                    task(sorter, builder);
                }
            });
        }
    }
    ~Workers()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (std::thread &thread : threads_)
            thread.join();
    }
    std::shared_future<bool> add(Write write)
    {
        std::packaged_task<bool(const FileSorter &, const PageBuilder &)> task(std::move(write));
        std::shared_future<bool> done = task.get_future().share();
        {
            const std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        ready_.notify_one();
        return done;
    }

private:
    const FileSystem &fs_;
    const QLocale locale_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::packaged_task<bool(const FileSorter &, const PageBuilder &)>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// The walk, on this thread, and the writing of every page on the page writers, each page
// after its sub-folders' so that it links only pages that exist.
class TreeRun
{
public:
    TreeRun(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
            QIODevice &err, ProgressLine &progress)
        : request_(request.page), fs_(fs), sorter_(locale), err_(err), progress_(progress),
          locale_(locale), writers_(fs, locale)
    {
        request_.options.treeMark = true;
    }

    // Walks the tree under top (open as topFd, which the run takes); false when top itself
    // cannot be read.
    bool run(const QByteArray &top, int topFd)
    {
        // Links are followed only to what lies in the tree, however its top is reached.
        within_ =
            QFile::encodeName(QFile::symLinkTarget(u"/proc/self/fd/"_s + QString::number(topFd)));
        if (within_.isEmpty())
            within_ = top;
        topPath_ = top;
        if (!enter(std::make_shared<const Node>(Node{top, nullptr}), lookInto(top, topFd, sorter_),
                   {}))
            return topError_ == 0; // none asked for: ".noindex" at the top
        std::shared_future<bool> topPage;
        while (!stack_.isEmpty()) {
            Frame &frame = stack_.back();
            if (frame.next < frame.children.size()) {
                Look look = nextLook(frame);
                const NativeName &child = frame.children[frame.next++];
                auto node = std::make_shared<const Node>(Node{child.bytes, frame.node});
                if (look.fd < 0)
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
            stack_.removeLast();
            if (stack_.isEmpty())
                topPage = std::move(page);
            else
                stack_.back().childPages.append({own, std::move(page)});
        }
        topPage.wait();
        return true;
    }

    Counts counts() const
    {
        const std::lock_guard lock(mutex_);
        return counts_;
    }
    // Why the top could not be read, once run returned false.
    int topError() const { return topError_; }

private:
    // The folder held open as fd, its links judged against the tree.
    FolderRef held(const QByteArray &name, int fd) const
    {
        FolderRef folder(name, fd);
        folder.linksWithin = within_;
        return folder;
    }

    // Looks into the folder name open as fd (which the look holds): its ".noindex" and its
    // sub-folders. Runs on this thread, or ahead on a lister on slow storage.
    Look lookInto(const QByteArray &name, int fd, const FileSorter &sorter) const
    {
        Look look;
        look.fd = fd;
        struct stat noIndex;
        const auto asked = std::chrono::steady_clock::now();
        look.noIndex = ::fstatat(fd, ".noindex", &noIndex, AT_SYMLINK_NOFOLLOW) == 0;
        look.asked = std::chrono::steady_clock::now() - asked;
        if (!look.noIndex)
            look.sub = ListSubFolders(fs_, held(name, fd), sorter, false, SelectionOf(request_));
        return look;
    }

    // Opens the sub-folder name of the folder open as parentFd and looks into it.
    Look openAndLook(int parentFd, const QByteArray &name, const FileSorter &sorter) const
    {
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
    Look nextLook(Frame &frame)
    {
        if (!slow_)
            return openAndLook(frame.fd, frame.children[frame.next].bytes, sorter_);
        const qsizetype end = std::min(frame.children.size(), frame.next + kAhead);
        for (qsizetype i = frame.next + qsizetype(frame.ahead.size()); i < end; ++i) {
            auto look = std::make_shared<std::promise<Look>>();
            frame.ahead.push_back(look->get_future().share());
            listers_->add([this, look, fd = frame.fd, name = frame.children[i].bytes](
                              const FileSorter &sorter, const PageBuilder &) {
                look->set_value(openAndLook(fd, name, sorter));
                return true;
            });
        }
        Look look = frame.ahead.front().get();
        frame.ahead.pop_front();
        return look;
    }

    // Puts the folder looked into on the stack with its sub-folders; false (and its
    // descriptor closed) when it cannot be read, was met already or asks for no page.
    bool enter(std::shared_ptr<const Node> node, Look look, const QByteArray &parentPage)
    {
        const int fd = look.fd;
        // A question that took a round trip (a share, a cold disk): more pages are written,
        // and more folders looked into, at once, so that their requests wait together.
        if (!slow_ &&
            look.asked >= std::chrono::microseconds(FactsPrefetch::kSlowFromMicroseconds)) {
            slow_ = true;
            writers_.grow(Workers::kOnSlowStorage);
            listers_ = std::make_unique<Workers>(fs_, locale_, Workers::kOnSlowStorage);
        }
        if (look.noIndex) {
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
        const QByteArray pageName = TreePageName(node->name, request_.pageName);
        // At the last level asked for, the sub-folders get no pages, and so no links.
        const qsizetype level = stack_.size();
        if (request_.depth >= 0 && level >= request_.depth)
            sub.names.clear();
        stack_.append({std::move(node), fd, pageName, parentPage, std::move(sub.names), 0, {}, {}});
        return true;
    }

    // Writes the job's page; true when a page is there afterwards. Runs on a page writer.
    bool writePage(const PageJob &job, const FileSorter &sorter, const PageBuilder &builder)
    {
        {
            const std::lock_guard lock(mutex_);
            if (progress_.due())
                progress_.show(counts_.written + counts_.unchanged, counts_.files,
                               job.node->path());
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
        const PageProducer produce = [&](PageSink &sink) {
            builder.build(page.input, sink, {}, page.facts.get());
        };
        QString why;
        const TreePageSave saved =
            SaveTreePage(job.fd, job.pageName, produce, request.options.encoding, kTreePageMark,
                         request_.force, &why);
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
        case TreePageSave::Failed:
            skip(OutputErrorMessage(pagePath(), why));
            return false;
        }
        const std::lock_guard lock(mutex_);
        ++(saved == TreePageSave::Written ? counts_.written : counts_.unchanged);
        counts_.files += page.input.files.size();
        return true;
    }

    // One message at a time, clear of the progress line.
    void skip(const QString &message)
    {
        const std::lock_guard lock(mutex_);
        progress_.clear();
        PrintLine(err_, message);
        ++counts_.skipped;
    }

    FolderPageRequest request_;
    const FileSystem &fs_;
    const FileSorter sorter_; // the walk's
    QIODevice &err_;
    ProgressLine &progress_;
    mutable std::mutex mutex_; // the error stream, the progress line and the counts
    Counts counts_;
    int topError_ = 0;
    QList<Frame> stack_;
    QSet<std::pair<quint64, quint64>> visited_;
    QByteArray within_;
    QByteArray topPath_;
    bool slow_ = false; // the storage answers each request after a round trip
    // How many sub-folders are looked into ahead on slow storage, each held open meanwhile.
    static constexpr qsizetype kAhead = 32;
    const QLocale locale_;
    // Last: their threads end before what they use goes.
    Workers writers_;
    std::unique_ptr<Workers> listers_; // on slow storage only
};

// A deep tree holds a folder open per level: as many as the system lets this process have.
void allowManyFolders()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int RunTree(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
            const QByteArray &cwd, QIODevice &err, int terminalColumns)
{
    QElapsedTimer clock;
    clock.start();
    const QByteArray top = AbsoluteCleanPath(request.folder, cwd);
    allowManyFolders();
    ProgressLine progress(err, terminalColumns);
    TreeRun run(request, fs, locale, err, progress);
    const int topFd = OpenFolderFd(top, O_RDONLY);
    if (topFd < 0 || !run.run(top, topFd)) {
        PrintLine(err, FolderErrorMessage(top, topFd < 0 ? errno : run.topError()));
        return 2;
    }
    const Counts counts = run.counts();
    // Synced all at once at the end: one sync per page would cost more than the pages.
    if (counts.written > 0) {
        const int topSync = OpenFolderFd(top, O_RDONLY);
        if (topSync >= 0) {
            ::syncfs(topSync);
            ::close(topSync);
        }
    }
    progress.clear();
    PrintLine(err,
              ProgramMessage(u"写出 %1 页，%2 页未变，列出 %3 个文件，跳过 %4 处，用时 %5 秒 / "
                             u"%1 pages written, %2 unchanged, %3 files listed, %4 skipped, "
                             u"%5 s"_s.arg(counts.written)
                                 .arg(counts.unchanged)
                                 .arg(counts.files)
                                 .arg(counts.skipped)
                                 .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 2)));
    return counts.skipped > 0 ? 1 : 0;
}

} // namespace dirweaver
