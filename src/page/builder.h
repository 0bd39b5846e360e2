#pragma once

#include "filetime.h"
#include "options.h"
#include "selection/filelist.h"
#include "selection/filesystem.h"
#include "selection/nativename.h"
#include "selection/prefetch.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>

namespace dirweaver {

/// Receives the page text in pieces, in order, as the builder produces it.
class PageSink
{
public:
    virtual ~PageSink() = default;
    /// Takes the next piece of the page.
    virtual void append(QStringView text) = 0;
};

/// Collects the page in a string, as the window keeps it.
class StringSink final : public PageSink
{
public:
    /// Appends to text, which the caller owns.
    explicit StringSink(QString &text) : text_(text) {}
    /// See PageSink.
    void append(QStringView text) override { text_.append(text); }

private:
    QString &text_;
};

/// A line for a folder, listed before the files: a sub-folder, or the parent's page.
struct FolderLine
{
    /// The entry of the page's folder whose date the line shows ("sub", or "..").
    QByteArray entry;
    /// The link text, such as "sub/" or "上一级/".
    QString text;
    /// The complete link target, already written as targets are ("sub/", "sub/sub.htm").
    QString target;
    /// The target below the page's folder part (FolderTarget), for a page whose head names
    /// that part once; the parent's page has the same one.
    QString ownTarget;
};

/// Everything one build reads: the folder, its file list and the options.
struct PageInput
{
    /// The open folder whose files the list holds.
    NativeName folder;
    /// The file list, in the order the page lists it.
    QList<NativeName> files;
    /// The user's options, titles included.
    PageOptions options;
    /// Folder lines before the files; none on the window's pages.
    QList<FolderLine> folders;
    /// The folder held open, through which its facts are read, and how its links are judged;
    /// its path is folder's.
    FolderRef source;
    /// With a base address: the folder's path below the folder the address stands for.
    QByteArray basePath;
    /// The order the files are in, which a table page marks on its header.
    FileOrder order;
};

/// The part of every link target before the entry's name: the base address and the
/// folder's path below it, or the folder's own path for absolute targets, or nothing.
QString FolderTarget(const PageInput &input);

/// folder with a trailing '/' added unless it has one already; the root keeps its single one.
NativeName FolderPath(const NativeName &folder);

/// Turns a folder's file list into the page, one link line per file.
class PageBuilder
{
public:
    /// Called after each file with its index and the number of files; false abandons the build.
    using FileDone = std::function<bool(qsizetype index, qsizetype count)>;

    /// Reads file facts through fs and writes dates in format.
    PageBuilder(const FileSystem &fs, const FileTimeFormat &format) : fs_(fs), format_(format) {}

    /// Writes the page to sink; false when fileDone abandoned it, with the foot left out. The
    /// files' facts come from facts, when the caller started reading them, or are read on a
    /// second core as the lines are built.
    bool build(const PageInput &input, PageSink &sink, const FileDone &fileDone = {},
               const FactsPrefetch *facts = nullptr) const;

private:
    const FileSystem &fs_;
    const FileTimeFormat &format_;
};

/// The complete page text of input, built in one go.
QString BuildPageText(const PageInput &input, const FileSystem &fs, const FileTimeFormat &format);

} // namespace dirweaver
