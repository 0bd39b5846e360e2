#pragma once

#include "nativename.h"

#include <QHash>
#include <QList>
#include <QString>

namespace dirweaver {

/// One mounted volume as the drive list offers it.
struct Volume
{
    /// The mount point.
    NativeName root;
    /// The volume's label; empty when it has none.
    QString label;
};

/// The valid, ready volumes the machine has mounted.
QList<Volume> MountedVolumes();

/// A drive's text in the list: the mount point, then the label in brackets if it has one.
QString DriveText(const Volume &volume);

/// The drives and the folder last opened on each in this run.
class Drives
{
public:
    /// volumes sorted by mount point; "/" is added when missing, as every folder lies on it.
    explicit Drives(QList<Volume> volumes);

    /// The volumes in list order.
    const QList<Volume> &volumes() const { return volumes_; }
    /// The index of the volume that holds folder: the longest mount point above it.
    qsizetype volumeOf(const QByteArray &folder) const;
    /// The volume's current folder: the last one opened on it, else its mount point.
    NativeName currentFolder(qsizetype index) const;
    /// Records folder as the current folder of its volume.
    void remember(const NativeName &folder);
    /// Takes the volumes mounted now: those still there keep their current folders.
    void update(QList<Volume> volumes);

private:
    static QList<Volume> ordered(QList<Volume> volumes);

    QList<Volume> volumes_;
    /// Current folders by mount point, so that they outlive a change of the list.
    QHash<QByteArray, NativeName> current_;
};

/// A descriptor of the mount table that polls with POLLPRI when a mount comes or goes;
/// -1 when there is none.
int OpenMountTable();

} // namespace dirweaver
