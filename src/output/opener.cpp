#include "opener.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <memory>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dirweaver {

namespace {

// The processes whose parent is this one, from /proc.
QList<pid_t> children()
{
    QList<pid_t> pids;
    const pid_t self = ::getpid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold anything, so read after its last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == self)
            pids.append(pid);
    }
    return pids;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

Launch LaunchAdopting(const std::function<bool()> &launch)
{
    const QList<pid_t> before = children();
    int wasReaper = 0;
    ::prctl(PR_GET_CHILD_SUBREAPER, &wasReaper);
    // A detached opener is orphaned before the launch returns; as the subreaper this process
    // becomes its parent instead of init, only for as long as the launch runs.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    Launch result;
    result.started = launch();
    ::prctl(PR_SET_CHILD_SUBREAPER, wasReaper);
    for (const pid_t pid : children()) {
        if (!before.contains(pid))
            result.openers.append(pid);
    }
    return result;
}

OpenerWatch::OpenerWatch(QObject *parent) : QObject(parent)
{
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, &OpenerWatch::poll);
}

void OpenerWatch::watch(const QList<pid_t> &openers, std::function<void(int status)> failed)
{
    if (openers.isEmpty())
        return;
    // One report per launch, however many of its openers fail.
    auto once = std::make_shared<std::function<void(int)>>(std::move(failed));
    for (const pid_t pid : openers)
        watched_.append({pid, nowMs() + kGraceMs, [once](int status) {
                             if (*once)
                                 std::exchange(*once, {})(status);
                         }});
    timer_.start();
}

void OpenerWatch::poll()
{
    const qint64 now = nowMs();
    QList<std::pair<std::function<void(int)>, int>> failures;
    for (qsizetype i = 0; i < watched_.size();) {
        int status = 0;
        const pid_t done = ::waitpid(watched_[i].pid, &status, WNOHANG);
        if (done == 0) {
            // Past the grace time a running opener is a browser at work: success, but it is
            // still reaped when it ends.
            if (now > watched_[i].deadline)
                watched_[i].failed = {};
            ++i;
            continue;
        }
        const Watched ended = watched_.takeAt(i);
        if (done < 0 || !ended.failed || now > ended.deadline)
            continue;
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
            failures.append({ended.failed, WEXITSTATUS(status)});
        else if (WIFSIGNALED(status))
            failures.append({ended.failed, 128 + WTERMSIG(status)});
    }
    const bool waiting = std::any_of(watched_.cbegin(), watched_.cend(),
                                     [](const Watched &w) { return bool(w.failed); });
    if (watched_.isEmpty())
        timer_.stop();
    else
        timer_.setInterval(waiting ? 50 : 1000); // past the grace time, only reaping is left
    // Reported last: a report may open a dialog whose event loop polls again.
    for (const auto &[failed, status] : failures)
        failed(status);
}

} // namespace dirweaver
