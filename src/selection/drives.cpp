#include "drives.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

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

Drives::Drives(QList<Volume> volumes) : volumes_(std::move(volumes))
{
    const auto isRoot = [](const Volume &v) { return v.root.bytes == "/"; };
    if (std::none_of(volumes_.cbegin(), volumes_.cend(), isRoot))
        volumes_.append({NativeName::fromBytes(QByteArrayLiteral("/")), {}});
    std::sort(volumes_.begin(), volumes_.end(),
              [](const Volume &a, const Volume &b) { return a.root.bytes < b.root.bytes; });
    // The same mount point twice (a bind mount over another) would show two equal drives.
    volumes_.erase(
        std::unique(volumes_.begin(), volumes_.end(),
                    [](const Volume &a, const Volume &b) { return a.root.bytes == b.root.bytes; }),
        volumes_.end());
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
    return current_.value(index, volumes_[index].root);
}

void Drives::remember(const NativeName &folder)
{
    const qsizetype index = volumeOf(folder.bytes);
    if (index >= 0)
        current_.insert(index, folder);
}

} // namespace dirweaver
