#include "pagefile.h"

#include "selection/filesystem.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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
    ~Descriptor()
    {
        if (fd >= 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
        }
    }
};

// The file a path finally names: symbolic links followed, the last one even when its target
// does not exist yet, so writing through it keeps the link.
QByteArray finalTarget(QByteArray path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray target(st.st_size > 0 ? st.st_size + 1 : 4096, '\0');
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n < 0 || n >= target.size())
            return path;
        target.truncate(n);
        if (!target.startsWith('/'))
            target.prepend(path.left(path.lastIndexOf('/') + 1));
        path = target;
    }
    return path;
}

// The permissions a new file gets: 0666 less this process's umask.
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(0666 & ~mask);
            }
        }
    }
    return 0644;
}

bool writeTo(int fd, const PageProducer &produce, PageEncoding encoding, QString *error)
{
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::DontCloseHandle)) {
        *error = file.errorString();
        return false;
    }
    return WritePage(file, produce, encoding, error);
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
            error_ = errno != 0 ? ErrorText(errno) : device_.errorString();
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
              QString *error, Durability durability)
{
    QString why;
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QByteArray target = finalTarget(path);
    struct stat st;
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return fail(ErrorText(EISDIR));
    if (exists && !S_ISREG(st.st_mode)) {
        // A FIFO or a device receives the page as it is, as "> path" would give it.
        const Descriptor out(::open(target.constData(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC));
        if (out.fd < 0)
            return fail(ErrorText(errno));
        return writeTo(out.fd, produce, encoding, &why) || fail(why);
    }

    // A temporary file beside the target, renamed over it once complete.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(qMax<qsizetype>(slash, 1));
    const QByteArray name = target.mid(slash + 1);
    const Descriptor dir(OpenFolderFd(folder, O_PATH));
    if (dir.fd < 0)
        return fail(ErrorText(errno));
    QByteArray temporary;
    Descriptor out;
    for (int attempt = 0; attempt < 100 && out.fd < 0; ++attempt) {
        temporary = ".dirweaver-" + QByteArray::number(QRandomGenerator::system()->generate(), 36);
        out.fd =
            ::openat(dir.fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (out.fd < 0 && errno != EEXIST)
            return fail(ErrorText(errno));
    }
    if (out.fd < 0)
        return fail(ErrorText(EEXIST));
    // The new file keeps the old one's permissions and, where allowed, its owner.
    if (exists) {
        ::fchmod(out.fd, st.st_mode & 07777);
        if (::fchown(out.fd, st.st_uid, st.st_gid) != 0) {
            // Not ours to give away: the page is still written, owned by whoever writes it.
        }
    } else {
        ::fchmod(out.fd, newFileMode());
    }
    const bool written = writeTo(out.fd, produce, encoding, &why);
    if (written && (durability == Durability::Deferred || ::fsync(out.fd) == 0) &&
        ::renameat(dir.fd, temporary.constData(), dir.fd, name.constData()) == 0)
        return true;
    if (why.isEmpty())
        why = ErrorText(errno);
    ::unlinkat(dir.fd, temporary.constData(), 0);
    return fail(why);
}

bool SavePageBytes(const QByteArray &path, const QByteArray &page, QString *error)
{
    // The encoding does not matter: the bytes are already encoded.
    return SavePage(
        path, [&page](PageDeviceSink &sink) { sink.appendBytes(page); }, PageEncoding::Gbk, error);
}

} // namespace dirweaver
