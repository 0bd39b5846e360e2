#include "prefetch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <system_error>

namespace dirweaver {

// What the readers share with the list's owner; readers on a runner's threads keep it alive
// until they are done, however early the owner goes.
struct FactsPrefetch::Shared
{
    std::unique_ptr<FolderFacts> folder;
    QList<QByteArray> names; // the bytes only: the caller's list may be sorted meanwhile
    // Facts packed in 32 bytes: a million files' worth is 32 MB, not the 72 of FileFacts.
    struct Packed
    {
        qint64 size = kUnread;
        qint64 birth = kNone;
        qint64 modified = kNone;
        qint32 birthNanos = 0;
        qint32 modifiedNanos = 0;
    };
    static constexpr qint64 kUnread = std::numeric_limits<qint64>::min();
    static constexpr qint64 kNone = std::numeric_limits<qint64>::min();
    std::vector<Packed> facts;
    // The files' sums, where they are asked for: apart, so that facts alone stay small.
    std::vector<QByteArray> sums;
    std::unique_ptr<std::atomic<bool>[]> ready;
    // Taken by the thread that reads the fact, so that two never read the same one.
    std::unique_ptr<std::atomic<bool>[]> claimed;
    // Whether the names are still needed: 0 yes, 1 a second reader is at work, 2 dropped.
    std::atomic<int> namesState{0};
    // The list's order, for the readers.
    std::vector<qsizetype> order;
    std::atomic<bool> ordered{false};
    std::atomic<bool> stop{false};
    // The next place to read in the folder's order, and in the list's.
    std::atomic<qsizetype> next{0};
    std::atomic<qsizetype> nextOrdered{0};
    // Readers still at work; the last one out drops the names.
    std::atomic<int> running{0};
    // Readers started in all, and those at work now (begun, not yet done).
    std::atomic<int> started{0};
    std::atomic<int> active{0};
    // The answers take a round trip: waiting for one, the owner sleeps at once.
    std::atomic<bool> slow{false};
    TaskRunner *runner = nullptr;
    std::vector<std::thread> helpers; // of its own: started by the first reader alone
    std::thread first;                // of its own
    // The file the owner waits for, -1 when it waits for none: waking it costs a system
    // call, so a reader wakes it only once the facts it waits for are there.
    std::atomic<qsizetype> wanted{-1};
    std::mutex mutex;
    std::condition_variable wake;

