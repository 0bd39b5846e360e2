#pragma once

#include <QByteArray>
#include <QString>

namespace dirweaver {

/// A file or folder name as the file system holds it, with the text the program shows for it.
struct NativeName
{
    /// The raw bytes, as the kernel gives and takes them.
    QByteArray bytes;
    /// The text shown in lists and link texts.
    QString text;
    /// True when text is exactly the UTF-8 reading of bytes, so a link may be written from text.
    bool exact = true;

    /// Reads bytes as UTF-8; names that are not valid UTF-8 are shown as GBK where that reads
    /// cleanly, otherwise with replacement characters, and keep their bytes for the link.
    static NativeName fromBytes(const QByteArray &bytes);
    /// A name typed or given as text; its bytes are its UTF-8 form.
    static NativeName fromText(const QString &text);

    friend bool operator==(const NativeName &, const NativeName &) = default;
};

} // namespace dirweaver
