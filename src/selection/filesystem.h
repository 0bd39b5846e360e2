#pragma once

#include "checksum.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

namespace dirweaver {

/// What the page tells of one file.
struct FileFacts
{
    /// Facts read, or made up for a test; the times in seconds since 1970 UTC.
    FileFacts(qint64 bytes = 0, std::optional<qint64> birth = std::nullopt,
              std::optional<qint64> modified = std::nullopt)
        : size(bytes), birthTime(birth), modifiedTime(modified)
    {
    }

    /// Size in bytes; negative for a folder, whose line shows no size.
    qint64 size = 0;
    /// Birth (creation) time in seconds since 1970 UTC; nullopt when the file system keeps none.
    std::optional<qint64> birthTime;
    /// Modification time in seconds since 1970 UTC; nullopt when it cannot be read.
    std::optional<qint64> modifiedTime;
    /// The nanoseconds after birthTime's and modifiedTime's second, 0 to 999,999,999.
    int birthNanos = 0, modifiedNanos = 0;
    /// The SHA-256 of the content (32 bytes), where the folder's checksums were asked for
    /// and it could be read; else empty.
    QByteArray sha256;

    friend bool operator==(const FileFacts &, const FileFacts &) = default;
};

/// The names of a folder's entries of one kind, or why they could not be read.
struct FolderListing
{
    /// Names in the order the folder gives them.
    QList<QByteArray> names;
    /// 0 when the folder was read, else the errno value that stopped the reading.
    int error = 0;
    /// Those of names that are symbolic links (to folders, in a listing of sub-folders).
    QList<QByteArray> links;
    /// The folder's own device and inode, so that a walk knows a folder it met already.
    std::pair<quint64, quint64> identity{};
};

/// A folder's regular files and sub-folders, from one reading of it.
struct FolderEntries
{
    /// What FileSystem::regularFiles gives.
    FolderListing files;
    /// What FileSystem::subFolders gives.
    FolderListing folders;
};

/// A folder as the file system is asked about it: by its path, or, once a walk holds it open,
/// by its descriptor, through which every real call then goes, so that a folder renamed or
/// swapped for a link on the way cannot send the reading elsewhere.
struct FolderRef
{
    /// A folder named by path, opened as a path is (links followed).
    FolderRef(const QByteArray &folderPath = {}) : path(folderPath) {}
    /// A folder named by a path written in the code.
    FolderRef(const char *folderPath) : path(folderPath) {}
    /// A folder held open as fd (owned by the caller); path is what made-up folders and
    /// messages go by.
    FolderRef(const QByteArray &folderPath, int folderFd) : path(folderPath), fd(folderFd) {}
    /// The folder's path, or at least its own name.
    QByteArray path;
    /// The open folder, or -1 to open it by its path.
    int fd = -1;
    /// For a walk over other people's folders: the real path of its top. A link is then
    /// followed only to what lies below it; any other link that leads to no folder, or
    /// nowhere, is a file of its own, with its own facts, so that a page tells nothing of
    /// what lies outside.
    QByteArray linksWithin;
    /// The facts of its files carry the SHA-256 of their content.
    bool checksums = false;
    /// Where a source other than the machine's file system finds the folder (an object
    /// store's key prefix, ending in '/' or empty); path then only names it.
    QByteArray key;
};

/// A folder a run reads (a page's folder, a tree's top, a folder a walk enters), opened as
/// the run then reads it; what the file system holds open for it goes with it.
class OpenFolder
{
public:
    /// A folder not held open (the made-up file systems of tests go by path).
    explicit OpenFolder(const QByteArray &path = {}) : folder(path) {}
    /// Holds the folder open as fd, which goes with it.
    void hold(int fd)
    {
        folder.fd = fd;
        closer_.fd = fd;
    }

