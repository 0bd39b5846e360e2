#pragma once

#include "page/options.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

namespace dirweaver {

/// What one run of the headless page writer is asked to do.
struct WriterRequest
{
    /// One page, a page in every folder of a tree, the help or the version.
    enum class Action { Write, Tree, Help, Version };
    /// The action asked for.
    Action action = Action::Write;
    /// Output file; "-" for standard output.
    QByteArray output;
    /// With --tree: the name of every page; empty for each folder's own name plus ".htm".
    QByteArray pageName;
    /// Sub-folders are linked before the files.
    bool folders = false;
    /// The folder to list, as given; empty for the current folder.
    QByteArray folder;
    /// Page options; titles left empty here are derived from the folder.
    PageOptions options;
    /// The file pattern.
    QString types = QStringLiteral("*.*");
    /// Titles given on the command line, overriding the derived ones.
    std::optional<QString> browserTitle, headerTitle;
};

/// True when args ask for the headless writer (one page or a tree), its help or its version
/// rather than the window.
bool WantsWriter(const QList<QByteArray> &args);

/// The folder the window opens on (empty: the current folder); a one-line message on bad input.
std::variant<QByteArray, QString> ParseWindowArguments(const QList<QByteArray> &args);

/// Parses the arguments after the program name; a one-line message on bad input.
std::variant<WriterRequest, QString> ParseWriterArguments(const QList<QByteArray> &args);

/// folder made absolute against cwd, with "." and ".." components and repeated '/' removed.
QByteArray AbsoluteCleanPath(const QByteArray &folder, const QByteArray &cwd);

/// True when a window can be shown: an X11 or Wayland display, or a platform chosen
/// through QT_QPA_PLATFORM (tests choose offscreen).
bool DisplayAvailable();

} // namespace dirweaver
