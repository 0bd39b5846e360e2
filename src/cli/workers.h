#pragma once

#include "page/builder.h"
#include "selection/filelist.h"
#include "selection/filesystem.h"
#include "selection/prefetch.h"

#include <QLocale>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace dirweaver {

/// Threads that run a tree's tasks, each with its own sorter and page builder: the one pool
/// of a run, which reads facts too.
class Workers final : public TaskRunner
{
public:
    /// A task, given the running thread's sorter and builder.
    using Task = std::function<bool(const FileSorter &, const PageBuilder &)>;

    /// Starts threads of their own (at least one, where the system lets it start one).
    Workers(const FileSystem &fs, const QLocale &locale, int threads);
    /// Runs what was added, then stops the threads.
    ~Workers() override;
    Workers(const Workers &) = delete;
    Workers &operator=(const Workers &) = delete;

    /// Adds threads up to threads in all; fewer where the system cannot start more.
    void grow(int threads);
    /// Runs task on a thread, after those added before it, or before them all when first;
    /// its result once done. Where no thread could be started, the task runs at once, on the
    /// caller's thread.
    std::shared_future<bool> add(Task task, bool first = false);
    /// See TaskRunner: before the tasks not begun.
    void run(std::function<void()> task) override;

private:
    void work();

    const FileSystem &fs_;
    const QLocale locale_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::packaged_task<bool(const FileSorter &, const PageBuilder &)>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace dirweaver
