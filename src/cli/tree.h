#pragma once

#include "commandline.h"
#include "messages.h"
#include "selection/filesystem.h"
#include "treewalk.h"

#include <QByteArray>
#include <QIODevice>
#include <QLocale>

#include <functional>
#include <variant>

namespace dirweaver {

/// Writes a page into every folder of the tree under the request's folder: dot-folders and
/// links to folders left out, each folder once. Each page lists its folder's files with
/// relative links, its sub-folders linked to their pages and, below the top, its parent's
/// page. A folder that cannot be read or written is reported on err and skipped. With
/// terminalColumns above 0, err is a terminal that shows the progress. Returns the exit
/// status: 0 every page written, 1 some folder skipped, 2 the top folder cannot be read.
int RunTree(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
            const QByteArray &cwd, QIODevice &err, int terminalColumns);

/// What a tree run says as it walks: each folder skipped on a line of its own, how far it is
/// on a line a terminal redraws.
class TreeReporter
{
public:
    /// Onto err, a terminal of terminalColumns columns (0: no progress line).
    TreeReporter(QIODevice &err, int terminalColumns);
    /// The walk's report; also, if given, hears each progress too.
    TreeWalk::Report report(std::function<void(const TreeCounts &)> also = {});
    /// Clears the progress line before the summary.
    void clear() { progress_.clear(); }

private:
    QIODevice &err_;
    ProgressLine progress_;
};

/// Opens top and walks it as request asks, into target; the walk's counts, or the exit status
/// when the top could not be read or was reached through another user's link (said on err).
/// stopped, if given, tells whether report stopped the walk.
std::variant<TreeCounts, int> WalkTop(const FolderPageRequest &request, const QByteArray &top,
                                      const FileSystem &fs, TreeTarget &target,
                                      const QLocale &locale, const TreeWalk::Report &report,
                                      QIODevice &err, bool *stopped = nullptr);

/// Lets this process hold as many folders open as the system allows: a deep tree holds one
/// a level.
void AllowManyFolders();

} // namespace dirweaver
