#include "treepage.h"

#include "newfile.h"

#include "selection/filesystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace dirweaver {

namespace {

// Gives a folder its modification time back once a page in it was written or removed, so
// that folders keep the time of their own changes (an order by date means something, and a
// mirror's dates stay).
class FolderTime
{
public:
    explicit FolderTime(int dirFd) : dirFd_(dirFd) {}
    ~FolderTime()
    {
        if (!changed_ || !known_)
            return;
        const timespec times[2] = {{0, UTIME_OMIT}, before_.st_mtim};
        // Not the owner, and not root: the folder keeps the new time.
        ::futimens(dirFd_, times);
    }
    FolderTime(const FolderTime &) = delete;
    FolderTime &operator=(const FolderTime &) = delete;
    // Just before the folder is changed: its time as it was; asked only then, since a page
    // left as it was changes nothing and each question may be a round trip.
    void aboutToChange()
    {
        if (!asked_)
            known_ = ::fstat(dirFd_, &before_) == 0;
        asked_ = true;
    }
    void changed() { changed_ = true; }

private:
    int dirFd_;
    struct stat before_;
    bool asked_ = false, known_ = false, changed_ = false;
};

// Compares what is written with the old page read alongside; a new file is made only once
// they differ, first given the bytes that agreed (read from the old page again) and then
// everything else. A page whose bytes would not change costs no write, which on a full disk
// would fail. Gathers the bytes in large blocks, as a file's writes should be; no toolkit
// object, since it runs on the tree's threads, short of memory too.
class ComparingSink final : public PageSink
{
public:
    using Make = std::function<int()>;
    // old: the page there, -1 for none; make gives the new file's descriptor, or -1.
    ComparingSink(int old, Make make) : old_(old), make_(std::move(make))
    {
        if (old_ < 0)
            diverge();
    }
    void append(QByteArrayView bytes) override
    {
        block_.append(bytes);
        if (block_.size() >= kBlock)
            take();
    }
    // The new file, -1 while the bytes agree (or when it could not be made).
    int fresh() const { return fresh_.fd; }
    // True in same when every byte agreed and nothing of the old page is left over; else the
    // new file holds all that was written. False when that failed, error() saying why.
    bool finish(bool *same)
    {
        take();
        char extra;
        *same = fresh_.fd < 0 && !failed_ && ::pread(old_, &extra, 1, matched_) == 0;
        if (!*same && fresh_.fd < 0 && !failed_)
            diverge();
        return !failed_;
    }
    int error() const { return error_; }

private:
    static constexpr qsizetype kBlock = 1 << 20;

