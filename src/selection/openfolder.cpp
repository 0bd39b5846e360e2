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

} // namespace dirweaver
