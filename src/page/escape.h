#pragma once

#include "selection/nativename.h"

#include <QString>
#include <QStringView>

namespace dirweaver {

/// Appends a name or path as page text: `"` `<` `>` as entities and control characters as
/// "&#N;", so no name can break the markup; "&" becomes "&amp;" only where it would start a
/// character reference ("a&copy.txt"), and spaces stay as they are.
void AppendHtmlText(QString &out, QStringView text);

/// Appends the link-target form of a name or path: escaped as page text, with `%` `#` `?` `\`
/// and control characters percent-encoded so the browser opens the very file. A name that is
/// not UTF-8 has its non-ASCII bytes percent-encoded.
void AppendLinkTarget(QString &out, const NativeName &name);

/// Appends a complete link target: an already encoded folder part and a file name. Spaces at
/// either end are percent-encoded, since browsers strip them from link targets; so is what
/// a browser would take for a scheme ("re: x.txt" without a folder) or a drive letter ("c|").
void AppendLinkTarget(QString &out, QStringView folderTarget, const NativeName &name);

/// The target AppendLinkTarget writes.
QString LinkTarget(QStringView folderTarget, const NativeName &name);

} // namespace dirweaver
