#pragma once

#include "foldernode.h"

#include "output/treepage.h"
#include "selection/filesystem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace dirweaver {

/// Takes down the pages a tree run wrote in folders it no longer indexes (a ".noindex" put
/// in, a new --exclude, a dot-folder without --hidden): a folder's page and, where there
/// was one, those below it, since below a folder that had a page its sub-folders had
/// theirs and nowhere else can have. Only pages carrying the mark, never through a link,
/// never in a folder the walk would not enter.
class PageTakedown
{
public:
    /// A folder held open by the source.
    using Held = std::shared_ptr<const OpenFolder>;
    /// The name of the page of the folder called name.
    using PageName = std::function<QByteArray(const QByteArray &name)>;
    /// Told of a page that could not be removed.
    using Failed = std::function<void(const QString &message)>;

    /// Reads through fs, removes through target, enters as rules (which outlive it) say.
    PageTakedown(const FileSystem &fs, TreeTarget &target, const WalkRules &rules,
                 PageName pageName, QByteArrayView mark, Failed failed);

    /// Takes down the page of folder (node) and below; returns how many pages went.
    qsizetype folder(const Held &folder, const std::shared_ptr<const FolderNode> &node) const;
    /// The same for the sub-folders names of parent (node).
    qsizetype below(const Held &parent, const QList<QByteArray> &names,
                    const std::shared_ptr<const FolderNode> &node) const;

private:
    Held enter(const Held &parent, const QByteArray &name) const;

    const FileSystem &fs_;
    TreeTarget &target_;
    const WalkRules &rules_; // the walk's, which knows the top's device once it opened it
    const PageName pageName_;
    const QByteArrayView mark_;
    const Failed failed_;
};

} // namespace dirweaver
