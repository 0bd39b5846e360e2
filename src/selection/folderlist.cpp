#include "folderlist.h"

namespace dirweaver {

namespace {

// The last component of path, or "/" for the root.
NativeName lastComponent(const NativeName &path)
{
    const qsizetype cut = path.bytes.lastIndexOf('/');
    if (cut < 0 || path.bytes.size() == 1)
        return path;
    return NativeName::fromBytes(path.bytes.mid(cut + 1));
}

} // namespace

void FolderListModel::setPath(const NativeName &folder, SubFolderList listing)
{
    beginResetModel();
    path_ = folder;
    chain_.clear();
    chain_.append(NativeName::fromBytes(QByteArrayLiteral("/")));
    qsizetype from = 1;
    while (from < folder.bytes.size()) {
        qsizetype to = folder.bytes.indexOf('/', from);
        if (to < 0)
            to = folder.bytes.size();
        if (to > from)
            chain_.append(NativeName::fromBytes(folder.bytes.left(to)));
        from = to + 1;
    }
    error_ = listing.error;
    subFolders_ = std::move(listing.names);
    endResetModel();
}

NativeName FolderListModel::entryPath(int row) const
{
    if (row < 0)
        return path_;
    if (row < chain_.size())
        return chain_[row];
    const qsizetype sub = row - chain_.size();
    if (sub < subFolders_.size())
        return NativeName::fromBytes(JoinPath(path_.bytes, subFolders_[sub].bytes));
    return path_;
}

int FolderListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(chain_.size() + subFolders_.size());
}

QVariant FolderListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const qsizetype row = index.row();
    const bool onChain = row < chain_.size();
    switch (role) {
    case Qt::DisplayRole:
        return onChain ? lastComponent(chain_[row]).text : subFolders_[row - chain_.size()].text;
    case DepthRole:
        return int(onChain ? row : chain_.size());
    case OnChainRole:
        return onChain;
    default:
        return {};
    }
}

} // namespace dirweaver
