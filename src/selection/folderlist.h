#pragma once

#include "filelist.h"
#include "filesystem.h"
#include "nativename.h"

#include <QAbstractListModel>
#include <QList>
#include <QLocale>

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

    /// Lists sub-folders through fs and sorts them for locale.
    FolderListModel(const FileSystem &fs, const QLocale &locale, QObject *parent = nullptr);

    /// Opens folder (absolute, no "." or ".." parts); false when it is already open, which
    /// changes nothing. A folder that cannot be read opens showing only its chain, unless
    /// mustRead, when it stays closed and false is returned.
    bool setPath(const NativeName &folder, bool mustRead = false);
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
    const FileSystem &fs_;
    const FileSorter sorter_;
    NativeName path_;
    QList<NativeName> chain_; // full paths from "/" to the open folder
    QList<NativeName> subFolders_;
    int error_ = 0;
};

} // namespace dirweaver
