#pragma once

#include "filelist.h"
#include "nativename.h"

#include <QAbstractListModel>
#include <QList>

namespace dirweaver {

/// The folder list: the chain of folders from "/" down to the open folder, then the open
/// folder's sub-folders, sorted like the file list.
class FolderListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    /// The depth of an entry: 0 for "/", one more per level.
    static constexpr int DepthRole = Qt::UserRole;
    /// True for the folders of the chain, the open one included; false for sub-folders.
    static constexpr int OnChainRole = Qt::UserRole + 1;

    /// An empty list, until a folder is opened.
    explicit FolderListModel(QObject *parent = nullptr) : QAbstractListModel(parent) {}

    /// True when folder is the open one, which opening again would not change.
    bool isOpen(const NativeName &folder) const
    {
        return !chain_.isEmpty() && folder.bytes == path_.bytes;
    }
    /// Opens folder (absolute, no "." or ".." parts) showing its sub-folders as listed; a
    /// folder that could not be read shows only its chain.
    void setPath(const NativeName &folder, SubFolderList listing);
    /// The open folder.
    const NativeName &path() const { return path_; }
    /// The errno value of the last sub-folder listing; 0 when it was read.
    int error() const { return error_; }
    /// The row of the open folder, which is the last entry of the chain.
    int openRow() const { return int(chain_.size()) - 1; }
    /// The full path of the entry at row.
    NativeName entryPath(int row) const;

    /// See QAbstractListModel.
    int rowCount(const QModelIndex &parent = {}) const override;
    /// The entry's own name, its depth and whether it is on the chain.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    NativeName path_;
    QList<NativeName> chain_; // full paths from "/" to the open folder
    QList<NativeName> subFolders_;
    int error_ = 0;
};

} // namespace dirweaver
