#pragma once

#include <QListView>
#include <QStyledItemDelegate>

namespace dirweaver {

/// Rows tall enough for the whole ink of their text: a CJK font draws its underscore below
/// its own descent, and a row of the bare font height cuts it off ("IMG 0012.jpg").
class WholeTextDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    /// The default size, made higher where the font's low glyphs need it.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

/// A list whose entries open on a double-click or Enter only, whatever the style says about
/// single-click activation, and which always shows where the keyboard focus is.
class ListBox final : public QListView
{
    Q_OBJECT

public:
    /// A list on parent, drawing its rows with a WholeTextDelegate.
    explicit ListBox(QWidget *parent = nullptr);

Q_SIGNALS:
    /// The entry at index was double-clicked or Enter was pressed on it.
    void opened(const QModelIndex &index);

protected:
    /// Opens the entry under the pointer.
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    /// Opens the current entry on Enter; other keys as a list view takes them.
    void keyPressEvent(QKeyEvent *event) override;
    /// Draws a focus frame in an empty list, which has no entry to show it on.
    void paintEvent(QPaintEvent *event) override;
};

} // namespace dirweaver
