#include "filesystem.h"

#include <cerrno>
#include <cstddef>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace dirweaver {

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

DIR *SystemCalls::openFolder(const char *path) const
{
    return opendir(path);
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
FolderListing RealFileSystem::readFolder(const QByteArray &folder, unsigned char wantedType,
                                         mode_t wantedMode, bool skipDotNames) const
{
    FolderListing listing;
    DIR *dir = calls_.openFolder(folder.constData());
    if (!dir) {
        listing.error = errno;
        return listing;
    }
    const int fd = dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent *entry = calls_.readEntry(dir);
        if (!entry) {
            listing.error = errno;
            break;
        }
        // The kernel fills d_name inside a record of d_reclen bytes.
        const QByteArrayView buffer(entry->d_name, entry->d_reclen - offsetof(dirent, d_name));
        const QByteArray name = TrimAtNul(buffer).toByteArray();
        if (name == "." || name == ".." || (skipDotNames && name.startsWith('.')))
            continue;
        bool wanted = entry->d_type == wantedType;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct statx target;
            wanted = calls_.statx(fd, name.constData(), 0, STATX_TYPE, &target) == 0 &&
                     (target.stx_mode & S_IFMT) == wantedMode;
        }
        if (wanted)
            listing.names.append(name);
    }
    closedir(dir);
    if (listing.error != 0)
        listing.names.clear();
    return listing;
}

FolderListing RealFileSystem::regularFiles(const QByteArray &folder) const
{
    return readFolder(folder, DT_REG, S_IFREG, false);
}

FolderListing RealFileSystem::subFolders(const QByteArray &folder) const
{
    return readFolder(folder, DT_DIR, S_IFDIR, true);
}

std::optional<FileFacts> RealFileSystem::facts(const QByteArray &folder,
                                               const QByteArray &name) const
{
    struct statx st;
    const QByteArray path = JoinPath(folder, name);
    if (calls_.statx(AT_FDCWD, path.constData(), 0, STATX_SIZE | STATX_BTIME, &st) != 0)
        return std::nullopt;
    FileFacts facts;
    facts.size = qint64(st.stx_size);
    if ((st.stx_mask & STATX_BTIME) != 0)
        facts.birthTime = qint64(st.stx_btime.tv_sec);
    return facts;
}

} // namespace dirweaver