    // Compares or writes the gathered block.
    void take()
    {
        if (!failed_ && fresh_.fd < 0 && !agrees())
            diverge();
        if (!failed_ && fresh_.fd >= 0 && !WriteAll(fresh_.fd, block_.constData(), block_.size()))
            fail();
        if (fresh_.fd < 0)
            matched_ += block_.size();
        block_.truncate(0); // keeps the capacity
    }
    bool agrees()
    {
        there_.resize(block_.size());
        qint64 got = 0;
        while (got < block_.size()) {
            const ssize_t n = ::pread(old_, there_.data() + got, size_t(block_.size() - got),
                                      off_t(matched_ + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        return got == block_.size() && there_ == block_;
    }
    // The bytes stop agreeing: the new file, with what agreed so far.
    void diverge()
    {
        fresh_.reset(make_());
        if (fresh_.fd < 0) {
            fail();
            return;
        }
        for (qint64 at = 0; at < matched_;) {
            there_.resize(std::min<qint64>(matched_ - at, kBlock));
            const ssize_t n = ::pread(old_, there_.data(), size_t(there_.size()), off_t(at));
            if (n <= 0 || !WriteAll(fresh_.fd, there_.constData(), n)) {
                if (n == 0)
                    errno = EIO;
                fail();
                return;
            }
            at += n;
        }
    }
    void fail()
    {
        if (!failed_)
            error_ = errno;
        failed_ = true;
    }

    int old_;
    Make make_;
    Descriptor fresh_;
    qint64 matched_ = 0;
    bool failed_ = false;
    int error_ = 0;
    QByteArray block_, there_; // what is written, and what the old page holds there
};

// What is known of name in dirFd (never following a link), or of dirFd itself for an empty
// name: its type, inode and device, which never change, so that no fresh answer is asked
// for them where each question is a round trip.
bool known(int dirFd, const char *name, struct stat *st)
{
    struct statx x;
    const int flags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | (*name ? 0 : AT_EMPTY_PATH);
    if (::statx(dirFd, name, flags, STATX_TYPE | STATX_INO, &x) != 0)
        return false;
    st->st_mode = x.stx_mode;
    st->st_ino = x.stx_ino;
    st->st_dev = makedev(x.stx_dev_major, x.stx_dev_minor);
    return true;
}

// Opens what is at name in dirFd when it is a regular file, never blocking or following:
// the descriptor, or -1 with result saying why not (NotRegular, Failed with errno set).
int openOld(int dirFd, const QByteArray &name, const struct stat &st, TreePageSave *result)
{
    *result = TreePageSave::NotRegular;
    if (!S_ISREG(st.st_mode))
        return -1;
    const int fd = ::openat(dirFd, name.constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat opened;
    if (fd < 0 && (errno == ELOOP || errno == ENXIO))
        return -1;
    if (fd < 0 || !known(fd, "", &opened)) {
        *result = TreePageSave::Failed;
        return -1;
    }
    // A file swapped in meanwhile is not the one judged.
    if (!S_ISREG(opened.st_mode) || opened.st_ino != st.st_ino) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True when the open file fd carries mark in its head; nothing carries an empty mark.
bool carries(int fd, QByteArrayView mark)
{
    if (mark.isEmpty())
        return false;
    QByteArray head(4096, '\0');
    const ssize_t n = ::pread(fd, head.data(), size_t(head.size()), 0);
    return n >= 0 && QByteArrayView(head).first(n).contains(mark);
}

} // namespace

TreePageSave SaveTreePage(int dirFd, const QByteArray &name, const PageProducer &produce,
                          QByteArrayView mark, bool force, QString *error)
{
    FolderTime time(dirFd);
    struct stat st;
    Descriptor old;
    if (known(dirFd, name.constData(), &st)) {
        TreePageSave refused;
        old.reset(openOld(dirFd, name, st, &refused));
        if (old.fd < 0) {
            if (refused == TreePageSave::Failed)
                *error = ErrorText(errno);
            return refused;
        }
        if (!force && !carries(old.fd, mark))
            return TreePageSave::NotOurs;
    } else if (errno != ENOENT) {
        *error = ErrorText(errno);
        return TreePageSave::Failed;
    }
    // A page that could not be replaced still stands, and stays linked.
    const auto fail = [&](const QString &reason) {
        *error = reason;
        return old.fd >= 0 ? TreePageSave::Kept : TreePageSave::Failed;
    };
    NamedTemporary named;
    ComparingSink file(old.fd, [&] {
        time.aboutToChange();
        return NewPageFile(dirFd, old.fd >= 0 ? 0600 : 0666, named);
    });
    produce(file);
    bool same = false;
    const bool finished = file.finish(&same);
    // A temporary name, made and gone, changed the folder too.
    if (!same)
        time.changed();
    if (!finished)
        return fail(ErrorText(file.error() != 0 ? file.error() : EIO));
    if (same)
        return TreePageSave::Unchanged;
    // The replaced page's owner, group and mode as they are now.
    struct stat now;
    if (old.fd >= 0 && ::fstat(old.fd, &now) == 0)
        CopyMetadata(old.fd, now, file.fresh());
    // Synced all at once by the caller: one sync per page would cost more than the pages.
    if (!LinkPageFile(dirFd, file.fresh(), named, name))
        return fail(ErrorText(errno));
    return TreePageSave::Written;
}

TreePageRemoval RemoveTreePage(int dirFd, const QByteArray &name, QByteArrayView mark,
                               QString *error)
{
    struct stat st;
    if (!known(dirFd, name.constData(), &st))
        return TreePageRemoval::NoneOurs;
    TreePageSave refused;
    const Descriptor old(openOld(dirFd, name, st, &refused));
    if (old.fd < 0 || !carries(old.fd, mark))
        return TreePageRemoval::NoneOurs;
    FolderTime time(dirFd);
    time.aboutToChange();
    // What is unlinked is the file judged, unless it was swapped meanwhile: then it stays.
    struct stat now;
    if (!known(dirFd, name.constData(), &now) || now.st_ino != st.st_ino || now.st_dev != st.st_dev)
        return TreePageRemoval::NoneOurs;
    if (::unlinkat(dirFd, name.constData(), 0) != 0) {
        *error = ErrorText(errno);
        return TreePageRemoval::Failed;
    }
    time.changed();
    return TreePageRemoval::Removed;
}

int RemoveLeftTemporaries(int dirFd, const QList<QByteArray> &names)
{
    constexpr time_t kDay = 24 * 60 * 60;
    const time_t before = ::time(nullptr) - kDay;
    int removed = 0;
    for (const QByteArray &name : names) {
        struct stat st;
        // Only the running user's own, never through a link: no one else's file goes.
        if (!IsTemporaryName(name) ||
            ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_mtime >= before)
            continue;
        FolderTime time(dirFd);
        time.aboutToChange();
        if (::unlinkat(dirFd, name.constData(), 0) == 0) {
            time.changed();
            ++removed;
        }
    }
    return removed;
}

void FolderPages::settle(const QByteArray &top)
{
    const Descriptor folder(OpenFolderFd(top, O_RDONLY));
    if (folder.fd >= 0)
        ::syncfs(folder.fd);
}

} // namespace dirweaver
