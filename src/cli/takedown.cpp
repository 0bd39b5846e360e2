#include "takedown.h"

#include "messages.h"

#include <QSet>

#include <deque>

namespace dirweaver {

PageTakedown::PageTakedown(const FileSystem &fs, TreeTarget &target, const WalkRules &rules,
                           PageName pageName, QByteArrayView mark, Failed failed)
    : fs_(fs), target_(target), rules_(rules), pageName_(std::move(pageName)), mark_(mark),
      failed_(std::move(failed))
{
}

PageTakedown::Held PageTakedown::enter(const Held &parent, const QByteArray &name) const
{
    auto sub = std::make_shared<const OpenFolder>(fs_.openSub(parent->folder, name, rules_));
    return sub->notEntered || sub->error != 0 ? nullptr : sub;
}

qsizetype PageTakedown::folder(const Held &folder,
                               const std::shared_ptr<const FolderNode> &node) const
{
    // Level by level on a stack of its own, however deep the tree.
    struct Level
    {
        Held folder;
        QList<QByteArray> subs;
        qsizetype next;
        std::shared_ptr<const FolderNode> node;
    };
    std::deque<Level> levels;
    qsizetype removed = 0;
    const auto removeIn = [&](const Held &at, const std::shared_ptr<const FolderNode> &where) {
        QString why;
        const QByteArray page = pageName_(where->name);
        const TreePageRemoval result = target_.remove(at->folder, page, mark_, &why);
        if (result == TreePageRemoval::Failed)
            failed_(OutputErrorMessage(JoinPath(where->path(), page), why));
        if (result != TreePageRemoval::Removed)
            return;
        ++removed;
        const FolderListing listing = fs_.subFolders(at->folder);
        const QSet<QByteArray> links(listing.links.begin(), listing.links.end());
        QList<QByteArray> subs;
        for (const QByteArray &name : listing.names) {
            if (!links.contains(name))
                subs.append(name);
        }
        levels.push_back({at, std::move(subs), 0, where});
    };
    removeIn(folder, node);
    while (!levels.empty()) {
        Level &level = levels.back();
        if (level.next >= level.subs.size()) {
            levels.pop_back();
            continue;
        }
        const QByteArray name = level.subs[level.next++];
        if (const Held sub = enter(level.folder, name))
            removeIn(sub, std::make_shared<const FolderNode>(FolderNode{name, level.node}));
    }
    return removed;
}

qsizetype PageTakedown::below(const Held &parent, const QList<QByteArray> &names,
                              const std::shared_ptr<const FolderNode> &node) const
{
    qsizetype removed = 0;
    for (const QByteArray &name : names) {
        if (const Held sub = enter(parent, name))
            removed += folder(sub, std::make_shared<const FolderNode>(FolderNode{name, node}));
    }
    return removed;
}

} // namespace dirweaver
