#pragma once

#include "filesystem.h"
#include "nativename.h"

#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace dirweaver {

/// Runs tasks on threads it keeps, so that a run of many folders starts its threads once.
class TaskRunner
{
public:
    virtual ~TaskRunner() = default;
    /// Runs task on one of its threads, soon; at once on the caller's where it has none.
    virtual void run(std::function<void()> task) = 0;
};

/// Reads the facts of a folder's files on a second core, one statx each relative to the open
/// folder, into an array; the build then finds them by the place of each file in its list,
/// without a lookup. The facts are read in the folder's order while the caller sorts the
/// list, then in the list's new order, just ahead of the lines that need them. Where each
/// answer takes long (a network share, a cold disk), more threads ask at once, as many as
/// the first answers' latency calls for. A fact no reader has taken yet when it is needed is
/// read by the one who needs it, so that nobody ever waits for a task still queued.
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

    /// Starts reading the facts of files in folder through fs, in the order given, on threads
    /// of runner (of its own when none is given).
    FactsPrefetch(const FileSystem &fs, const FolderRef &folder, const QList<NativeName> &files,
                  TaskRunner *runner = nullptr);
    /// Stops the readers; those of its own are waited for, a runner's finish unwatched.
    ~FactsPrefetch();
    FactsPrefetch(const FactsPrefetch &) = delete;
    FactsPrefetch &operator=(const FactsPrefetch &) = delete;

    /// The list was put in another order while the facts were read: the file now at place i
    /// is the one that was at order[i]. Called once, before the first factsAt.
    void reorder(std::vector<qsizetype> order);
    /// The facts of the file at place i of the list. One thread reads them.
    std::optional<FileFacts> factsAt(qsizetype i) const;
    /// Reads the facts still unread on this thread too, from the other end, and returns once
    /// every fact is in: for a caller that needs them all before going on.
    void readAlongside();
    /// The list was put in another order once more, after every fact was read (factsAt of
    /// each): the file now at place i is the one that was at place moved[i].
    void moved(const std::vector<qsizetype> &moved);
    /// How many readers were started besides the owner's thread, as the storage's latency
    /// called for.
    int readers() const;

private:
    struct Shared;
    // Starts a reader, and more besides it: the first one times its first answers (probe)
    // and starts the others.
    static void start(const std::shared_ptr<Shared> &shared, bool probe, int more = 0);
    // What a reader does; startHelpers starts more of them.
    static void work(const std::shared_ptr<Shared> &shared, bool probe,
                     const std::function<void(int)> &startHelpers);

    std::shared_ptr<Shared> shared_;
    // Where the owner finds the fact of each place of its list; empty while in the folder's
    // order.
    std::vector<qsizetype> map_;
};

} // namespace dirweaver
