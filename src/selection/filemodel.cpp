#include "filemodel.h"

#include <limits>

namespace dirweaver {

void FileListModel::setFiles(QList<NativeName> files)
{
    beginResetModel();
    files_ = std::move(files);
    endResetModel();
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    // Views count rows in int; a list beyond that is still built into the page whole.
    return int(qMin<qsizetype>(files_.size(), std::numeric_limits<int>::max()));
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= files_.size())
        return {};
    return files_[index.row()].text;
}

} // namespace dirweaver
