#pragma once

#include "commandline.h"
#include "page/builder.h"
#include "selection/filelist.h"
#include "selection/filesystem.h"

#include <QByteArray>
#include <QIODevice>
#include <QLocale>

#include <memory>
#include <optional>

namespace dirweaver {

/// One folder's page as the writer makes it: its files selected and sorted for the request,
/// its titles derived unless given, the files' facts read on a second core.
struct FolderPage
{
    /// 0 when the folder was read, else the errno value that stopped it.
    int error = 0;
    /// What the builder reads; the caller may add folder lines.
    PageInput input;
    /// The facts, when the page shows any.
    std::optional<FactsPrefetch> facts;
};

/// The page of folder (absolute and clean) for request; a file named leaveOut is not listed
/// (the page itself, in a tree).
std::unique_ptr<FolderPage> PrepareFolderPage(const FileSystem &fs, const QByteArray &folder,
                                              const WriterRequest &request,
                                              const FileSorter &sorter,
                                              const QByteArray &leaveOut = {});

/// The link target of entry name inside the page's folder, as folder lines write it: the
/// folder part when the page's targets are absolute, the escaped name, then suffix.
QString EntryTarget(const PageInput &input, const NativeName &name, QStringView suffix);

/// Writes the page that request asks for; messages go to err. Returns the exit status:
/// 0 done, 1 the output could not be written, 2 bad input (nothing is written then).
int RunWriter(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
              const QByteArray &cwd, QIODevice &out, QIODevice &err);

} // namespace dirweaver