    /// The folder, held open where the file system is real.
    FolderRef folder;
    /// 0 when opened, else the errno value that stopped it.
    int error = 0;
    /// When refused: the link owned by another user that the path goes through.
    QByteArray foreignLink;
    /// That link's owner.
    quint32 linkOwner = 0;
    /// The folder belongs to someone other than the person running.
    bool othersFolder = false;
    /// Where the folder really is (no link on the way), when opened.
    QByteArray realPath;
    /// A walk does not enter it: another user's mount, or another file system than the
    /// top's where the walk stays on one.
    bool notEntered = false;
    /// The file system it is on; 0 unknown.
    quint64 device = 0;
    /// Holds nothing but pages of the program: on an object store, where a folder is only
    /// the keys below it, a folder whose files all went. The walk takes its pages down.
    bool onlyPages = false;

private:
    // Closes what it holds as it goes; moved, the new one holds it.
    struct Closer
    {
        int fd = -1;
        Closer() = default;
        Closer(Closer &&other) noexcept : fd(std::exchange(other.fd, -1)) {}
        Closer &operator=(Closer &&other) noexcept
        {
            std::swap(fd, other.fd);
            return *this;
        }
        ~Closer();
    };
    Closer closer_;
};

/// How a walk enters sub-folders.
struct WalkRules
{
    /// Only folders on the file system of the top, whose device this is.
    bool oneFileSystem = false;
    /// The top's device.
    quint64 topDevice = 0;
};

/// One folder kept open to read the facts of its files relative to it, so that neither the
/// depth of the folder nor a walk of its path per file matters.
class FolderFacts
{
public:
    virtual ~FolderFacts() = default;
    /// Size and birth time of the entry name (links followed); nullopt when they cannot be read.
    virtual std::optional<FileFacts> facts(const QByteArray &name) const = 0;
};

/// The file-system calls of the listing and the annotations, so tests can run on made-up folders.
class FileSystem
{
public:
    virtual ~FileSystem() = default;
    /// Regular files of folder, symbolic links to regular files included; no folders or others.
    virtual FolderListing regularFiles(const FolderRef &folder) const = 0;
    /// Sub-folders of folder, links to folders and dot-folders included.
    virtual FolderListing subFolders(const FolderRef &folder) const = 0;
    /// Both of the above; where each reading is a round trip, from one reading.
    virtual FolderEntries entries(const FolderRef &folder) const
    {
        return {regularFiles(folder), subFolders(folder)};
    }
    /// folder opened for the facts of its files; when it cannot be opened, every file's facts
    /// are unreadable.
    virtual std::unique_ptr<FolderFacts> openFacts(const FolderRef &folder) const = 0;
    /// The folder at path (absolute and clean) that a run starts from. By default it is not
    /// opened: its path is asked about.
    virtual OpenFolder openTop(const QByteArray &path) const { return OpenFolder(path); }
    /// The sub-folder name of parent, entered by a walk, never through a link; notEntered
    /// where rules or someone else's mount keep the walk out, and error why it cannot be.
    /// By default a walk is not possible: error is EOPNOTSUPP.
    virtual OpenFolder openSub(const FolderRef &parent, const QByteArray &name,
                               const WalkRules &rules) const;
    /// True when folder holds an entry called name (".noindex"), a link itself included.
    virtual bool holds(const FolderRef &folder, const QByteArray &name) const;
    /// Every question is a request over a network (an object store): a walk asks many at
    /// once from the start, rather than after timing its first.
    virtual bool roundTrips() const { return false; }
};

/// The system calls under RealFileSystem, so tests can make them fail as a real disk can.
class SystemCalls
{
public:
    virtual ~SystemCalls() = default;
    /// opendir(3), for a path of any length: one longer than the kernel takes is opened a
    /// component at a time.
    virtual DIR *openFolder(const char *path) const;
    /// readdir(3): nullptr at the end with errno 0, or on a failure with its errno.
    virtual dirent *readEntry(DIR *dir) const;
    /// statx(2); may be called from several threads at once.
    virtual int statx(int dirFd, const char *path, int flags, unsigned mask,
                      struct statx *out) const;
    /// The machine's own calls.
    static const SystemCalls &machine();
};

/// The machine's own file system: readdir for listings, one statx per file for facts.
class RealFileSystem final : public FileSystem
{
public:
    /// A file system working through calls, which must outlive it.
    explicit RealFileSystem(const SystemCalls &calls = SystemCalls::machine())
        : calls_(calls), sums_(std::make_unique<SumCache>(SumCache::userPath()))
    {
    }
    /// See FileSystem.
    FolderListing regularFiles(const FolderRef &folder) const override;
    /// See FileSystem.
    FolderListing subFolders(const FolderRef &folder) const override;
    /// See FileSystem.
    FolderEntries entries(const FolderRef &folder) const override;
    /// See FileSystem.
    std::unique_ptr<FolderFacts> openFacts(const FolderRef &folder) const override;
    /// Opens the folder a component at a time, never through a symbolic link owned by anyone
    /// but root or the person running: someone else's link could make a run read (and a
    /// tree write) a folder they cannot see themselves. Refused, the result names that link.
    OpenFolder openTop(const QByteArray &path) const override;
    /// Asks nothing of a mount it does not enter (its file system may never answer), and
    /// opens the folder from its parent's descriptor.
    OpenFolder openSub(const FolderRef &parent, const QByteArray &name,
                       const WalkRules &rules) const override;
    /// See FileSystem.
    bool holds(const FolderRef &folder, const QByteArray &name) const override;

private:
    DIR *openDir(const FolderRef &folder) const;
    FolderEntries readFolder(const FolderRef &folder, bool wantFiles, bool wantFolders) const;
    const SystemCalls &calls_;
    // The sums of files that keep none themselves, for the run.
    std::unique_ptr<SumCache> sums_;
};

/// The system's description of an errno value, in the program's language where the C
/// library has it.
QString ErrorText(int error);

/// folder and name joined by exactly one '/'.
QByteArray JoinPath(const QByteArray &folder, const QByteArray &name);

/// Opens the folder at path, which may be longer than PATH_MAX: walked from "/" a component at
/// a time where the kernel would refuse it whole. A file descriptor, or -1 with errno set.
int OpenFolderFd(const QByteArray &path, int flags);

/// Opens the sub-folder name of the open folder parentFd for a walk, never through a symbolic
/// link: a descriptor, or -1 with errno set (ELOOP for a link, ENOTDIR for anything else).
int OpenSubFolderFd(int parentFd, const QByteArray &name);

/// What lies at a sub-folder's name, seen before a walk enters it: a mount there may belong
/// to a user whose file system never answers.
struct MountCheck
{
    /// The device the name leads to.
    quint64 device = 0;
    /// Another file system is mounted there.
    bool mountPoint = false;
    /// That mount was made by a user other than root or the person running (a FUSE mount
    /// names its owner), so the walk does not enter it.
    bool othersMount = false;
};

/// Looks at the sub-folder name of the open folder parentFd, whose device is parentDevice,
/// without asking the file system mounted there anything (its answers may never come) and
/// without triggering an automount.
MountCheck CheckMount(int parentFd, const QByteArray &name, quint64 parentDevice);

/// The device of the open folder fd, asked without waiting for its file system; 0 unknown.
quint64 DeviceOf(int fd);

/// How the names of the program's temporary files start: a page being written.
inline constexpr QByteArrayView kTemporaryPrefix = ".dirweaver-";

/// True for a name of the kind the program gives its temporary files.
bool IsTemporaryName(QByteArrayView name);

/// The part of a byte buffer before its first NUL byte, as the kernel fills a name's record.
QByteArrayView TrimAtNul(QByteArrayView bytes);

} // namespace dirweaver
