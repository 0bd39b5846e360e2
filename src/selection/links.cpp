#include "links.h"

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirweaver {

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

} // namespace dirweaver
