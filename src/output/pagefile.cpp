#include "pagefile.h"

#include "selection/filesystem.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace dirweaver {

namespace {

constexpr qsizetype kBlock = 1 << 20;

// Closes a descriptor when it goes out of scope, keeping errno.
struct Descriptor
{
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int d) : fd(d) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() { reset(); }
    void reset(int d = -1)
    {
        if (fd >= 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
        }
        fd = d;
    }
};

// A temporary file whose name a signal handler may have to remove: the folder's descriptor
// and the name, in fixed memory, since a handler may neither allocate nor lock. One slot per
// page being written at once.
struct PendingTemporary
{
    std::atomic<int> dirFd{-1};
    char name[32] = {};
};
PendingTemporary pendingTemporaries[16];

void removePending(int signal)
{
    for (PendingTemporary &pending : pendingTemporaries) {
        const int dirFd = pending.dirFd.load();
        if (dirFd >= 0)
            ::unlinkat(dirFd, pending.name, 0);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Holds a named temporary file's slot while it exists, and removes the file unless kept.
class NamedTemporary
{
public:
    NamedTemporary(int dirFd, const QByteArray &name) : dirFd_(dirFd), name_(name)
    {
        if (dirFd < 0 || name.isEmpty())
            return;
        // A slot is reserved (-2) before its name is written, and armed only then.
        for (PendingTemporary &pending : pendingTemporaries) {
            int free = -1;
            if (!pending.dirFd.compare_exchange_strong(free, -2))
                continue;
            std::strncpy(pending.name, name.constData(), sizeof pending.name - 1);
            pending.dirFd.store(dirFd);
            slot_ = &pending;
            break;
        }
    }
    ~NamedTemporary()
    {
        if (!kept_ && dirFd_ >= 0 && !name_.isEmpty())
            ::unlinkat(dirFd_, name_.constData(), 0);
        if (slot_)
            slot_->dirFd.store(-1);
    }
    NamedTemporary(const NamedTemporary &) = delete;
    NamedTemporary &operator=(const NamedTemporary &) = delete;
    void keep() { kept_ = true; }

private:
    int dirFd_;
    QByteArray name_;
    PendingTemporary *slot_ = nullptr;
    bool kept_ = false;
};

QByteArray temporaryName()
{
    return ".dirweaver-" + QByteArray::number(QRandomGenerator::system()->generate(), 36);
}

// A new file in the folder dirFd for a page: unnamed where the file system allows it, so
// that nothing is left if the program dies before it is linked in; otherwise under a
// temporary name (set in *named). mode is what a new file asks for; the umask and a default
// ACL apply as to any new file.
int newPageFile(int dirFd, mode_t mode, QByteArray *named)
{
    named->clear();
    const int fd = ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *named = temporaryName();
        const int own = ::openat(dirFd, named->constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (own >= 0 || errno != EEXIST)
            return own;
    }
    errno = EEXIST;
    return -1;
}

// Puts the new file fd (unnamed, or named) at name in dirFd, replacing what is there.
bool linkInto(int dirFd, int fd, const QByteArray &named, const QByteArray &name)
{
    if (!named.isEmpty())
        return ::renameat(dirFd, named.constData(), dirFd, name.constData()) == 0;
    // Linked under a temporary name first, since a link never replaces a file.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray temporary = temporaryName();
        NamedTemporary pending(dirFd, temporary);
        if (::linkat(AT_FDCWD, self.constData(), dirFd, temporary.constData(), AT_SYMLINK_FOLLOW) !=
            0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        if (::renameat(dirFd, temporary.constData(), dirFd, name.constData()) != 0)
            return false;
        pending.keep();
        return true;
    }
    errno = EEXIST;
    return false;
}

// Gives the new file what the replaced one had: owner (or at least group), extended
// attributes and ACLs, then the mode, which a change of owner would clear set-id bits of.
void copyMetadata(int from, const struct stat &old, int to)
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
    ::fchmod(to, old.st_mode & 07777);
}

// Writes everything to fd and, while what is written still matches, compares it with what
// compareFd reads, so that a page whose bytes would not change is known without holding it.
class ComparingFile final : public QIODevice
{
public:
    ComparingFile(int fd, int compareFd) : fd_(fd), compareFd_(compareFd), same_(compareFd >= 0)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    // True when every byte written matched and nothing of the compared file is left over.
    bool same()
    {
        char extra;
        return same_ && ::read(compareFd_, &extra, 1) == 0;
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        for (qint64 done = 0; done < length;) {
            const ssize_t n = ::write(fd_, data + done, size_t(length - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return done > 0 ? done : -1;
            done += n;
        }
        if (same_)
            compare(data, length);
        return length;
    }

private:
    void compare(const char *data, qint64 length)
    {
        buffer_.resize(length);
        qint64 got = 0;
        while (got < length) {
            const ssize_t n = ::read(compareFd_, buffer_.data() + got, size_t(length - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        same_ = got == length && std::memcmp(buffer_.constData(), data, size_t(length)) == 0;
    }

    int fd_, compareFd_;
    bool same_;
    QByteArray buffer_;
};

// Writes the page into fd, comparing it with compareFd when that is open.
bool writeTo(int fd, const PageProducer &produce, PageEncoding encoding, QString *error,
             int compareFd = -1, bool *same = nullptr)
{
    ComparingFile file(fd, compareFd);
    if (!WritePage(file, produce, encoding, error))
        return false;
    if (same)
        *same = file.same();
    return true;
}

// Several links, or no new file possible: the file is written in place, as ">" writes it,
// once the page is complete elsewhere (in the temporary folder), so that a failure to make
// the page loses nothing.
bool writeInPlace(int fd, const PageProducer &produce, PageEncoding encoding, QString *error)
{
    const Descriptor scratch(::open(QFile::encodeName(QDir::tempPath()).constData(),
                                    O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (scratch.fd >= 0 && writeTo(scratch.fd, produce, encoding, error) &&
        ::ftruncate(fd, 0) == 0 && ::lseek(scratch.fd, 0, SEEK_SET) == 0) {
        ssize_t n;
        while ((n = ::copy_file_range(scratch.fd, nullptr, fd, nullptr, kBlock, 0)) > 0) {
        }
        if (n == 0 && ::fsync(fd) == 0)
            return true;
    }
    if (error->isEmpty())
        *error = ErrorText(errno);
    return false;
}

} // namespace

void PageDeviceSink::append(QStringView text)
{
    AppendPageBytes(buffer_, text, encoding_);
    if (buffer_.size() >= kBlock)
        flush();
}

void PageDeviceSink::appendBytes(QByteArrayView bytes)
{
    // A large page goes out in blocks, so it is never copied whole.
    for (qsizetype at = 0; at < bytes.size(); at += kBlock) {
        buffer_.append(bytes.sliced(at, qMin(kBlock, bytes.size() - at)));
        if (buffer_.size() >= kBlock)
            flush();
    }
}

void PageDeviceSink::flush()
{
    if (error_.isEmpty() && !buffer_.isEmpty()) {
        errno = 0;
        if (device_.write(buffer_) != buffer_.size()) {
            // A short write leaves the reason in errno (a full disk, a size limit).
            error_ = ErrorText(errno != 0 ? errno : EIO); // the C library's words, as everywhere
        }
    }
    buffer_.truncate(0); // keeps the capacity for the next block
}

bool PageDeviceSink::finish()
{
    buffer_.append("\r\n");
    flush();
    return error_.isEmpty();
}

QByteArray PageFileBytes(QStringView page, PageEncoding encoding)
{
    QByteArray bytes;
    AppendPageBytes(bytes, page, encoding);
    bytes.append("\r\n");
    return bytes;
}

bool WritePage(QIODevice &device, const PageProducer &produce, PageEncoding encoding,
               QString *error)
{
    PageDeviceSink sink(device, encoding);
    produce(sink);
    if (sink.finish())
        return true;
    if (error)
        *error = sink.errorString();
    return false;
}

bool SavePage(const QByteArray &path, const PageProducer &produce, PageEncoding encoding,
              QString *error)
{
    QString why;
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : path.left(qMax<qsizetype>(slash, 1));
    const QByteArray name = slash < 0 ? path : path.mid(slash + 1);
    Descriptor dir(name.isEmpty() ? -1 : OpenFolderFd(folder, O_PATH));
    if (name.isEmpty())
        errno = EISDIR;
    if (dir.fd < 0)
        return fail(ErrorText(errno));
    // Opened as "> path" opens it, so the kernel follows the links and applies its rules.
    const Descriptor out(
        ::openat(dir.fd, name.constData(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666));
    struct stat st;
    if (out.fd < 0 || ::fstat(out.fd, &st) != 0)
        return fail(ErrorText(errno));
    // A FIFO or a device receives the page as it is; an empty file has nothing to lose.
    if (!S_ISREG(st.st_mode) || st.st_size == 0) {
        const bool written = writeTo(out.fd, produce, encoding, &why) &&
                             (!S_ISREG(st.st_mode) || ::fsync(out.fd) == 0 || errno == EINVAL);
        if (!written && S_ISREG(st.st_mode) && ::ftruncate(out.fd, 0) != 0) {
            // Left as the failure left it; the message says why.
        }
        return written || fail(why.isEmpty() ? ErrorText(errno) : why);
    }
    // A file of content is replaced by a new one beside it, found where the kernel found it.
    struct stat here;
    QByteArray placeName = name;
    if (::fstatat(dir.fd, name.constData(), &here, AT_SYMLINK_NOFOLLOW) != 0 ||
        here.st_ino != st.st_ino || here.st_dev != st.st_dev) {
        const QByteArray real = QFile::encodeName(
            QFile::symLinkTarget(QStringLiteral("/proc/self/fd/") + QString::number(out.fd)));
        dir.reset(real.isEmpty() ? -1 : OpenFolderFd(real.left(real.lastIndexOf('/') + 1), O_PATH));
        placeName = real.mid(real.lastIndexOf('/') + 1);
        if (dir.fd >= 0 &&
            (::fstatat(dir.fd, placeName.constData(), &here, AT_SYMLINK_NOFOLLOW) != 0 ||
             here.st_ino != st.st_ino || here.st_dev != st.st_dev))
            dir.reset();
    }
    QByteArray named;
    const Descriptor fresh(dir.fd >= 0 && st.st_nlink == 1 ? newPageFile(dir.fd, 0600, &named)
                                                           : -1);
    if (fresh.fd < 0)
        return writeInPlace(out.fd, produce, encoding, &why) || fail(why);
    std::optional<NamedTemporary> pending;
    if (!named.isEmpty())
        pending.emplace(dir.fd, named);
    copyMetadata(out.fd, st, fresh.fd);
    if (!writeTo(fresh.fd, produce, encoding, &why))
        return fail(why);
    if (::fsync(fresh.fd) != 0 || !linkInto(dir.fd, fresh.fd, named, placeName))
        return fail(ErrorText(errno));
    if (pending)
        pending->keep();
    return true;
}

TreePageSave SaveTreePage(int dirFd, const QByteArray &name, const PageProducer &produce,
                          PageEncoding encoding, QByteArrayView mark, bool force, QString *error)
{
    const auto fail = [&](const QString &reason) {
        *error = reason;
        return TreePageSave::Failed;
    };
    struct stat st;
    Descriptor old;
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode))
            return TreePageSave::NotRegular;
        // Never blocks, never follows: a file swapped in meanwhile is not the one judged.
        old.reset(::openat(dirFd, name.constData(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened;
        if (old.fd < 0 && (errno == ELOOP || errno == ENXIO))
            return TreePageSave::NotRegular;
        if (old.fd < 0 || ::fstat(old.fd, &opened) != 0)
            return fail(ErrorText(errno));
        if (!S_ISREG(opened.st_mode) || opened.st_ino != st.st_ino)
            return TreePageSave::NotRegular;
        if (!force) {
            QByteArray head(4096, '\0');
            const ssize_t n = ::pread(old.fd, head.data(), size_t(head.size()), 0);
            if (n < 0 || !QByteArrayView(head).first(n).contains(mark))
                return TreePageSave::NotOurs;
        }
    } else if (errno != ENOENT) {
        return fail(ErrorText(errno));
    }
    QByteArray named;
    const Descriptor fresh(newPageFile(dirFd, old.fd >= 0 ? 0600 : 0666, &named));
    if (fresh.fd < 0)
        return fail(ErrorText(errno));
    NamedTemporary pending(named.isEmpty() ? -1 : dirFd, named);
    QString why;
    bool same = false;
    if (!writeTo(fresh.fd, produce, encoding, &why, old.fd, &same))
        return fail(why);
    if (same)
        return TreePageSave::Unchanged;
    if (old.fd >= 0)
        copyMetadata(old.fd, st, fresh.fd);
    // Synced all at once by the caller: one sync per page would cost more than the pages.
    if (!linkInto(dirFd, fresh.fd, named, name))
        return fail(ErrorText(errno));
    pending.keep();
    return TreePageSave::Written;
}

void RemoveTemporariesOnSignals()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, removePending);
}

bool SavePageBytes(const QByteArray &path, const QByteArray &page, QString *error)
{
    // The encoding does not matter: the bytes are already encoded.
    return SavePage(
        path, [&page](PageDeviceSink &sink) { sink.appendBytes(page); }, PageEncoding::Gbk, error);
}

} // namespace dirweaver
