#include "filesystem.h"

#include "page/annotations.h"

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

FolderListing RealFileSystem::regularFiles(const QByteArray &folder) const
{
    FolderListing listing;
    DIR *dir = opendir(folder.constData());
    if (!dir) {
        listing.error = errno;
        return listing;
    }
    const int fd = dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (!entry) {
            listing.error = errno;
            break;
        }
        // The kernel fills d_name inside a record of d_reclen bytes.
        const QByteArrayView buffer(entry->d_name, entry->d_reclen - offsetof(dirent, d_name));
        const QByteArray name = TrimAtNul(buffer).toByteArray();
        if (name == "." || name == "..")
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat target;
            regular = fstatat(fd, name.constData(), &target, 0) == 0 && S_ISREG(target.st_mode);
        }
        if (regular)
            listing.names.append(name);
    }
    closedir(dir);
    if (listing.error != 0)
        listing.names.clear();
    return listing;
}

std::optional<FileFacts> RealFileSystem::facts(const QByteArray &folder,
                                               const QByteArray &name) const
{
    struct statx st;
    const QByteArray path = JoinPath(folder, name);
    if (statx(AT_FDCWD, path.constData(), 0, STATX_SIZE | STATX_BTIME, &st) != 0)
        return std::nullopt;
    FileFacts facts;
    facts.size = qint64(st.stx_size);
    if ((st.stx_mask & STATX_BTIME) != 0)
        facts.birthTime = qint64(st.stx_btime.tv_sec);
    return facts;
}

} // namespace dirweaver
