#include "checksum.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <openssl/evp.h>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace dirweaver {

namespace {

constexpr qint64 kNanos = 1000000000;
// Writing the attribute stamps the file's change time, later than the attribute can say: it
// says "changed at most the clock before writing plus this", checked once written. The kernel
// stamps changes with the precise clock or with one that moves a tick at a time (a few
// milliseconds): a change to the content within this of the write, or in the tick after,
// with the modification time put back, would go unseen; none can come later unseen.
constexpr qint64 kStampSlack = 1000000;

qint64 nanosOf(const statx_timestamp &t)
{
    return qint64(t.tv_sec) * kNanos + t.tv_nsec;
}

std::optional<struct statx> statusOf(int fd)
{
    struct statx st;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &st) != 0 || !S_ISREG(st.stx_mode))
        return std::nullopt;
    return st;
}

SumKey keyOf(const struct statx &st)
{
    return {quint64(makedev(st.stx_dev_major, st.stx_dev_minor)), quint64(st.stx_ino),
            qint64(st.stx_size), nanosOf(st.stx_mtime), nanosOf(st.stx_ctime)};
}

// The content of fd hashed from its start; empty when a read fails.
QByteArray hashContent(int fd)
{
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> context(EVP_MD_CTX_new(),
                                                                      EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return {};
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    constexpr size_t kBlock = 256 * 1024;
    const std::unique_ptr<unsigned char[]> block(new unsigned char[kBlock]);
    off_t at = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, block.get(), kBlock, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {};
        if (got == 0)
            break;
        if (EVP_DigestUpdate(context.get(), block.get(), size_t(got)) != 1)
            return {};
        at += got;
    }
    QByteArray sum(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char *>(sum.data()), &length) !=
        1)
        return {};
    sum.truncate(length);
    return sum;
}

// The attribute's text: "1 inode size modified changed-at-most sum", times in nanoseconds.
QByteArray attributeText(const SumKey &key, qint64 changedAtMost, const QByteArray &sum)
{
    return "1 " + QByteArray::number(key.inode) + ' ' + QByteArray::number(key.size) + ' ' +
           QByteArray::number(key.modified) + ' ' + QByteArray::number(changedAtMost) + ' ' +
           sum.toHex();
}

// The sum the file's own attribute keeps, while it stands for the file as it is.
std::optional<QByteArray> attributeSum(int fd, const SumKey &key)
{
    char text[160];
    const ssize_t length = ::fgetxattr(fd, kSumAttribute, text, sizeof text);
    if (length <= 0)
        return std::nullopt;
    const QList<QByteArray> fields = QByteArray(text, length).split(' ');
    if (fields.size() != 6 || fields[0] != "1" || fields[5].size() != 64)
        return std::nullopt;
    bool ok[4] = {};
    const quint64 inode = fields[1].toULongLong(&ok[0]);
    const qint64 size = fields[2].toLongLong(&ok[1]);
    const qint64 modified = fields[3].toLongLong(&ok[2]);
    const qint64 changedAtMost = fields[4].toLongLong(&ok[3]);
    if (!(ok[0] && ok[1] && ok[2] && ok[3]) || inode != key.inode || size != key.size ||
        modified != key.modified || key.changed > changedAtMost)
        return std::nullopt;
    const QByteArray sum = QByteArray::fromHex(fields[5]);
    return sum.size() == 32 ? std::optional<QByteArray>(sum) : std::nullopt;
}

// Keeps sum in the file's attribute; false where the file system or the file allows none,
// or where its change time, stamped by the write, went past what the attribute says.
bool keepInAttribute(int fd, const SumKey &key, const QByteArray &sum)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 atMost = qint64(now.tv_sec) * kNanos + now.tv_nsec + kStampSlack;
    const QByteArray text = attributeText(key, atMost, sum);
    if (::fsetxattr(fd, kSumAttribute, text.constData(), size_t(text.size()), 0) != 0)
        return false;
    const std::optional<struct statx> written = statusOf(fd);
    if (written && nanosOf(written->stx_ctime) <= atMost)
        return true;
    ::fremovexattr(fd, kSumAttribute);
    return false;
}

