#pragma once

#include "filesystem.h"
#include "nativename.h"

#include <QHash>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace dirweaver {

/// Reads the facts of a folder's files on a worker thread, in list order, while the caller
/// sorts the list or builds the lines; the build then finds them ready. Still one inquiry
/// per file.
class FactsPrefetch final : public FileSystem
{
public:
    /// Starts reading the facts of files in folder through inner.
    FactsPrefetch(const FileSystem &inner, const QByteArray &folder,
                  const QList<NativeName> &files);
    /// Stops the worker and waits for it.
    ~FactsPrefetch() override;
    FactsPrefetch(const FactsPrefetch &) = delete;
    FactsPrefetch &operator=(const FactsPrefetch &) = delete;

    /// Passed to the inner file system.
    FolderListing regularFiles(const QByteArray &folder) const override;
    /// Passed to the inner file system.
    FolderListing subFolders(const QByteArray &folder) const override;
    /// The prefetched facts, waiting for them if needed; other files ask the inner one.
    std::optional<FileFacts> facts(const QByteArray &folder, const QByteArray &name) const override;

private:
    const FileSystem &inner_;
    const QByteArray folder_;
    QList<QByteArray> names_;
    QHash<QByteArray, qsizetype> index_;
    std::vector<std::optional<FileFacts>> facts_;
    std::atomic<qsizetype> done_{0};
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

/// A prefetch of the facts of files in folder (a page's folder path, with its trailing '/')
/// when they are wanted and there are any; nullptr otherwise, when the build reads none or
/// asks fs itself.
std::unique_ptr<FactsPrefetch> PrefetchFacts(const FileSystem &fs, const QByteArray &folder,
                                             const QList<NativeName> &files, bool wanted);

} // namespace dirweaver
