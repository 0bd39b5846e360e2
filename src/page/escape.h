#pragma once

#include "model.h"
#include "selection/nativename.h"
#include "text/encoding.h"
#include "text/html.h"

#include <QString>
#include <QStringView>

namespace dirweaver {

/// Appends the link-target form of a name or path: escaped as page text, with `%` `#` `?` `\`
/// `|`, control characters and every character the page's encoding cannot hold
/// percent-encoded (as UTF-8), so the browser opens the very file. A name that is not UTF-8
/// has its non-ASCII bytes percent-encoded. With url, whatever else a URL's path may not
/// hold (space, `"` `<` `>` `` ` `` `{` `}`) is percent-encoded too, so that the target is a
/// valid URL.
void AppendLinkTarget(QString &out, const NativeName &name, PageEncoding encoding,
                      bool url = false);

/// Appends a complete link target: an already encoded folder part and a file name. Spaces at
/// either end are percent-encoded, since browsers strip them from link targets; so is a
/// colon that a browser would take for a scheme ("re: x.txt" without a folder).
void AppendLinkTarget(QString &out, QStringView folderTarget, const NativeName &name,
                      PageEncoding encoding, bool url = false);

/// The target AppendLinkTarget writes.
QString LinkTarget(QStringView folderTarget, const NativeName &name, PageEncoding encoding,
                   bool url = false);

/// The part of every link target of a page before the entry's own part: the base address
/// and the folder's path below it, or the folder's own path for absolute targets, or nothing.
QString FolderTarget(const PageModel &model, bool url = false);

/// Appends entry's complete link target: folderTarget, then the names of its link, each
/// escaped as AppendLinkTarget does, '/' between them; a link that starts in the parent
/// folder is "../" and its names, with no folder part.
void AppendEntryTarget(QString &out, QStringView folderTarget, const PageEntry &entry,
                       PageEncoding encoding, bool url = false);

/// True for an address links may start with: http, https, ftp or file, or a path, so that no
/// name can turn a link into script; without a query or fragment, which file names would be
/// appended to, and without anything that could end the attribute or that a browser drops.
bool BaseAddressAllowed(const QString &url);

/// Appends a file name as the text of its link: page text, isolated between FSI and PDI
/// (written as references) when it holds characters that set the direction of text, so that
/// a name such as "invoice<RLO>fdp.exe" cannot reorder the size and date after it.
void AppendLinkText(QString &out, QStringView name, HtmlText mode = HtmlText::Classic);

} // namespace dirweaver
