#include "filesystem.h"

#include "links.h"

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
bool IsTemporaryName(QByteArrayView name)
{
    if (!name.startsWith(kTemporaryPrefix) || name.size() == kTemporaryPrefix.size() ||
        name.size() > 31)
        return false;
    for (const char c : name.sliced(kTemporaryPrefix.size())) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

QByteArrayView TrimAtNul(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.first(nul);
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

// Reads folder's regular files, sub-folders or both in one pass; links and DT_UNKNOWN
// entries are judged by their target, so a link to a file lists as a file and a broken link
// not at all (where links are followed only within a tree, one that leads outside it lists
// as a file of its own).
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
    // Device and inode never change: what is known of them is asked nowhere further.
    struct statx self;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_INO, &self) == 0)
        entries.files.identity = entries.folders.identity = {
            (quint64(self.stx_dev_major) << 32) | self.stx_dev_minor, quint64(self.stx_ino)};
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
            case LinkPlace::Nowhere:
                type = 0;
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

// The nanoseconds of t, none where a file system tells more than a second's worth.
int nanosOf(const statx_timestamp &t)
{
    return t.tv_nsec < 1000000000 ? int(t.tv_nsec) : 0;
}

// The facts a page shows, from what statx told.
FileFacts factsOf(const struct statx &st)
{
    FileFacts facts;
    facts.size = qint64(st.stx_size);
    if ((st.stx_mask & STATX_BTIME) != 0) {
        facts.birthTime = qint64(st.stx_btime.tv_sec);
        facts.birthNanos = nanosOf(st.stx_btime);
    }
    if ((st.stx_mask & STATX_MTIME) != 0) {
        facts.modifiedTime = qint64(st.stx_mtime.tv_sec);
        facts.modifiedNanos = nanosOf(st.stx_mtime);
    }
    return facts;
}

constexpr unsigned kMask = STATX_SIZE | STATX_BTIME | STATX_MTIME | STATX_TYPE;

// The facts of one folder's files, each one statx relative to the open folder.
class RealFolderFacts final : public FolderFacts
{
public:
    // fd: the folder, held for this alone (-1: it could not be opened); sums: where sums
    // are kept, when the files' checksums are asked for.
    RealFolderFacts(const SystemCalls &calls, int fd, const QByteArray &linksWithin, SumCache *sums)
        : calls_(calls), fd_(fd), linksWithin_(linksWithin), sums_(sums)
    {
    }
    ~RealFolderFacts() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RealFolderFacts(const RealFolderFacts &) = delete;
    RealFolderFacts &operator=(const RealFolderFacts &) = delete;

    std::optional<FileFacts> facts(const QByteArray &name) const override
    {
        std::optional<FileFacts> facts = ownFacts(name);
        if (facts && sums_ && facts->size >= 0)
            facts->sha256 = sumOf(name);
        return facts;
    }

private:
    std::optional<FileFacts> ownFacts(const QByteArray &name) const
    {
        if (fd_ < 0)
            return std::nullopt;
        const int dirFd = fd_;
        // Asked once, the link itself: a plain file needs nothing more.
        struct statx st;
        if (calls_.statx(dirFd, name.constData(), AT_SYMLINK_NOFOLLOW, kMask, &st) != 0)
            return std::nullopt;
        if (!S_ISLNK(st.stx_mode))
            return factsOf(st);
        if (linksWithin_.isEmpty()) {
            if (calls_.statx(dirFd, name.constData(), 0, kMask, &st) != 0)
                return std::nullopt;
            return factsOf(st);
        }
        // Where links are followed only within a tree, the target is judged through one
        // descriptor and its facts read from that same descriptor; one leading elsewhere
        // gives the link's own, one leading nowhere none.
        const int target = openLinkTarget(dirFd, name.constData());
        if (target < 0)
            return std::nullopt;
        struct statx followed;
        const bool below = liesBelow(realPathOf(target), linksWithin_);
        const bool read = below && calls_.statx(target, "", AT_EMPTY_PATH, kMask, &followed) == 0;
        ::close(target);
        if (!below)
            return factsOf(st);
        return read ? std::optional<FileFacts>(factsOf(followed)) : std::nullopt;
    }

    // The sum of the file the facts are of, found as they were (a link followed only where
    // its facts are its target's) and judged before it is opened for reading: only a regular
    // file is, so that nothing swapped in (a device, a FIFO) is ever opened. With root's
    // rights, a file of someone else's that is not readable by all gets none: its page
    // tells nothing its owner kept private.
    QByteArray sumOf(const QByteArray &name) const
    {
        struct statx st;
        if (calls_.statx(fd_, name.constData(), AT_SYMLINK_NOFOLLOW, kMask, &st) != 0)
            return {};
        int found = -1;
        if (!S_ISLNK(st.stx_mode)) {
            found = ::openat(fd_, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        } else if (linksWithin_.isEmpty()) {
            found = ::openat(fd_, name.constData(), O_PATH | O_CLOEXEC);
        } else {
            found = openLinkTarget(fd_, name.constData());
            if (found >= 0 && !liesBelow(realPathOf(found), linksWithin_)) {
                ::close(found);
                found = -1;
            }
        }
        if (found < 0)
            return {};
        struct statx judged;
        const bool readable =
            ::statx(found, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &judged) == 0 &&
            S_ISREG(judged.stx_mode) &&
            !(::geteuid() == 0 && judged.stx_uid != 0 && (judged.stx_mode & S_IROTH) == 0);
        // The very file judged, opened for reading through its descriptor.
        const int fd =
            readable ? ::open(QByteArray("/proc/self/fd/" + QByteArray::number(found)).constData(),
                              O_RDONLY | O_CLOEXEC | O_NOCTTY)
                     : -1;
        ::close(found);
        if (fd < 0)
            return {};
        const QByteArray sum = FileSha256(fd, *sums_);
        ::close(fd);
        return sum;
    }

    const SystemCalls &calls_;
    const int fd_;
    const QByteArray linksWithin_;
    SumCache *const sums_;
};

} // namespace

std::unique_ptr<FolderFacts> RealFileSystem::openFacts(const FolderRef &folder) const
{
    // A folder held open is held once more, as a path: nothing is asked of it to open it.
    int fd = -1;
    if (folder.fd >= 0) {
        fd = ::openat(folder.fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    } else if (DIR *dir = openDir(folder)) {
        fd = ::fcntl(::dirfd(dir), F_DUPFD_CLOEXEC, 0);
        ::closedir(dir);
    }
    return std::make_unique<RealFolderFacts>(calls_, fd, folder.linksWithin,
                                             folder.checksums ? sums_.get() : nullptr);
}

} // namespace dirweaver