    // Reads the fact of file i unless another thread took it; true when this one read it.
    bool read(qsizetype i)
    {
        if (claimed[size_t(i)].exchange(true, std::memory_order_acq_rel))
            return false;
        if (const std::optional<FileFacts> f = folder->facts(names.at(i))) {
            facts[size_t(i)] = {f->size, f->birthTime.value_or(kNone),
                                f->modifiedTime.value_or(kNone), f->birthNanos, f->modifiedNanos};
            if (!sums.empty())
                sums[size_t(i)] = f->sha256;
        }
        ready[size_t(i)].store(true);
        if (wanted.load() == i) {
            const std::lock_guard lock(mutex);
            wake.notify_all();
        }
        return true;
    }
};

namespace {

// The threads that ask for facts at once when the answers take latency microseconds: one
// more request in flight for every 25 µs an answer takes, so that the waits overlap where
// the storage would answer many at once (a share: 1 ms, all 32).
int threadsFor(qint64 latencyMicroseconds)
{
    if (latencyMicroseconds < FactsPrefetch::kSlowFromMicroseconds)
        return 1;
    return int(std::clamp<qint64>(latencyMicroseconds / 25, 2, FactsPrefetch::kMostInFlight));
}

} // namespace

// One reader: the folder's order until the list is sorted, then the list's; the first one
// (probe) times its first answers and starts the others.
void FactsPrefetch::work(const std::shared_ptr<Shared> &s, bool probe,
                         const std::function<void(int)> &startHelpers)
{
    ++s->active;
    const qsizetype count = s->names.size();
    std::vector<qint64> latencies;
    while (!s->stop.load(std::memory_order_relaxed)) {
        qsizetype i = 0;
        if (s->ordered.load(std::memory_order_acquire)) {
            const qsizetype k = s->nextOrdered.fetch_add(1, std::memory_order_relaxed);
            if (k >= count)
                break;
            i = s->order[size_t(k)];
        } else {
            i = s->next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count)
                break;
        }
        if (s->claimed[size_t(i)].load(std::memory_order_relaxed))
            continue;
        const auto start = std::chrono::steady_clock::now();
        if (!s->read(i) || !probe)
            continue;
        latencies.push_back(std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
        if (int(latencies.size()) < FactsPrefetch::kProbe)
            continue;
        probe = false;
        std::nth_element(latencies.begin(), latencies.begin() + FactsPrefetch::kProbe / 2,
                         latencies.end());
        if (latencies[FactsPrefetch::kProbe / 2] >= FactsPrefetch::kSlowFromMicroseconds)
            s->slow.store(true);
        // No more threads than there are files left for eight each: a thread costs more to
        // start than a few answers take.
        startHelpers(int(std::min<qint64>(threadsFor(latencies[FactsPrefetch::kProbe / 2]),
                                          1 + (count - FactsPrefetch::kProbe) / 8)) -
                     1);
    }
    --s->active;
    // Every fact is in or taken: the last reader out drops the names, which for a million
    // files weigh, unless a second reader still holds them.
    if (s->running.fetch_sub(1) == 1) {
        int needed = 0;
        if (s->namesState.compare_exchange_strong(needed, 2))
            s->names = QList<QByteArray>();
    }
}

void FactsPrefetch::start(const std::shared_ptr<Shared> &shared, bool probe, int more)
{
    std::weak_ptr<Shared> weak = shared;
    // Helpers are started by the first reader, with the shared state it holds.
    const auto helpers = [weak](int more) {
        const std::shared_ptr<Shared> s = weak.lock();
        if (!s)
            return;
        s->running.fetch_add(more);
        s->started.fetch_add(more);
        for (int t = 0; t < more; ++t) {
            if (s->runner) {
                s->runner->run([s] { work(s, false, {}); });
                continue;
            }
            try {
                s->helpers.emplace_back([s] { work(s, false, {}); });
            } catch (const std::system_error &) {
                // Fewer threads than asked for: those running read the rest.
                s->running.fetch_sub(more - t);
                s->started.fetch_sub(more - t);
                break;
            }
        }
    };
    shared->running.fetch_add(1);
    shared->started.fetch_add(1);
    if (shared->runner) {
        shared->runner->run([shared, probe, helpers] { work(shared, probe, helpers); });
        helpers(more);
        return;
    }
    try {
        shared->first = std::thread([shared, probe, helpers] { work(shared, probe, helpers); });
        helpers(more);
    } catch (const std::system_error &) {
        // No thread to be had (a limit on threads or memory): read them all here.
        shared->running.fetch_sub(1);
        shared->started.fetch_sub(1);
        for (qsizetype i = 0; i < shared->names.size(); ++i)
            shared->read(i);
    }
}

FactsPrefetch::FactsPrefetch(const FileSystem &fs, const FolderRef &folder,
                             const QList<NativeName> &files, TaskRunner *runner)
    : shared_(std::make_shared<Shared>())
{
    Shared &s = *shared_;
    s.folder = fs.openFacts(folder);
    s.facts.resize(size_t(files.size()));
    s.ready.reset(new std::atomic<bool>[size_t(files.size())] {});
    s.claimed.reset(new std::atomic<bool>[size_t(files.size())] {});
    s.runner = runner;
    s.names.reserve(files.size());
    for (const NativeName &file : files)
        s.names.append(file.bytes);
    // Hashing is work for every core, whatever the storage's latency: one reader a core,
    // the owner sleeping while it waits.
    if (folder.checksums && !files.isEmpty()) {
        s.sums.resize(size_t(files.size()));
        s.slow.store(true);
        const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
        start(shared_, false, int(std::min<qsizetype>(cores, files.size())) - 1);
        return;
    }
    // A few files are read at once, where a second thread would cost more than it saves:
    // unless the first answer shows storage slow enough for requests in flight to pay.
    if (files.size() < kThreadFrom) {
        const auto started = std::chrono::steady_clock::now();
        if (!files.isEmpty())
            s.read(0);
        const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - started);
        if (files.size() == 1 || took.count() < kSlowFromMicroseconds) {
            for (qsizetype i = 1; i < files.size(); ++i)
                s.read(i);
            return;
        }
        // The first answer took a round trip already: as many readers as it calls for, at
        // once, rather than timing more of them one after the other.
        s.slow.store(true);
        const int readers = int(std::min<qint64>(threadsFor(took.count()), 1 + files.size() / 8));
        start(shared_, false, readers - 1);
        return;
    }
    start(shared_, true);
}

