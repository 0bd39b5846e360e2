#include "pagefile.h"

#include "newfile.h"

#include "selection/filesystem.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirweaver {

namespace {

constexpr qsizetype kBlock = 1 << 20;

// Writes everything to fd, checking each write.
class DescriptorFile final : public QIODevice
{
public:
    explicit DescriptorFile(int fd) : fd_(fd)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        return WriteAll(fd_, data, length) ? length : -1;
    }

private:
    int fd_;
};

// Writes the page into fd.
bool writeTo(int fd, const PageProducer &produce, QString *error)
{
    DescriptorFile file(fd);
    return WritePage(file, produce, error);
}

// Several links, or no new file possible: the file is written in place, as ">" writes it,
// once the page is complete elsewhere (in the temporary folder), so that a failure to make
// the page loses nothing.
bool writeInPlace(int fd, const PageProducer &produce, QString *error)
{
    const Descriptor scratch(::open(QFile::encodeName(QDir::tempPath()).constData(),
                                    O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (scratch.fd >= 0 && writeTo(scratch.fd, produce, error) && ::ftruncate(fd, 0) == 0 &&
        ::lseek(scratch.fd, 0, SEEK_SET) == 0) {
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

void PageDeviceSink::append(QByteArrayView bytes)
{
    // A large piece goes out in blocks, so it is never copied whole.
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

bool WritePage(QIODevice &device, const PageProducer &produce, QString *error)
{
    PageDeviceSink sink(device);
    produce(sink);
    if (sink.finish())
        return true;
    if (error)
        *error = sink.errorString();
    return false;
}

bool SavePage(const QByteArray &path, const PageProducer &produce, QString *error)
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
        const bool written = writeTo(out.fd, produce, &why) &&
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
    NamedTemporary named;
    const Descriptor fresh(dir.fd >= 0 && st.st_nlink == 1 ? NewPageFile(dir.fd, 0600, named) : -1);
    if (fresh.fd < 0)
        return writeInPlace(out.fd, produce, &why) || fail(why);
    CopyMetadata(out.fd, st, fresh.fd);
    if (!writeTo(fresh.fd, produce, &why))
        return fail(why);
    if (::fsync(fresh.fd) != 0 || !LinkPageFile(dir.fd, fresh.fd, named, placeName))
        return fail(ErrorText(errno));
    return true;
}

bool SavePageBytes(const QByteArray &path, const QByteArray &page, QString *error)
{
    return SavePage(
        path, [&page](PageSink &sink) { sink.append(page); }, error);
}

} // namespace dirweaver
