#include "sourcebox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>

namespace dirweaver {

bool SourceBox::canInsertFromMimeData(const QMimeData *source) const
{
    return source && !source->hasUrls() && source->hasText();
}

void SourceBox::insertFromMimeData(const QMimeData *source)
{
    if (!canInsertFromMimeData(source))
        return;
    // Taken as a string once: the data may come from another program, which may be gone by
    // the time it is asked again.
    const QString text = source->text();
    if (!text.isEmpty())
        insertPlainText(text);
}

void SourceBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QPlainTextEdit::mousePressEvent(event);
}

void SourceBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::MiddleButton) {
        QPlainTextEdit::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (isReadOnly() || !clipboard->supportsSelection())
        return;
    const QString text = clipboard->text(QClipboard::Selection);
    if (text.isEmpty())
        return;
    setTextCursor(cursorForPosition(event->position().toPoint()));
    insertPlainText(text);
}

} // namespace dirweaver
