#include "listviews.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace dirweaver {

QSize WholeTextDelegate::sizeHint(const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QFontMetrics metrics(option.font);
    // How far the lowest ink of a name can reach below the baseline and above it.
    int below = metrics.descent();
    int above = metrics.ascent();
    for (const QChar c : QStringView(u"_gjpqy|ÅÉ")) {
        const QRect ink = metrics.boundingRect(c);
        below = std::max(below, ink.bottom() + 1);
        above = std::max(above, -ink.top());
    }
    // The text is centred in its row, so each half must hold the deeper of the two reaches.
    const int needed =
        2 * std::max(above - metrics.ascent(), below - metrics.descent()) + metrics.height() + 2;
    size.setHeight(std::max(size.height(), needed));
    return size;
}

ListBox::ListBox(QWidget *parent) : QListView(parent)
{
    setItemDelegate(new WholeTextDelegate(this));
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void ListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) {
        Q_EMIT opened(index);
        event->accept();
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

void ListBox::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        Q_EMIT opened(currentIndex());
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void ListBox::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    if (!hasFocus() || (model() && model()->rowCount(rootIndex()) > 0))
        return;
    QPainter painter(viewport());
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = viewport()->rect().adjusted(1, 1, -1, -1);
    focus.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

} // namespace dirweaver
