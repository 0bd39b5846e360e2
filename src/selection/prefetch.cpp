#include "prefetch.h"

namespace dirweaver {

FactsPrefetch::FactsPrefetch(const FileSystem &fs, const FolderRef &folder,
                             const QList<NativeName> &files)
    : folder_(fs.openFacts(folder)), facts_(size_t(files.size())),
      ready_(new std::atomic<bool>[size_t(files.size())] {}),
      claimed_(new std::atomic<bool>[size_t(files.size())] {})
{
    names_.reserve(files.size());
    for (const NativeName &file : files)
        names_.append(file.bytes);
    // A few files are read at once: a second thread would cost more than it saves.
    if (files.size() < kThreadFrom) {
        for (qsizetype i = 0; i < files.size(); ++i)
            read(i);
        return;
    }
    worker_ = std::thread([this] {
        const qsizetype count = names_.size();
        // The folder's own order while the list is being sorted...
        qsizetype next = 0;
        for (; next < count && !ordered_.load(std::memory_order_acquire); ++next) {
            if (stop_.load(std::memory_order_relaxed))
                return;
            read(next);
        }
        // ...then the order the lines are built in, skipping what was read already.
        for (qsizetype k = 0; k < count && ordered_.load(std::memory_order_acquire); ++k) {
            if (stop_.load(std::memory_order_relaxed))
                return;
            const qsizetype i = order_[size_t(k)];
            if (!ready_[size_t(i)].load(std::memory_order_relaxed))
                read(i);
        }
        for (; next < count; ++next) {
            if (!ready_[size_t(next)].load(std::memory_order_relaxed))
                read(next);
        }
        // Every fact is in: the names are no longer needed, and a million of them weigh,
        // unless a second reader still holds them.
        int needed = 0;
        if (namesState_.compare_exchange_strong(needed, 2))
            names_ = QList<QByteArray>();
    });
}

FactsPrefetch::~FactsPrefetch()
{
    stop_.store(true);
    if (worker_.joinable())
        worker_.join();
}

void FactsPrefetch::read(qsizetype i)
{
    if (claimed_[size_t(i)].exchange(true, std::memory_order_acq_rel))
        return;
    if (const std::optional<FileFacts> facts = folder_->facts(names_[i]))
        facts_[size_t(i)] = {facts->size, facts->birthTime.value_or(kNoBirth),
                             facts->modifiedTime.value_or(kNoBirth)};
    ready_[size_t(i)].store(true);
    if (wanted_.load() == i) {
        const std::lock_guard lock(mutex_);
        wake_.notify_all();
    }
}

void FactsPrefetch::readAlongside()
{
    const qsizetype count = qsizetype(facts_.size());
    int needed = 0;
    if (namesState_.compare_exchange_strong(needed, 1)) {
        for (qsizetype i = count - 1; i >= 0; --i) {
            if (!claimed_[size_t(i)].load(std::memory_order_relaxed))
                read(i);
        }
    }
    for (qsizetype i = 0; i < count; ++i) {
        while (!ready_[size_t(i)].load(std::memory_order_acquire))
            std::this_thread::yield();
    }
}

void FactsPrefetch::moved(const std::vector<qsizetype> &moved)
{
    // Every fact is in: the worker only has its loops to finish.
    if (worker_.joinable())
        worker_.join();
    std::vector<qsizetype> order(moved.size());
    for (size_t i = 0; i < moved.size(); ++i)
        order[i] = ordered_.load() ? order_[size_t(moved[i])] : moved[i];
    order_ = std::move(order);
    ordered_.store(true, std::memory_order_release);
}

void FactsPrefetch::reorder(std::vector<qsizetype> order)
{
    order_ = std::move(order);
    ordered_.store(true, std::memory_order_release);
}

std::optional<FileFacts> FactsPrefetch::factsAt(qsizetype i) const
{
    const qsizetype at = ordered_.load(std::memory_order_acquire) ? order_[size_t(i)] : i;
    if (at < 0 || at >= qsizetype(facts_.size()))
        return std::nullopt;
    std::atomic<bool> &ready = ready_[size_t(at)];
    // The worker is a few microseconds ahead or behind: wait for it awake a little while
    // before sleeping, which costs two system calls and a switch each time.
    for (int spin = 0; spin < 2000 && !ready.load(std::memory_order_acquire); ++spin) {
        if (spin % 16 == 15)
            std::this_thread::yield();
    }
    if (!ready.load()) {
        wanted_.store(at);
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return ready.load(); });
        wanted_.store(-1);
    }
    const Packed &facts = facts_[size_t(at)];
    if (facts.size == kUnread)
        return std::nullopt;
    const auto time = [](qint64 t) {
        return t == kNoBirth ? std::nullopt : std::optional<qint64>(t);
    };
    return FileFacts{facts.size, time(facts.birth), time(facts.modified)};
}

} // namespace dirweaver
