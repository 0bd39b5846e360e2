#include "dropped.h"

#include <sys/stat.h>

namespace dirweaver {

std::optional<NativeName> DroppedFolder(const QList<QUrl> &urls)
{
    if (urls.isEmpty() || !urls[0].isLocalFile())
        return std::nullopt;
    // The path's own bytes: a name that is not UTF-8 arrives percent-encoded.
    QByteArray path = QByteArray::fromPercentEncoding(urls[0].path(QUrl::FullyEncoded).toLatin1());
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    struct stat st;
    if (!path.startsWith('/') || ::stat(path.constData(), &st) != 0)
        return std::nullopt;
    if (!S_ISDIR(st.st_mode)) {
        path.truncate(path.lastIndexOf('/'));
        if (path.isEmpty())
            path = "/";
    }
    return NativeName::fromBytes(path);
}

} // namespace dirweaver
