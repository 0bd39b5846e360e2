#pragma once

#include "nativename.h"

#include <QList>
#include <QUrl>

#include <optional>

namespace dirweaver {

/// The folder a drop on the window opens: the first dropped item when it is a local folder,
/// or the folder that holds it when it is a local file; nothing for anything else (a web
/// address, a path that is gone). The path keeps its bytes, as file managers encode them.
std::optional<NativeName> DroppedFolder(const QList<QUrl> &urls);

} // namespace dirweaver
