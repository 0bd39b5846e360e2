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

namespace {

// True when a mount of the device major:minor was made by a user other than root or the
// person running: FUSE file systems carry their owner as "user_id=" in their options.
bool mountedByOther(unsigned major, unsigned minor)
{
    const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    QByteArray info;
    char block[16384];
    ssize_t n;
    while ((n = ::read(fd, block, sizeof block)) > 0)
        info.append(block, n);
    ::close(fd);
    const QByteArray device = QByteArray::number(major) + ':' + QByteArray::number(minor);
    for (const QByteArray &line : info.split('\n')) {
        // ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [FIELDS...] - TYPE SOURCE SUPER-OPTIONS
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 3 || fields[2] != device || dash < 0 || dash + 3 >= fields.size())
            continue;
        if (!fields[dash + 1].startsWith("fuse"))
            continue;
        for (const QByteArray &option : fields[dash + 3].split(',')) {
            if (!option.startsWith("user_id="))
                continue;
            const uint owner = option.mid(8).toUInt();
            if (owner != 0 && owner != ::geteuid())
                return true;
        }
    }
    return false;
}

quint64 deviceNumber(const struct statx &st)
{
    return (quint64(st.stx_dev_major) << 32) | st.stx_dev_minor;
}

} // namespace

quint64 DeviceOf(int fd)
{
    struct statx st;
    return ::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE, &st) == 0
               ? deviceNumber(st)
               : 0;
}