// A line of the cache file: "device inode size modified changed sum".
QByteArray lineOf(const SumKey &key, const QByteArray &sum)
{
    return QByteArray::number(key.device) + ' ' + QByteArray::number(key.inode) + ' ' +
           QByteArray::number(key.size) + ' ' + QByteArray::number(key.modified) + ' ' +
           QByteArray::number(key.changed) + ' ' + sum.toHex() + '\n';
}

} // namespace

QString SumCache::userPath()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return cache.isEmpty() ? QString() : cache + QStringLiteral("/dirweaver/sha256");
}

void SumCache::load()
{
    loaded_ = true;
    QFile file(path_);
    if (path_.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    // "device inode size modified changed sum" a line; a line cut short at the end (another
    // run adding to it) is passed over.
    const QByteArray all = file.readAll();
    file.close();
    qsizetype lines = 0;
    for (const QByteArray &line : all.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() != 6 || f[5].size() != 64)
            continue;
        ++lines;
        const SumKey key{f[0].toULongLong(), f[1].toULongLong(), f[2].toLongLong(),
                         f[3].toLongLong(), f[4].toLongLong()};
        sums_.insert(key, QByteArray::fromHex(f[5]));
    }
    // A file whose files keep changing gains a line each time: once most lines stand for
    // nothing any more, it is written anew with the others, whole or not at all.
    if (lines > 1000 && lines > 2 * sums_.size()) {
        QSaveFile fresh(path_);
        if (!fresh.open(QIODevice::WriteOnly))
            return;
        for (auto it = sums_.cbegin(); it != sums_.cend(); ++it)
            fresh.write(lineOf(it.key(), it.value()));
        fresh.commit();
    }
}

std::optional<QByteArray> SumCache::find(const SumKey &key)
{
    const std::lock_guard lock(mutex_);
    if (!loaded_)
        load();
    const auto found = sums_.constFind(key);
    return found == sums_.cend() ? std::nullopt : std::optional<QByteArray>(*found);
}

void SumCache::keep(const SumKey &key, const QByteArray &sum)
{
    const std::lock_guard lock(mutex_);
    if (!loaded_)
        load();
    sums_.insert(key, sum);
    if (path_.isEmpty())
        return;
    // The user's own: the folder and the file for the user alone.
    const QString folder = QFileInfo(path_).path();
    QDir().mkpath(QFileInfo(folder).path());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    const int fd = ::open(QFile::encodeName(path_).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    const QByteArray line = lineOf(key, sum);
    // One write: lines of runs at once do not mix.
    [[maybe_unused]] const ssize_t written = ::write(fd, line.constData(), size_t(line.size()));
    ::close(fd);
}

QByteArray FileSha256(int fd, SumCache &cache)
{
    const std::optional<struct statx> before = statusOf(fd);
    if (!before)
        return {};
    const bool own = before->stx_uid == ::geteuid();
    SumKey key = keyOf(*before);
    if (own) {
        if (const std::optional<QByteArray> kept = attributeSum(fd, key))
            return *kept;
    }
    if (const std::optional<QByteArray> kept = cache.find(key))
        return *kept;
    // A file that changes while it is read is read again, once: a sum is of one content.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QByteArray sum = hashContent(fd);
        const std::optional<struct statx> after = statusOf(fd);
        if (sum.isEmpty() || !after)
            return {};
        if (keyOf(*after) != key) {
            key = keyOf(*after);
            continue;
        }
        if (own && keepInAttribute(fd, key, sum))
            return sum;
        // An attribute tried and taken away again stamped the change time anew.
        if (const std::optional<struct statx> now = statusOf(fd);
            now && keyOf(*now).inode == key.inode && keyOf(*now).modified == key.modified &&
            keyOf(*now).size == key.size)
            key.changed = keyOf(*now).changed;
        cache.keep(key, sum);
        return sum;
    }
    return {};
}

} // namespace dirweaver
