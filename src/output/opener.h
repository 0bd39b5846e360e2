#pragma once

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <sys/types.h>

namespace dirweaver {

/// What handing a file to the desktop started.
struct Launch
{
    /// False when the desktop said it could not open the file at all.
    bool started = false;
    /// The processes the launch left behind and this program adopted: a desktop starts its
    /// opener detached, so without adopting it no one would learn how it ended.
    QList<pid_t> openers;
};

/// Runs launch (QDesktopServices::openUrl, say) while this process adopts the orphans it
/// leaves, and returns what it started.
Launch LaunchAdopting(const std::function<bool()> &launch);

/// Waits for adopted openers without blocking: an opener that fails within the grace time
/// is reported, one that runs on (a browser started in the foreground) is success. Every
/// opener is reaped when it ends, however late.
class OpenerWatch final : public QObject
{
    Q_OBJECT

public:
    /// How long after the launch a failing opener still counts as the launch failing.
    static constexpr int kGraceMs = 3000;

    /// A watch owned by parent.
    explicit OpenerWatch(QObject *parent = nullptr);

    /// Watches openers; calls failed once, with the exit status (or 128 + signal), if one of
    /// them ends in error within the grace time.
    void watch(const QList<pid_t> &openers, std::function<void(int status)> failed);

private:
    void poll();

    struct Watched
    {
        pid_t pid;
        qint64 deadline; // ms since the watch's clock started
        std::function<void(int)> failed;
    };
    QList<Watched> watched_;
    QTimer timer_;
    qint64 startedAt_ = 0;
};

} // namespace dirweaver