FactsPrefetch::~FactsPrefetch()
{
    Shared &s = *shared_;
    s.stop.store(true);
    if (s.first.joinable())
        s.first.join();
    for (std::thread &helper : s.helpers)
        helper.join();
}

int FactsPrefetch::readers() const
{
    return shared_->started.load();
}

void FactsPrefetch::readAlongside()
{
    Shared &s = *shared_;
    const qsizetype count = qsizetype(s.facts.size());
    int needed = 0;
    if (s.namesState.compare_exchange_strong(needed, 1)) {
        for (qsizetype i = count - 1; i >= 0; --i) {
            if (!s.claimed[size_t(i)].load(std::memory_order_relaxed))
                s.read(i);
        }
    }
    for (qsizetype i = 0; i < count; ++i) {
        if (s.ready[size_t(i)].load(std::memory_order_acquire))
            continue;
        // A reader still has it in flight.
        s.wanted.store(i);
        std::unique_lock lock(s.mutex);
        s.wake.wait(lock, [&] { return s.ready[size_t(i)].load(); });
        s.wanted.store(-1);
    }
}

void FactsPrefetch::moved(const std::vector<qsizetype> &moved)
{
    // The readers may still be finishing their loops over the old order: the owner's own
    // map changes, theirs stays.
    std::vector<qsizetype> map(moved.size());
    for (size_t i = 0; i < moved.size(); ++i)
        map[i] = map_.empty() ? moved[i] : map_[size_t(moved[i])];
    map_ = std::move(map);
}

void FactsPrefetch::reorder(std::vector<qsizetype> order)
{
    map_ = order;
    shared_->order = std::move(order);
    shared_->ordered.store(true, std::memory_order_release);
}

std::optional<FileFacts> FactsPrefetch::factsAt(qsizetype i) const
{
    Shared &s = *shared_;
    const qsizetype at = map_.empty() ? i : map_[size_t(i)];
    if (at < 0 || at >= qsizetype(s.facts.size()))
        return std::nullopt;
    std::atomic<bool> &ready = s.ready[size_t(at)];
    // No reader at work (they are all still queued, or done): read here. A reader at work
    // gets to it, one ahead of the lines that need it.
    if (!ready.load(std::memory_order_acquire) && s.active.load(std::memory_order_relaxed) == 0)
        s.read(at);
    // A reader is a few microseconds ahead or behind: wait for it awake a little while
    // before sleeping, which costs two system calls and a switch each time; where each
    // answer is a round trip, sleep at once.
    const int spins = s.slow.load(std::memory_order_relaxed) ? 0 : 2000;
    for (int spin = 0; spin < spins && !ready.load(std::memory_order_acquire); ++spin) {
        if (spin % 16 == 15)
            std::this_thread::yield();
    }
    if (!ready.load()) {
        s.wanted.store(at);
        std::unique_lock lock(s.mutex);
        s.wake.wait(lock, [&] { return ready.load(); });
        s.wanted.store(-1);
    }
    const Shared::Packed &facts = s.facts[size_t(at)];
    if (facts.size == Shared::kUnread)
        return std::nullopt;
    const auto time = [](qint64 t) {
        return t == Shared::kNone ? std::nullopt : std::optional<qint64>(t);
    };
    FileFacts read{facts.size, time(facts.birth), time(facts.modified)};
    read.birthNanos = facts.birthNanos;
    read.modifiedNanos = facts.modifiedNanos;
    if (!s.sums.empty())
        read.sha256 = s.sums[size_t(at)];
    return read;
}

} // namespace dirweaver
