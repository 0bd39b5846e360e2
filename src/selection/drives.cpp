#include "drives.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <fcntl.h>

namespace dirweaver {

using namespace Qt::StringLiterals;

QList<Volume> MountedVolumes()
{
    QList<Volume> volumes;
    const QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &info : mounted) {
        // Bind mounts of single files (containers have them) are no drives.
        if (info.isValid() && info.isReady() && QFileInfo(info.rootPath()).isDir())
            volumes.append({NativeName::fromText(info.rootPath()), info.name()});
    }
    return volumes;
}

QString DriveText(const Volume &volume)
{
    if (volume.label.isEmpty())
        return volume.root.text;
    return volume.root.text + u" ["_s + volume.label + u']';
}

Drives::Drives(QList<Volume> volumes) : volumes_(ordered(std::move(volumes))) {}

QList<Volume> Drives::ordered(QList<Volume> volumes)
{
    const auto isRoot = [](const Volume &v) { return v.root.bytes == "/"; };
    if (std::none_of(volumes.cbegin(), volumes.cend(), isRoot))
        volumes.append({NativeName::fromBytes(QByteArrayLiteral("/")), {}});
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume &a, const Volume &b) { return a.root.bytes < b.root.bytes; });
    // The same mount point twice (a bind mount over another) would show two equal drives.
    volumes.erase(
        std::unique(volumes.begin(), volumes.end(),
                    [](const Volume &a, const Volume &b) { return a.root.bytes == b.root.bytes; }),
        volumes.end());
    return volumes;
}

void Drives::update(QList<Volume> volumes)
{
    volumes_ = ordered(std::move(volumes));
    // A folder remembered on a volume now gone, or now under another, is forgotten.
    for (auto it = current_.begin(); it != current_.end();) {
        const qsizetype index = volumeOf(it.value().bytes);
        if (index < 0 || volumes_[index].root.bytes != it.key())
            it = current_.erase(it);
        else
            ++it;
    }
}

int OpenMountTable()
{
    return ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
}

qsizetype Drives::volumeOf(const QByteArray &folder) const
{
    qsizetype best = -1;
    qsizetype bestLength = -1;
    for (qsizetype i = 0; i < volumes_.size(); ++i) {
        const QByteArray &root = volumes_[i].root.bytes;
        const bool holds = root == "/" || folder == root ||
                           (folder.startsWith(root) && folder.at(root.size()) == '/');
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

NativeName Drives::currentFolder(qsizetype index) const
{
    if (index < 0 || index >= volumes_.size())
        return NativeName::fromBytes(QByteArrayLiteral("/"));
    return current_.value(volumes_[index].root.bytes, volumes_[index].root);
}

void Drives::remember(const NativeName &folder)
{
    const qsizetype index = volumeOf(folder.bytes);
    if (index >= 0)
        current_.insert(volumes_[index].root.bytes, folder);
}

} // namespace dirweaver
