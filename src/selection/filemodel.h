#pragma once

#include "nativename.h"

#include <QAbstractListModel>
#include <QList>

namespace dirweaver {

/// The file list as a list model, so a view shows 100,000 names without a widget per name.
class FileListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    /// Replaces the whole list.
    void setFiles(QList<NativeName> files);
    /// The names in page order.
    const QList<NativeName> &files() const { return files_; }

    /// See QAbstractListModel.
    int rowCount(const QModelIndex &parent = {}) const override;
    /// The shown name for the display role.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QList<NativeName> files_;
};

} // namespace dirweaver
