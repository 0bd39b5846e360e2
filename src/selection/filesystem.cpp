#include "filesystem.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirweaver {

QString ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray JoinPath(const QByteArray &folder, const QByteArray &name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

QByteArrayView TrimAtNul(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.first(nul);
}

int OpenFolderFd(const QByteArray &path, int flags)
{
    flags |= O_DIRECTORY | O_CLOEXEC;
    if (path.size() < PATH_MAX)
        return ::open(path.constData(), flags);
    // Too long for the kernel in one piece: one component at a time, each relative to the
    // last, so no call sees more than a single name.
    int fd = ::open(path.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const QList<QByteArray> parts = path.split('/');
    qsizetype last = parts.size() - 1;
    while (last > 0 && parts[last].isEmpty())
        --last;
    for (qsizetype i = 0; i <= last && fd >= 0; ++i) {
        if (parts[i].isEmpty() && i != last)
            continue;
        const QByteArray part = parts[i].isEmpty() ? QByteArray(".") : parts[i];
        const int next =
            ::openat(fd, part.constData(), i == last ? flags : O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int saved = errno;
        ::close(fd);
        errno = saved;
        fd = next;
    }
    return fd;
}

int OpenSubFolderFd(int parentFd, const QByteArray &name)
{
    return ::openat(parentFd, name.constData(),
                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
}

DIR *SystemCalls::openFolder(const char *path) const
{
    const int fd = OpenFolderFd(QByteArray(path), O_RDONLY);
    if (fd < 0)
        return nullptr;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return dir;
}

dirent *SystemCalls::readEntry(DIR *dir) const
{
    return readdir(dir);
}

int SystemCalls::statx(int dirFd, const char *path, int flags, unsigned mask,
                       struct statx *out) const
{
    return ::statx(dirFd, path, flags, mask, out);
}

const SystemCalls &SystemCalls::machine()
{
    static const SystemCalls calls;
    return calls;
}

// Reads folder's entries of one kind; links and DT_UNKNOWN entries are judged by their
// target, so a link to a file lists as a file and a broken link not at all.
DIR *RealFileSystem::openDir(const FolderRef &folder) const
{
    if (folder.fd < 0)
        return calls_.openFolder(folder.path.constData());
    // A reading of its own: the caller's descriptor keeps its place and stays open.
    const int own = ::openat(folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = own < 0 ? nullptr : ::fdopendir(own);
    if (own >= 0 && !dir) {
        const int saved = errno;
        ::close(own);
        errno = saved;
    }
    return dir;
}

FolderListing RealFileSystem::readFolder(const FolderRef &folder, unsigned char wantedType,
                                         mode_t wantedMode, bool skipDotNames) const
{
    FolderListing listing;
    DIR *dir = openDir(folder);
    if (!dir) {
        listing.error = errno;
        return listing;
    }
    const int fd = dirfd(dir);
    struct stat self;
    if (::fstat(fd, &self) == 0)
        listing.identity = {quint64(self.st_dev), quint64(self.st_ino)};
    for (;;) {
        errno = 0;
        const dirent *entry = calls_.readEntry(dir);
        if (!entry) {
            listing.error = errno;
            break;
        }
        // The kernel fills d_name inside a record of d_reclen bytes. A name is copied only
        // once it is wanted: a folder of a million files has few sub-folders.
        const QByteArrayView name =
            TrimAtNul({entry->d_name, qsizetype(entry->d_reclen - offsetof(dirent, d_name))});
        if (name == "." || name == ".." || (skipDotNames && name.startsWith('.')))
            continue;
        bool wanted = entry->d_type == wantedType;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct statx target;
            wanted = calls_.statx(fd, entry->d_name, 0, STATX_TYPE, &target) == 0 &&
                     (target.stx_mode & S_IFMT) == wantedMode;
        }
        if (!wanted)
            continue;
        listing.names.append(name.toByteArray());
        if (entry->d_type == DT_LNK)
            listing.links.append(listing.names.back());
    }
    closedir(dir);
    if (listing.error != 0)
        listing.names.clear();
    return listing;
}

FolderListing RealFileSystem::regularFiles(const FolderRef &folder) const
{
    return readFolder(folder, DT_REG, S_IFREG, false);
}

FolderListing RealFileSystem::subFolders(const FolderRef &folder) const
{
    return readFolder(folder, DT_DIR, S_IFDIR, true);
}

namespace {

// The facts of one folder's files, each one statx relative to the open folder.
class RealFolderFacts final : public FolderFacts
{
public:
    RealFolderFacts(const SystemCalls &calls, DIR *dir) : calls_(calls), dir_(dir) {}
    ~RealFolderFacts() override
    {
        if (dir_)
            ::closedir(dir_);
    }
    RealFolderFacts(const RealFolderFacts &) = delete;
    RealFolderFacts &operator=(const RealFolderFacts &) = delete;

    std::optional<FileFacts> facts(const QByteArray &name) const override
    {
        struct statx st;
        if (!dir_ ||
            calls_.statx(::dirfd(dir_), name.constData(), 0, STATX_SIZE | STATX_BTIME, &st) != 0)
            return std::nullopt;
        FileFacts facts;
        facts.size = qint64(st.stx_size);
        if ((st.stx_mask & STATX_BTIME) != 0)
            facts.birthTime = qint64(st.stx_btime.tv_sec);
        return facts;
    }

private:
    const SystemCalls &calls_;
    DIR *dir_;
};

} // namespace

std::unique_ptr<FolderFacts> RealFileSystem::openFacts(const FolderRef &folder) const
{
    return std::make_unique<RealFolderFacts>(calls_, openDir(folder));
}

} // namespace dirweaver
