#pragma once

#include "treepage.h"

#include <QByteArray>
#include <QHash>

#include <mutex>

namespace dirweaver {

/// A tree's pages kept in memory rather than written beside the files, each by its folder's
/// path below the top: what a catalogue gathers before it writes itself as one file.
class FolderRecords final : public TreeTarget
{
public:
    /// Pages of the tree whose top is the path top, as the walk names it.
    explicit FolderRecords(const QByteArray &top) : top_(top) {}

    /// Keeps the page produce makes for folder; nothing is on disk to compare or to spare.
    TreePageSave store(const FolderRef &folder, const QByteArray &name, const PageProducer &produce,
                       QByteArrayView mark, bool force, QString *error) override;
    /// Nothing of the program's stands in a folder: nothing to take down.
    TreePageRemoval remove(const FolderRef &, const QByteArray &, QByteArrayView,
                           QString *) override
    {
        return TreePageRemoval::NoneOurs;
    }
    /// No run leaves anything in the folders.
    void clearLeftovers(const FolderRef &, const QList<QByteArray> &) override {}
    /// Nothing was written.
    void settle(const QByteArray &) override {}
    /// Pages are kept by their folder's place in the tree.
    bool wantsPaths() const override { return true; }

    /// The pages kept, by path below the top ("" the top's own); taken out.
    QHash<QByteArray, QByteArray> take();

private:
    const QByteArray top_;
    std::mutex mutex_;
    QHash<QByteArray, QByteArray> pages_;
};

} // namespace dirweaver
