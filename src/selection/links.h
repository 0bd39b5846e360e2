#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace dirweaver {

/// Where a link of a folder leads, for a walk that follows links only below a folder.
enum class LinkPlace { Below, Elsewhere, Folder, Nowhere };

/// True when path (a real path) lies below within.
bool liesBelow(QByteArrayView path, const QByteArray &within);

/// The real path of the open file or folder fd.
QByteArray realPathOf(int fd);

/// The target of the link name in dirFd, opened once: what is judged is what its facts are
/// then read from, so that a target swapped meanwhile cannot lend its facts. -1 when it
/// leads nowhere this process may look.
int openLinkTarget(int dirFd, const char *name);

/// Where the opened target leads: a folder, below within, elsewhere, or (-1) nowhere.
LinkPlace placeOfTarget(int target, const QByteArray &within);

/// Where the link name of dirFd leads.
LinkPlace placeOfLink(int dirFd, const char *name, const QByteArray &within);

} // namespace dirweaver
