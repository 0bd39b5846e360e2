#pragma once

#include "selection/filesystem.h"

#include <QHash>

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
    /// Makes folder exist (empty) or fail to list with error.
    void addFolder(const QByteArray &folder, int error = 0)
    {
        folders_[normal(folder)].error = error;
    }

    FolderListing regularFiles(const QByteArray &folder) const override
    {
        const auto it = folders_.constFind(normal(folder));
        if (it == folders_.cend())
            return {{}, 2 /* ENOENT */};
        if (it->error != 0)
            return {{}, it->error};
        return {it->names, 0};
    }
    std::optional<FileFacts> facts(const QByteArray &folder, const QByteArray &name) const override
    {
        ++statCalls;
        const auto it = folders_.constFind(normal(folder));
        if (it == folders_.cend())
            return std::nullopt;
        return it->facts.value(name, std::nullopt);
    }

    /// How many times facts() was asked.
    mutable int statCalls = 0;

private:
    struct Folder
    {
        QList<QByteArray> names;
        QHash<QByteArray, std::optional<FileFacts>> facts;
        int error = 0;
    };
    static QByteArray normal(QByteArray folder)
    {
        while (folder.size() > 1 && folder.endsWith('/'))
            folder.chop(1);
        return folder;
    }
    QHash<QByteArray, Folder> folders_;
};

} // namespace dirweaver::test
