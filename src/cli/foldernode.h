#pragma once

#include "selection/filesystem.h"

#include <QByteArray>
#include <QList>

#include <memory>

namespace dirweaver {

/// A folder of a walk: its own name and its parent, so that its path is only made when a
/// message needs it and a deep tree costs memory in proportion to its folders.
struct FolderNode
{
    /// Its own name; the whole path at the top.
    QByteArray name;
    /// The folder it is in; none at the top.
    std::shared_ptr<const FolderNode> parent;

    /// Its path, from the top's.
    QByteArray path() const
    {
        QList<const FolderNode *> chain;
        for (const FolderNode *node = this; node; node = node->parent.get())
            chain.append(node);
        QByteArray joined;
        for (qsizetype i = chain.size() - 1; i >= 0; --i)
            joined = joined.isEmpty() ? chain[i]->name : JoinPath(joined, chain[i]->name);
        return joined;
    }
};

} // namespace dirweaver
