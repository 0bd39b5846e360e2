#pragma once

#include "filesystem.h"
#include "nativename.h"

#include <atomic>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace dirweaver {

/// Reads the facts of a folder's files on a second core, one statx each relative to the open
/// folder, into an array; the build then finds them by the place of each file in its list,
/// without a lookup. The facts are read in the folder's order while the caller sorts the
/// list, then in the list's new order, just ahead of the lines that need them. Where each
/// answer takes long (a network share, a cold disk), more threads ask at once, as many as
/// the first answers' latency calls for.
class FactsPrefetch final
{
public:
    /// From how many files on the facts are read on a second thread.
    static constexpr qsizetype kThreadFrom = 512;
    /// How many answers are timed before the number of threads is chosen.
    static constexpr int kProbe = 8;
    /// From what latency on (the probe's median) more threads ask at once.
    static constexpr qint64 kSlowFromMicroseconds = 50;
    /// How many requests may be in flight at most, the first thread included.
    static constexpr int kMostInFlight = 32;

    /// Starts reading the facts of files in folder through fs, in the order given.
    FactsPrefetch(const FileSystem &fs, const FolderRef &folder, const QList<NativeName> &files);
    /// Stops the worker and waits for it.
    ~FactsPrefetch();
    FactsPrefetch(const FactsPrefetch &) = delete;
    FactsPrefetch &operator=(const FactsPrefetch &) = delete;

    /// The list was put in another order while the facts were read: the file now at place i
    /// is the one that was at order[i]. Called once, before the first factsAt.
    void reorder(std::vector<qsizetype> order);
    /// The facts of the file at place i of the list, waiting for the worker if needed. One
    /// thread reads them.
    std::optional<FileFacts> factsAt(qsizetype i) const;
    /// Reads the facts still unread on this thread too, from the other end, and returns once
    /// every fact is in: for a caller that needs them all before going on.
    void readAlongside();
    /// The list was put in another order once more, after every fact was read (factsAt of
    /// each): the file now at place i is the one that was at place moved[i].
    void moved(const std::vector<qsizetype> &moved);

private:
    // The threads that ask for facts at once when the answers take latency microseconds.
    static int ThreadsFor(qint64 latencyMicroseconds);

    // Reads the fact of file i unless another thread took it; true when this one read it.
    bool read(qsizetype i);
    // One reading thread: the folder's order until the list is sorted, then the list's; the
    // first thread times its first answers and calls the others.
    void work(bool probe);

    std::unique_ptr<FolderFacts> folder_;
    QList<QByteArray> names_; // the bytes only: the caller's list may be sorted meanwhile
    // Facts packed in 24 bytes: a million files' worth is 24 MB, not 48.
    struct Packed
    {
        qint64 size = kUnread;
        qint64 birth = kNoBirth;
        qint64 modified = kNoBirth;
    };
    static constexpr qint64 kUnread = std::numeric_limits<qint64>::min();
    static constexpr qint64 kNoBirth = std::numeric_limits<qint64>::min();
    std::vector<Packed> facts_;
    std::unique_ptr<std::atomic<bool>[]> ready_;
    // Taken by the thread that reads the fact, so that two never read the same one.
    std::unique_ptr<std::atomic<bool>[]> claimed_;
    // Whether the names are still needed: 0 yes, 1 a second reader is at work, 2 dropped.
    std::atomic<int> namesState_{0};
    std::vector<qsizetype> order_;
    std::atomic<bool> ordered_{false};
    std::atomic<bool> stop_{false};
    // The next place to read in the folder's order, and in the list's.
    std::atomic<qsizetype> next_{0};
    std::atomic<qsizetype> nextOrdered_{0};
    // Threads still reading; the last one out drops the names.
    std::atomic<int> running_{0};
    std::vector<std::thread> helpers_; // started by the worker alone, joined after it
    // The file the reader waits for, -1 when it waits for none: waking a reader costs a
    // system call, so the worker wakes it only once the facts it waits for are there.
    mutable std::atomic<qsizetype> wanted_{-1};
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
    std::thread worker_;
};

} // namespace dirweaver
