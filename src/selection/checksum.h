#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

namespace dirweaver {

/// What a kept sum is valid for: the file's device, inode, size and modification and change
/// times, in nanoseconds.
struct SumKey
{
    quint64 device = 0, inode = 0;
    qint64 size = 0, modified = 0, changed = 0;

    friend bool operator==(const SumKey &, const SumKey &) = default;
    friend size_t qHash(const SumKey &key, size_t seed = 0)
    {
        return qHashMulti(seed, key.device, key.inode, key.size, key.modified, key.changed);
    }
};

/// The sums of the user's cache file (for files that may not carry their own), read at its
/// first use and added to as sums are made; shared by every thread of a run.
class SumCache
{
public:
    /// The file at path; none (nothing kept) when path is empty.
    explicit SumCache(QString path) : path_(std::move(path)) {}
    /// The cache file of the user: "dirweaver/sha256" in the cache folder.
    static QString userPath();

    /// The sum kept for key.
    std::optional<QByteArray> find(const SumKey &key);
    /// Keeps sum for key, in memory and at the end of the file.
    void keep(const SumKey &key, const QByteArray &sum);

private:
    void load(); // under mutex_
    const QString path_;
    std::mutex mutex_;
    bool loaded_ = false;
    QHash<SumKey, QByteArray> sums_;
};

/// The SHA-256 (32 bytes) of the regular file open for reading as fd: the sum kept while the
/// file is unchanged, else its content hashed (again when it changed while read), then kept.
/// A file of the caller's own keeps its sum in an extended attribute where its file system
/// allows one; any other, or where none is allowed, in cache: someone else's attribute is
/// never trusted, nor their file changed. Empty when it cannot be read, or keeps changing.
QByteArray FileSha256(int fd, SumCache &cache);

/// The extended attribute a file's kept sum is in.
inline constexpr char kSumAttribute[] = "user.dirweaver.sha256";

} // namespace dirweaver
