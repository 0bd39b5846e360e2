#pragma once

#include "text/encoding.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace dirweaver {

/// The preview file's name; every preview replaces it.
inline constexpr QStringView kPreviewFileName = u"Dirweaver~temp.htm";

/// The user's private folder for the preview file: the runtime folder, else the cache
/// folder, created when missing; empty when neither can be had. Never a folder that other
/// users can write to, so no one else can put a link where the preview is written.
QString PreviewFolder();

/// What the user is told when no browser took the preview file: its path, so it can be opened
/// by hand, and the opener's exit status when one ended in error.
QString PreviewNotOpenedText(const QString &fileName, std::optional<int> status);

/// Writes page (encoded) to the preview file as a saved page, named with its format's suffix
/// (".json" for a JSON listing, which a browser then shows as data); returns its path, or an
/// empty text with error saying why.
QString WritePreview(const QByteArray &page, QString *error, QByteArrayView suffix = ".htm");

} // namespace dirweaver
