#pragma once

#include <QPlainTextEdit>

namespace dirweaver {

/// The source box: editable text, which every road in (the paste shortcut, the menu, a
/// middle click, a drop) takes as plain text only: the toolkit's own insertion of what a
/// clipboard or selection owner offers crashed on an empty clipboard and on an owner that
/// answers once. Dropped files and folders are left to the window, which opens them.
class SourceBox final : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    /// Text only, never addresses of local files.
    bool canInsertFromMimeData(const QMimeData *source) const override;
    /// Inserts the plain text of what canInsertFromMimeData allows; nothing for no data.
    void insertFromMimeData(const QMimeData *source) override;
    /// A middle click pastes the selection's plain text where it is clicked.
    void mousePressEvent(QMouseEvent *event) override;
    /// See mousePressEvent.
    void mouseReleaseEvent(QMouseEvent *event) override;
};

} // namespace dirweaver
