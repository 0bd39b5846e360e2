#pragma once

#include "commandline.h"
#include "selection/filesystem.h"

#include <QByteArray>
#include <QIODevice>
#include <QLocale>

namespace dirweaver {

/// Writes a page into every folder of the tree under the request's folder: dot-folders and
/// links to folders left out, each folder once. Each page lists its folder's files with
/// relative links, its sub-folders linked to their pages and, below the top, its parent's
/// page. A folder that cannot be read or written is reported on err and skipped. With
/// terminalColumns above 0, err is a terminal that shows the progress. Returns the exit
/// status: 0 every page written, 1 some folder skipped, 2 the top folder cannot be read.
int RunTree(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
            const QByteArray &cwd, QIODevice &err, int terminalColumns);

/// Lets this process hold as many folders open as the system allows: a deep tree holds one
/// a level.
void AllowManyFolders();

} // namespace dirweaver
