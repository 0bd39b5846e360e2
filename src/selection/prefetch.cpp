#include "prefetch.h"

#include <algorithm>
#include <chrono>
#include <system_error>

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
    // A few files are read at once, where a second thread would cost more than it saves:
    // unless the first answer shows storage slow enough for requests in flight to pay.
    if (files.size() < kThreadFrom) {
        const auto start = std::chrono::steady_clock::now();
        if (!files.isEmpty())
            read(0);
        const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start);
        if (files.size() == 1 || took.count() < kSlowFromMicroseconds) {
            for (qsizetype i = 1; i < files.size(); ++i)
                read(i);
            return;
        }
    }
    running_.store(1);
    try {
        worker_ = std::thread([this] { work(true); });
    } catch (const std::system_error &) {
        // No thread to be had (a limit on threads or memory): read them all here.
        running_.store(0);
        for (qsizetype i = 0; i < files.size(); ++i)
            read(i);
    }
}

int FactsPrefetch::ThreadsFor(qint64 latencyMicroseconds)
{
    if (latencyMicroseconds < kSlowFromMicroseconds)
        return 1;
    // One more request in flight for every 25 µs an answer takes, so that the waits overlap
    // where the storage would answer many at once (a share: 1 ms, all 32).
    return int(std::clamp<qint64>(latencyMicroseconds / 25, 2, kMostInFlight));
}

void FactsPrefetch::work(bool probe)
{
    const qsizetype count = names_.size();
    std::vector<qint64> latencies;
    while (!stop_.load(std::memory_order_relaxed)) {
        qsizetype i = 0;
        if (ordered_.load(std::memory_order_acquire)) {
            const qsizetype k = nextOrdered_.fetch_add(1, std::memory_order_relaxed);
            if (k >= count)
                break;
            i = order_[size_t(k)];
        } else {
            i = next_.fetch_add(1, std::memory_order_relaxed);
            if (i >= count)
                break;
        }
        if (claimed_[size_t(i)].load(std::memory_order_relaxed))
            continue;
        if (!probe) {
            read(i);
            continue;
        }
        const auto start = std::chrono::steady_clock::now();
        if (!read(i))
            continue;
        latencies.push_back(std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
        if (int(latencies.size()) < kProbe)
            continue;
        probe = false;
        std::nth_element(latencies.begin(), latencies.begin() + kProbe / 2, latencies.end());
        // No more threads than there are files left for eight each: a thread costs more to
        // start than a few answers take.
        const int threads =
            int(std::min<qint64>(ThreadsFor(latencies[kProbe / 2]), 1 + (count - kProbe) / 8));
        running_.fetch_add(threads - 1);
        for (int t = 1; t < threads; ++t) {
            try {
                helpers_.emplace_back([this] { work(false); });
            } catch (const std::system_error &) {
                // Fewer threads than asked for: those running read the rest.
                running_.fetch_sub(threads - t);
                break;
            }
        }
    }
    // Every fact is in or taken: the last thread out drops the names, which for a million
    // files weigh, unless a second reader still holds them.
    if (running_.fetch_sub(1) == 1) {
        int needed = 0;
        if (namesState_.compare_exchange_strong(needed, 2))
            names_ = QList<QByteArray>();
    }
}

FactsPrefetch::~FactsPrefetch()
{
    stop_.store(true);
    if (worker_.joinable())
        worker_.join();
    for (std::thread &helper : helpers_)
        helper.join();
}

bool FactsPrefetch::read(qsizetype i)
{
    if (claimed_[size_t(i)].exchange(true, std::memory_order_acq_rel))
        return false;
    if (const std::optional<FileFacts> facts = folder_->facts(names_.at(i)))
        facts_[size_t(i)] = {facts->size, facts->birthTime.value_or(kNoBirth),
                             facts->modifiedTime.value_or(kNoBirth)};
    ready_[size_t(i)].store(true);
    if (wanted_.load() == i) {
        const std::lock_guard lock(mutex_);
        wake_.notify_all();
    }
    return true;
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
    // Every fact is in: the threads only have their loops to finish.
    if (worker_.joinable())
        worker_.join();
    for (std::thread &helper : helpers_)
        helper.join();
    helpers_.clear();
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
