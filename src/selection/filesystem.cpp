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

namespace {

// Where a link of the folder dirFd leads, for a walk that follows links only below within.
enum class LinkPlace { Below, Elsewhere, Folder };

LinkPlace placeOfLink(int dirFd, const char *name, const QByteArray &within)
{
    const int target = ::openat(dirFd, name, O_PATH | O_CLOEXEC);
    if (target < 0)
        return LinkPlace::Elsewhere; // nowhere, or nowhere this process may look
    struct stat st;
    const bool folder = ::fstat(target, &st) == 0 && S_ISDIR(st.st_mode);
    char real[PATH_MAX + 1];
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(target);
    const ssize_t n = ::readlink(self.constData(), real, PATH_MAX);
    ::close(target);
    if (folder)
        return LinkPlace::Folder;
    const QByteArrayView path(real, n > 0 ? n : 0);
    const bool below = within == "/" ? path.startsWith('/')
                                     : path.startsWith(within) && path.size() > within.size() &&
                                           path[within.size()] == '/';
    return below ? LinkPlace::Below : LinkPlace::Elsewhere;
}

} // namespace

// Reads folder's regular files, sub-folders or both in one pass; links and DT_UNKNOWN
// entries are judged by their target, so a link to a file lists as a file and a broken link
// not at all (in a walk, links that lead outside it or nowhere list as files of their own).
FolderEntries RealFileSystem::readFolder(const FolderRef &folder, bool wantFiles,
                                         bool wantFolders) const
{
    FolderEntries entries;
    DIR *dir = openDir(folder);
    if (!dir) {
        entries.files.error = entries.folders.error = errno;
        return entries;
    }
    const int fd = dirfd(dir);
    struct stat self;
    if (::fstat(fd, &self) == 0)
        entries.files.identity =
            entries.folders.identity = {quint64(self.st_dev), quint64(self.st_ino)};
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent *entry = calls_.readEntry(dir);
        if (!entry) {
            error = errno;
            break;
        }
        // The kernel fills d_name inside a record of d_reclen bytes. A name is copied only
        // once it is wanted: a folder of a million files has few sub-folders.
        const QByteArrayView name =
            TrimAtNul({entry->d_name, qsizetype(entry->d_reclen - offsetof(dirent, d_name))});
        if (name == "." || name == "..")
            continue;
        const auto typeOf = [&](int flags) -> mode_t {
            struct statx target;
            return calls_.statx(fd, entry->d_name, flags, STATX_TYPE, &target) == 0
                       ? mode_t(target.stx_mode & S_IFMT)
                       : 0;
        };
        bool link = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN && !folder.linksWithin.isEmpty())
            link = typeOf(AT_SYMLINK_NOFOLLOW) == S_IFLNK;
        mode_t type = entry->d_type == DT_REG ? S_IFREG : entry->d_type == DT_DIR ? S_IFDIR : 0;
        if (link && !folder.linksWithin.isEmpty()) {
            // A walk lists a link that leads outside it, or nowhere, as a file of its own.
            switch (placeOfLink(fd, entry->d_name, folder.linksWithin)) {
            case LinkPlace::Folder:
                type = S_IFDIR;
                break;
            case LinkPlace::Elsewhere:
                type = S_IFREG;
                break;
            case LinkPlace::Below:
                type = typeOf(0);
                break;
            }
        } else if (link || entry->d_type == DT_UNKNOWN) {
            type = typeOf(0);
        }
        FolderListing *into = type == S_IFREG && wantFiles     ? &entries.files
                              : type == S_IFDIR && wantFolders ? &entries.folders
                                                               : nullptr;
        if (!into)
            continue;
        into->names.append(name.toByteArray());
        if (link)
            into->links.append(into->names.back());
    }
    closedir(dir);
    for (FolderListing *listing : {&entries.files, &entries.folders}) {
        listing->error = error;
        if (error != 0)
            listing->names.clear();
    }
    return entries;
}

FolderListing RealFileSystem::regularFiles(const FolderRef &folder) const
{
    return readFolder(folder, true, false).files;
}

FolderListing RealFileSystem::subFolders(const FolderRef &folder) const
{
    return readFolder(folder, false, true).folders;
}

FolderEntries RealFileSystem::entries(const FolderRef &folder) const
{
    return readFolder(folder, true, true);
}

namespace {

// The facts of one folder's files, each one statx relative to the open folder.
class RealFolderFacts final : public FolderFacts
{
public:
    RealFolderFacts(const SystemCalls &calls, DIR *dir, const QByteArray &linksWithin)
        : calls_(calls), dir_(dir), linksWithin_(linksWithin)
    {
    }
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
        const unsigned mask = STATX_SIZE | STATX_BTIME | STATX_MTIME | STATX_TYPE;
        if (!dir_)
            return std::nullopt;
        // In a walk a link is judged first: one leading outside gives its own facts.
        int flags = 0;
        if (!linksWithin_.isEmpty() &&
            calls_.statx(::dirfd(dir_), name.constData(), AT_SYMLINK_NOFOLLOW, mask, &st) == 0 &&
            S_ISLNK(st.stx_mode) &&
            placeOfLink(::dirfd(dir_), name.constData(), linksWithin_) != LinkPlace::Below)
            flags = AT_SYMLINK_NOFOLLOW;
        if (calls_.statx(::dirfd(dir_), name.constData(), flags, mask, &st) != 0)
            return std::nullopt;
        FileFacts facts;
        facts.size = qint64(st.stx_size);
        if ((st.stx_mask & STATX_BTIME) != 0)
            facts.birthTime = qint64(st.stx_btime.tv_sec);
        if ((st.stx_mask & STATX_MTIME) != 0)
            facts.modifiedTime = qint64(st.stx_mtime.tv_sec);
        return facts;
    }

private:
    const SystemCalls &calls_;
    DIR *dir_;
    const QByteArray linksWithin_;
};

} // namespace

std::unique_ptr<FolderFacts> RealFileSystem::openFacts(const FolderRef &folder) const
{
    return std::make_unique<RealFolderFacts>(calls_, openDir(folder), folder.linksWithin);
}

} // namespace dirweaver
