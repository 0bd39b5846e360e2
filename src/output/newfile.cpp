#include "newfile.h"

#include "selection/filesystem.h"

#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace dirweaver {

namespace {

// The temporary names that exist, for a signal handler that may neither allocate nor lock:
// the folder's descriptor and the name, in fixed memory. A slot is -1 when free, -2 while
// taken but not yet armed.
struct Slot
{
    std::atomic<int> dirFd{-1};
    char name[32] = {};
};
// More than the threads that write pages at once (96 where the storage is slow), each of
// which holds one only between making its file and renaming it.
Slot slots[128];
// How long a thread waits for a slot to come free when they are all taken: each is held for
// microseconds.
constexpr int kSlotWaits = 10000;
constexpr auto kSlotWait = std::chrono::microseconds(100);

// A signal that ends the program sets dying; a thread between checking that and knowing
// whether its file exists counts itself in making, so that the handler waits for it before
// it removes what the slots name, and no file is made after that.
std::atomic<bool> dying{false};
std::atomic<int> making{0};

void removeTemporaries(int signal)
{
    dying.store(true);
    // Bounded: a thread stopped in a system call that never returns must not keep the
    // program alive.
    for (int waited = 0; making.load() > 0 && waited < 2000; ++waited) {
        const timespec millisecond{0, 1000000};
        ::nanosleep(&millisecond, nullptr);
    }
    for (Slot &slot : slots) {
        const int dirFd = slot.dirFd.load();
        if (dirFd >= 0)
            ::unlinkat(dirFd, slot.name, 0);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The signals that remove the temporaries, blocked on this thread while it lives: the
// handler then runs on another thread, which may wait for this one.
class SignalsHeld
{
public:
    SignalsHeld()
    {
        sigset_t ending;
        sigemptyset(&ending);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&ending, signal);
        pthread_sigmask(SIG_BLOCK, &ending, &old_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;

private:
    sigset_t old_;
};

QByteArray freshName()
{
    return kTemporaryPrefix.toByteArray() +
           QByteArray::number(QRandomGenerator::system()->generate64() >> 24, 36);
}

} // namespace

void Descriptor::reset(int d)
{
    if (fd >= 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    fd = d;
}

bool WriteAll(int fd, const char *data, qint64 length)
{
    for (qint64 done = 0; done < length;) {
        const ssize_t n = ::write(fd, data + done, size_t(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

template <typename Make> bool NamedTemporary::make(int dirFd, Make make)
{
    release();
    int waits = 0;
    bool full = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Waited for outside the signals' watch, so that a signal's handler is never held up.
        if (full)
            std::this_thread::sleep_for(kSlotWait);
        const QByteArray name = freshName();
        const SignalsHeld held;
        ++making;
        const auto done = [](bool made) {
            --making;
            return made;
        };
        if (dying.load()) {
            errno = EINTR;
            return done(false);
        }
        // Armed before the file exists, so that a signal can never leave it behind.
        int slot = -1;
        for (int i = 0; i < int(std::size(slots)) && slot < 0; ++i) {
            int free = -1;
            if (slots[i].dirFd.compare_exchange_strong(free, -2))
                slot = i;
        }
        full = slot < 0;
        if (full) {
            done(false);
            if (++waits > kSlotWaits) {
                errno = EBUSY;
                return false;
            }
            --attempt;
            continue;
        }
        std::strncpy(slots[slot].name, name.constData(), sizeof slots[slot].name - 1);
        slots[slot].dirFd.store(dirFd);
        if (make(name)) {
            dirFd_ = dirFd;
            name_ = name;
            slot_ = slot;
            return done(true);
        }
        const int error = errno;
        slots[slot].dirFd.store(-1);
        done(false);
        errno = error;
        if (error != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

int NamedTemporary::create(int dirFd, mode_t mode)
{
    int fd = -1;
    make(dirFd, [&](const QByteArray &name) {
        fd = ::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      mode);
        return fd >= 0;
    });
    return fd;
}

bool NamedTemporary::link(int dirFd, int fd)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return make(dirFd, [&](const QByteArray &name) {
        return ::linkat(AT_FDCWD, self.constData(), dirFd, name.constData(), AT_SYMLINK_FOLLOW) ==
               0;
    });
}

bool NamedTemporary::renameTo(const QByteArray &name)
{
    if (::renameat(dirFd_, name_.constData(), dirFd_, name.constData()) != 0)
        return false;
    name_.clear();
    release();
    return true;
}

void NamedTemporary::release()
{
    if (!name_.isEmpty())
        ::unlinkat(dirFd_, name_.constData(), 0);
    name_.clear();
    if (slot_ >= 0)
        slots[slot_].dirFd.store(-1);
    slot_ = -1;
    dirFd_ = -1;
}

NamedTemporary::~NamedTemporary()
{
    const int saved = errno;
    release();
    errno = saved;
}

int NewPageFile(int dirFd, mode_t mode, NamedTemporary &named)
{
    const int fd = ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    return named.create(dirFd, mode);
}

bool LinkPageFile(int dirFd, int fd, NamedTemporary &named, const QByteArray &name)
{
    // An unnamed file gets a temporary name first, since a link never replaces a file.
    if (named.name().isEmpty() && !named.link(dirFd, fd))
        return false;
    return named.renameTo(name);
}

void CopyMetadata(int from, const struct stat &old, int to)
{
    if (::fchown(to, old.st_uid, old.st_gid) != 0 && ::fchown(to, uid_t(-1), old.st_gid) != 0) {
        // Not ours to give: the page keeps the writer's group.
    }
    QByteArray names(4096, '\0');
    const ssize_t length = ::flistxattr(from, names.data(), size_t(names.size()));
    for (const QByteArray &attribute : names.left(qMax<ssize_t>(length, 0)).split('\0')) {
        if (attribute.isEmpty())
            continue;
        QByteArray value(65536, '\0');
        const ssize_t size =
            ::fgetxattr(from, attribute.constData(), value.data(), size_t(value.size()));
        if (size >= 0)
            ::fsetxattr(to, attribute.constData(), value.constData(), size_t(size), 0);
    }
    // Last: a change of owner clears the set-id bits.
    ::fchmod(to, old.st_mode & 07777);
}

void RemoveTemporariesOnSignals()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, removeTemporaries);
}

} // namespace dirweaver
