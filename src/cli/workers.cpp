#include "workers.h"

#include <new>
#include <system_error>

namespace dirweaver {

Workers::Workers(const FileSystem &fs, const QLocale &locale, int threads)
    : fs_(fs), locale_(locale)
{
    grow(threads);
}

Workers::~Workers()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread &thread : threads_)
        thread.join();
}

void Workers::grow(int threads)
{
    const std::lock_guard lock(mutex_);
    while (int(threads_.size()) < threads) {
        try {
            threads_.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
            // A limit on threads or memory: the run goes on with those it has.
            return;
        }
    }
}

void Workers::work()
try {
    const FileSorter sorter(locale_);
    const FileTimeFormat format(locale_);
    const PageBuilder builder(fs_, format);
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
} catch (const std::bad_alloc &) {
    // No memory for this thread's own tools: the others run the tasks.
}

std::shared_future<bool> Workers::add(Task task, bool first)
{
    std::packaged_task<bool(const FileSorter &, const PageBuilder &)> packaged(std::move(task));
    std::shared_future<bool> done = packaged.get_future().share();
    {
        std::unique_lock lock(mutex_);
        if (threads_.empty()) {
            lock.unlock();
            const FileSorter sorter(locale_);
            const FileTimeFormat format(locale_);
            packaged(sorter, PageBuilder(fs_, format));
            return done;
        }
        if (first)
            tasks_.push_front(std::move(packaged));
        else
            tasks_.push_back(std::move(packaged));
    }
    ready_.notify_one();
    return done;
}

void Workers::run(std::function<void()> task)
{
    // Facts a page being written waits for go before pages not begun.
    add(
        [task = std::move(task)](const FileSorter &, const PageBuilder &) {
            task();
            return true;
        },
        true);
}

} // namespace dirweaver
