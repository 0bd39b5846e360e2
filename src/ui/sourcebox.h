#pragma once

#include <QPlainTextEdit>

namespace dirweaver {

/// The source box: editable text, but a paste of nothing does nothing (the toolkit would
/// crash on an empty clipboard), and dropped files and folders are left to the window,
/// which opens them, instead of being inserted as addresses.
class SourceBox final : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    /// Text only, never addresses of local files.
    bool canInsertFromMimeData(const QMimeData *source) const override;
    /// Inserts what canInsertFromMimeData allows; nothing for no data.
    void insertFromMimeData(const QMimeData *source) override;
};

} // namespace dirweaver
