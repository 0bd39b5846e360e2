#include "prefetch.h"

namespace dirweaver {

FactsPrefetch::FactsPrefetch(const FileSystem &fs, const QByteArray &folder,
                             const QList<NativeName> &files)
    : folder_(fs.openFacts(folder)), facts_(size_t(files.size()))
{
    names_.reserve(files.size());
    for (const NativeName &file : files)
        names_.append(file.bytes);
    // A few files are read at once: a second thread would cost more than it saves.
    if (files.size() < kThreadFrom) {
        for (qsizetype i = 0; i < files.size(); ++i)
            facts_[size_t(i)] = folder_->facts(names_[i]);
        done_.store(files.size());
        return;
    }
    worker_ = std::thread([this] {
        const qsizetype count = names_.size();
        for (qsizetype i = 0; i < count && !stop_.load(std::memory_order_relaxed); ++i) {
            facts_[size_t(i)] = folder_->facts(names_[i]);
            done_.store(i + 1);
            const qsizetype wanted = wanted_.load();
            if (wanted >= 0 && wanted <= i) {
                const std::lock_guard lock(mutex_);
                ready_.notify_all();
            }
        }
    });
}

FactsPrefetch::~FactsPrefetch()
{
    stop_.store(true);
    if (worker_.joinable())
        worker_.join();
}

void FactsPrefetch::reorder(std::vector<qsizetype> order)
{
    order_ = std::move(order);
}

std::optional<FileFacts> FactsPrefetch::factsAt(qsizetype i) const
{
    const qsizetype at = order_.empty() ? i : order_[size_t(i)];
    if (at < 0 || at >= qsizetype(facts_.size()))
        return std::nullopt;
    // The worker is a few microseconds ahead or behind: wait for it awake a little while
    // before sleeping, which costs two system calls and a switch each time.
    for (int spin = 0; spin < 2000 && done_.load(std::memory_order_acquire) <= at; ++spin) {
        if (spin % 16 == 15)
            std::this_thread::yield();
    }
    if (done_.load() <= at) {
        wanted_.store(at);
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return done_.load() > at; });
        wanted_.store(-1);
    }
    return facts_[size_t(at)];
}

} // namespace dirweaver
