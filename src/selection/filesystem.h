#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace dirweaver {

/// What the page tells of one file.
struct FileFacts
{
    /// Size in bytes.
    qint64 size = 0;
    /// Birth (creation) time in seconds since 1970 UTC; nullopt when the file system keeps none.
    std::optional<qint64> birthTime;

    friend bool operator==(const FileFacts &, const FileFacts &) = default;
};

/// The names of a folder's regular files, or why they could not be read.
struct FolderListing
{
    /// Names in the order the folder gives them.
    QList<QByteArray> names;
    /// 0 when the folder was read, else the errno value that stopped the reading.
    int error = 0;
};

/// The file-system calls of the listing and the annotations, so tests can run on made-up folders.
class FileSystem
{
public:
    virtual ~FileSystem() = default;
    /// Regular files of folder, symbolic links to regular files included; no folders or others.
    virtual FolderListing regularFiles(const QByteArray &folder) const = 0;
    /// Sub-folders of folder, links to folders included; no dot-folders.
    virtual FolderListing subFolders(const QByteArray &folder) const = 0;
    /// Size and birth time of folder/name (links followed); nullopt when they cannot be read.
    virtual std::optional<FileFacts> facts(const QByteArray &folder,
                                           const QByteArray &name) const = 0;
};

/// The machine's own file system: readdir for listings, one statx per file for facts.
class RealFileSystem final : public FileSystem
{
public:
    /// See FileSystem.
    FolderListing regularFiles(const QByteArray &folder) const override;
    /// See FileSystem.
    FolderListing subFolders(const QByteArray &folder) const override;
    /// See FileSystem.
    std::optional<FileFacts> facts(const QByteArray &folder, const QByteArray &name) const override;
};

/// folder and name joined by exactly one '/'.
QByteArray JoinPath(const QByteArray &folder, const QByteArray &name);

} // namespace dirweaver
