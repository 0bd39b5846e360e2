#include "sourcebox.h"

#include <QMimeData>

namespace dirweaver {

bool SourceBox::canInsertFromMimeData(const QMimeData *source) const
{
    return source && !source->hasUrls() && QPlainTextEdit::canInsertFromMimeData(source);
}

void SourceBox::insertFromMimeData(const QMimeData *source)
{
    if (canInsertFromMimeData(source))
        QPlainTextEdit::insertFromMimeData(source);
}

} // namespace dirweaver