MountCheck CheckMount(int parentFd, const QByteArray &name, quint64 parentDevice)
{
    MountCheck check;
    struct statx st;
    // Cached attributes only: the root of a mount is known without asking its file system.
    if (::statx(parentFd, name.constData(),
                AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT, STATX_TYPE, &st) != 0)
        return check;
    check.device = deviceNumber(st);
    check.mountPoint =
        check.device != parentDevice || ((st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                                         (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0);
    check.othersMount = check.mountPoint && mountedByOther(st.stx_dev_major, st.stx_dev_minor);
    return check;
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

OpenFolder::Closer::~Closer()
{
    if (fd >= 0)
        ::close(fd);
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
enum class LinkPlace { Below, Elsewhere, Folder, Nowhere };

// True when path (a real path) lies below within.
bool liesBelow(QByteArrayView path, const QByteArray &within)
{
    if (within == "/")
        return path.startsWith('/');
    return path.startsWith(within) && path.size() > within.size() && path[within.size()] == '/';
}

// The real path of the open target.
QByteArray realPathOf(int fd)
{
    char real[PATH_MAX + 1];
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(self.constData(), real, PATH_MAX);
    return QByteArray(real, n > 0 ? n : 0);
}

// The target of the link name in dirFd, opened once: what is judged is what its facts are
// then read from, so a target swapped meanwhile cannot lend its facts. -1 when it leads
// nowhere this process may look.
int openLinkTarget(int dirFd, const char *name)
{
    return ::openat(dirFd, name, O_PATH | O_CLOEXEC);
}

LinkPlace placeOfTarget(int target, const QByteArray &within)
{
    if (target < 0)
        return LinkPlace::Nowhere;
    struct stat st;
    if (::fstat(target, &st) == 0 && S_ISDIR(st.st_mode))
        return LinkPlace::Folder;
    return liesBelow(realPathOf(target), within) ? LinkPlace::Below : LinkPlace::Elsewhere;
}

LinkPlace placeOfLink(int dirFd, const char *name, const QByteArray &within)
{
    const int target = openLinkTarget(dirFd, name);
    const LinkPlace place = placeOfTarget(target, within);
    if (target >= 0)
        ::close(target);
    return place;
}

} // namespace

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

OpenFolder RealFileSystem::openTop(const QByteArray &path) const
{
    OpenFolder top(path);
    const auto fail = [&top](int error) {
        top.error = error;
        return std::move(top);
    };
    // The components still to walk, first one first; a link's target goes in front of them.
    QList<QByteArray> rest = path.split('/');
    QByteArray walked = "/";
    int at = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const auto step = [&at](int next) {
        ::close(at);
        at = next;
    };
    int links = 0;
    while (at >= 0 && !rest.isEmpty()) {
        const QByteArray part = rest.takeFirst();
        if (part.isEmpty() || part == ".")
            continue;
        // Opened as it is, a link included, so that what is judged is what is followed.
        const int next = ::openat(at, part.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (next < 0 || ::fstat(next, &st) != 0) {
            const int error = errno;
            if (next >= 0)
                ::close(next);
            step(-1);
            return fail(error);
        }
        const QByteArray here = part == ".." ? walked : JoinPath(walked, part);
        if (S_ISLNK(st.st_mode)) {
            QByteArray target(PATH_MAX, '\0');
            const ssize_t n = ::readlinkat(next, "", target.data(), size_t(target.size()));
            ::close(next);
            if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
                top.foreignLink = here;
                top.linkOwner = st.st_uid;
                step(-1);
                return fail(EPERM);
            }
            if (n < 0 || ++links > 40) {
                step(-1);
                return fail(n < 0 ? errno : ELOOP);
            }
            target.truncate(n);
            if (target.startsWith('/')) {
                step(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                walked = "/";
            }
            rest = target.split('/') + rest;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            ::close(next);
            step(-1);
            return fail(ENOTDIR);
        }
        step(next);
        walked = part == ".." ? walked.left(qMax<qsizetype>(walked.lastIndexOf('/'), 1)) : here;
    }
    // Opened for reading through the folder reached, not by its name again.
    const int fd = at < 0 ? -1 : ::openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int error = errno;
    if (at >= 0)
        ::close(at);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return fail(error);
    }
    top.hold(fd);
    top.othersFolder = st.st_uid != ::geteuid();
    top.realPath = realPathOf(fd);
    top.device = DeviceOf(fd);
    return top;
}

OpenFolder FileSystem::openSub(const FolderRef &parent, const QByteArray &name,
                               const WalkRules &) const
{
    OpenFolder folder(JoinPath(parent.path, name));
    folder.error = EOPNOTSUPP;
    return folder;
}

bool FileSystem::holds(const FolderRef &folder, const QByteArray &name) const
{
    const FolderListing files = regularFiles(folder);
    return files.names.contains(name);
}

OpenFolder RealFileSystem::openSub(const FolderRef &parent, const QByteArray &name,
                                   const WalkRules &rules) const
{
    OpenFolder folder(name);
    const MountCheck mount = CheckMount(parent.fd, name, DeviceOf(parent.fd));
    if (mount.othersMount || (rules.oneFileSystem && mount.device != rules.topDevice)) {
        folder.notEntered = true;
        return folder;
    }
    const int fd = OpenSubFolderFd(parent.fd, name);
    if (fd < 0)
        folder.error = errno;
    else
        folder.hold(fd);
    folder.device = mount.device;
    folder.folder.linksWithin = parent.linksWithin;
    return folder;
}

bool RealFileSystem::holds(const FolderRef &folder, const QByteArray &name) const
{
    struct stat st;
    return ::fstatat(folder.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
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

// The facts a page shows, from what statx told.
FileFacts factsOf(const struct statx &st)
{
    FileFacts facts;
    facts.size = qint64(st.stx_size);
    if ((st.stx_mask & STATX_BTIME) != 0)
        facts.birthTime = qint64(st.stx_btime.tv_sec);
    if ((st.stx_mask & STATX_MTIME) != 0)
        facts.modifiedTime = qint64(st.stx_mtime.tv_sec);
    return facts;
}

constexpr unsigned kMask = STATX_SIZE | STATX_BTIME | STATX_MTIME | STATX_TYPE;

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
        if (!dir_)
            return std::nullopt;
        const int dirFd = ::dirfd(dir_);
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
