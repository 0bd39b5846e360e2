#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "selection/filesystem.h"

#include <QHash>

#include <atomic>

namespace dirweaver::test {

/// A made-up folder tree: folders map to their regular files and each file's facts.
class FakeFileSystem final : public FileSystem
{
public:
    /// Adds a readable file; facts nullopt makes its facts unreadable.
    void add(const QByteArray &folder, const QByteArray &name,
             std::optional<FileFacts> facts = FileFacts{})
    {
        Folder &f = folders_[normal(folder)];
        f.names.append(name);
        f.facts.insert(name, facts);
    }
    /// Gives the entry name of folder (a sub-folder, say) facts without listing it as a file.
    void setFacts(const QByteArray &folder, const QByteArray &name, FileFacts facts)
    {
        folders_[normal(folder)].facts.insert(name, facts);
    }
    /// Makes folder exist (empty) or fail to list with error.
    void addFolder(const QByteArray &folder, int error = 0)
    {
        folders_[normal(folder)].error = error;
    }
    /// Takes folder away, as if it was removed.
    void removeFolder(const QByteArray &folder) { folders_.remove(normal(folder)); }

    FolderListing regularFiles(const FolderRef &folder) const override
    {
        FolderListing listing = opened(folder.path);
        if (listing.error == 0)
            listing.names = folders_.value(normal(folder.path)).names;
        return listing;
    }
    FolderListing subFolders(const FolderRef &folder) const override
    {
        FolderListing listing = opened(folder.path);
        if (listing.error != 0)
            return listing;
        const QByteArray self = normal(folder.path);
        const QByteArray prefix = self.endsWith('/') ? self : self + '/';
        for (auto f = folders_.cbegin(); f != folders_.cend(); ++f) {
            const QByteArray &path = f.key();
            const QByteArray name = path.mid(prefix.size());
            if (path != self && path.startsWith(prefix) && !name.contains('/'))
                listing.names.append(name);
        }
        return listing;
    }
    std::unique_ptr<FolderFacts> openFacts(const FolderRef &folder) const override
    {
        const auto it = folders_.constFind(normal(folder.path));
        return std::make_unique<Facts>(it == folders_.cend() ? Folder{} : *it, *this);
    }

    /// How many times facts() was asked.
    mutable std::atomic<int> statCalls{0};
    /// How long each answer of facts() takes, as on a network share.
    std::chrono::microseconds latency{0};
    /// How long each listing takes to start, as a share's directory read.
    std::atomic<std::chrono::milliseconds> listingLatency{std::chrono::milliseconds(0)};
    /// The most facts() calls that were under way at once.
    mutable std::atomic<int> mostInFlight{0};

private:
    struct Folder
    {
        QList<QByteArray> names;
        QHash<QByteArray, std::optional<FileFacts>> facts;
        int error = 0;
    };
    // A copy of the folder as it was opened.
    class Facts final : public FolderFacts
    {
    public:
        Facts(Folder folder, const FakeFileSystem &fs) : folder_(std::move(folder)), fs_(fs) {}
        std::optional<FileFacts> facts(const QByteArray &name) const override
        {
            ++fs_.statCalls;
            const int now = ++fs_.inFlight_;
            for (int most = fs_.mostInFlight; now > most;)
                fs_.mostInFlight.compare_exchange_weak(most, now);
            if (fs_.latency.count() > 0)
                std::this_thread::sleep_for(fs_.latency);
            --fs_.inFlight_;
            return folder_.facts.value(name, std::nullopt);
        }

    private:
        Folder folder_;
        const FakeFileSystem &fs_;
    };
    mutable std::atomic<int> inFlight_{0};
    // An empty listing of folder, or why it cannot be read.
    FolderListing opened(const QByteArray &folder) const
    {
        if (const auto wait = listingLatency.load(); wait.count() > 0)
            std::this_thread::sleep_for(wait);
        FolderListing listing;
        const auto it = folders_.constFind(normal(folder));
        listing.error = it == folders_.cend() ? 2 /* ENOENT */ : it->error;
        listing.identity = {0, qHash(normal(folder))};
        return listing;
    }
    static QByteArray normal(QByteArray folder)
    {
        while (folder.size() > 1 && folder.endsWith('/'))
            folder.chop(1);
        return folder;
    }
    QHash<QByteArray, Folder> folders_;
};

} // namespace dirweaver::test
