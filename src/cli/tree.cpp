#include "tree.h"

#include "messages.h"

#include "output/pagefile.h"
#include "page/folderpage.h"

#include <QElapsedTimer>
#include <QSet>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// Redraws one line of progress on a terminal at most four times a second.
class ProgressLine
{
public:
    ProgressLine(QIODevice &err, int columns) : err_(err), columns_(columns) { clock_.start(); }

    void show(qsizetype folders, qsizetype files, const QByteArray &current)
    {
        if (columns_ <= 0 || (shown_ && clock_.elapsed() < 250))
            return;
        clock_.restart();
        shown_ = true;
        QString line =
            u"%1 个文件夹，%2 个文件 / %1 folders, %2 files: "_s.arg(folders).arg(files) +
            QString::fromLocal8Bit(current);
        if (line.size() >= columns_)
            line = line.left(columns_ - 2) + u'…';
        err_.write("\r\033[K" + line.toLocal8Bit());
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

// One folder's page to write, found by the walk.
struct Job
{
    QByteArray folder;
    QByteArray parentPage; // empty at the top
    QList<NativeName> children;
};

// What the page writers share: the jobs, the counts, and the error stream.
struct Shared
{
    std::atomic<qsizetype> next{0};
    std::atomic<qsizetype> pages{0}, files{0}, skipped{0}, finished{0};
    std::mutex say; // one message at a time, clear of the progress line
    std::condition_variable allDone;
};

void writePage(const Job &job, const FolderPageRequest &request, const FileSystem &fs,
               const FileSorter &sorter, const PageBuilder &builder, Shared &shared,
               const std::function<void(const QString &)> &skip)
{
    FolderPageRequest own = request;
    own.parentPage = job.parentPage;
    const FolderPage page = PrepareFolderPage(fs, job.folder, own, sorter, &job.children);
    if (page.error != 0) {
        skip(FolderErrorMessage(job.folder, page.error));
        return;
    }
    QString why;
    const PageProducer produce = [&](PageSink &sink) {
        builder.build(page.input, sink, {}, page.facts.get());
    };
    const QByteArray pagePath = JoinPath(job.folder, TreePageName(job.folder, request.pageName));
    // Synced all at once at the end: one sync per page would cost more than the pages.
    if (!SavePage(pagePath, produce, request.options.encoding, &why, Durability::Deferred)) {
        skip(OutputErrorMessage(pagePath, why));
        return;
    }
    ++shared.pages;
    shared.files += page.input.files.size();
}

// Every folder of the tree under top once, pre-order, sub-folders sorted like the folder list;
// one that cannot be read goes to skip. Empty with topError set when top cannot be read.
QList<Job> walk(const QByteArray &top, const QByteArray &pageName, const FileSystem &fs,
                const FileSorter &sorter, const std::function<void(const QString &)> &skip,
                int &topError)
{
    QList<Job> jobs;
    QSet<std::pair<quint64, quint64>> visited;
    QList<std::pair<QByteArray, QByteArray>> todo = {{top, {}}};
    while (!todo.isEmpty()) {
        const auto [folder, parentPage] = todo.takeLast();
        SubFolderList sub = ListSubFolders(fs, folder, sorter, false);
        if (sub.error != 0) {
            if (folder == top) {
                topError = sub.error;
                return {};
            }
            skip(FolderErrorMessage(folder, sub.error));
            continue;
        }
        // However a mount shows a folder again, it gets one page.
        if (visited.contains(sub.identity))
            continue;
        visited.insert(sub.identity);
        Job job{folder, parentPage, std::move(sub.names)};
        const QByteArray page = TreePageName(folder, pageName);
        for (qsizetype i = job.children.size() - 1; i >= 0; --i)
            todo.append({JoinPath(folder, job.children[i].bytes), page});
        jobs.append(std::move(job));
    }
    return jobs;
}

// Writes the pages of jobs on a thread per core up to four (past that the disk is the
// limit), each with its own sorter and date writer, showing the progress meanwhile.
void writePages(const QList<Job> &jobs, const FolderPageRequest &request, const FileSystem &fs,
                const QLocale &locale, Shared &shared, ProgressLine &progress,
                const std::function<void(const QString &)> &skip)
{
    const int threads = int(qBound(1u, std::thread::hardware_concurrency(), 4u));
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&] {
            const FileSorter sorter(locale);
            const FileTimeFormat format(locale);
            const PageBuilder builder(fs, format);
            for (qsizetype i = shared.next++; i < jobs.size(); i = shared.next++) {
                writePage(jobs[i], request, fs, sorter, builder, shared, skip);
                if (++shared.finished == jobs.size()) {
                    const std::lock_guard lock(shared.say);
                    shared.allDone.notify_all();
                }
            }
        });
    }
    {
        std::unique_lock lock(shared.say);
        while (shared.finished.load() < jobs.size()) {
            const qsizetype at = qMin(shared.finished.load(), jobs.size() - 1);
            progress.show(shared.finished.load(), shared.files.load(), jobs[at].folder);
            shared.allDone.wait_for(lock, std::chrono::milliseconds(250));
        }
    }
    for (std::thread &writer : writers)
        writer.join();
}

} // namespace

int RunTree(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
            const QByteArray &cwd, QIODevice &err, int terminalColumns)
{
    QElapsedTimer clock;
    clock.start();
    const QByteArray top = AbsoluteCleanPath(request.folder, cwd);
    ProgressLine progress(err, terminalColumns);
    Shared shared;
    const auto skip = [&](const QString &message) {
        const std::lock_guard lock(shared.say);
        progress.clear();
        PrintLine(err, message);
        ++shared.skipped;
    };

    int topError = 0;
    const QList<Job> jobs =
        walk(top, request.page.pageName, fs, FileSorter(locale), skip, topError);
    if (topError != 0) {
        PrintLine(err, FolderErrorMessage(top, topError));
        return 2;
    }
    writePages(jobs, request.page, fs, locale, shared, progress, skip);

    const int topFd = OpenFolderFd(top, O_RDONLY);
    if (topFd >= 0) {
        ::syncfs(topFd);
        ::close(topFd);
    }
    progress.clear();
    PrintLine(err, ProgramMessage(u"写出 %1 页，列出 %2 个文件，跳过 %3 个文件夹，用时 %4 秒 / "
                                  u"%1 pages written, %2 files listed, %3 folders skipped, %4 s"_s
                                      .arg(shared.pages.load())
                                      .arg(shared.files.load())
                                      .arg(shared.skipped.load())
                                      .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 2)));
    return shared.skipped.load() > 0 ? 1 : 0;
}

} // namespace dirweaver
