#pragma once

#include "page/options.h"
#include "selection/filesystem.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QLocale>
#include <QString>

#include <optional>
#include <variant>

namespace dirweaver {

/// What one run of the headless page writer is asked to do.
struct WriterRequest
{
    /// What to do besides writing a page.
    enum class Action { Write, Help, Version };
    /// The action asked for.
    Action action = Action::Write;
    /// Output file; "-" for standard output.
    QByteArray output;
    /// The folder to list, as given; empty for the current folder.
    QByteArray folder;
    /// Page options; titles left empty here are derived from the folder.
    PageOptions options;
    /// The file pattern.
    QString types = QStringLiteral("*.*");
    /// Titles given on the command line, overriding the derived ones.
    std::optional<QString> browserTitle, headerTitle;
};

/// True when args ask for the headless writer, its help or its version rather than the window.
bool WantsWriter(const QList<QByteArray> &args);

/// The folder the window opens on (empty: the current folder); a one-line message on bad input.
std::variant<QByteArray, QString> ParseWindowArguments(const QList<QByteArray> &args);

/// The one-line message for a folder that cannot be opened.
QString FolderErrorMessage(const QByteArray &folder, int error);

/// True when a window can be shown: an X11 or Wayland display, or a platform chosen
/// through QT_QPA_PLATFORM (tests choose offscreen).
bool DisplayAvailable();

/// The one-line message when no display is there for the window.
QString NoDisplayMessage();

/// Parses the arguments after the program name; a one-line message on bad input.
std::variant<WriterRequest, QString> ParseWriterArguments(const QList<QByteArray> &args);

/// The help text of the command line.
QString WriterHelp();

/// folder made absolute against cwd, with "." and ".." components and repeated '/' removed.
QByteArray AbsoluteCleanPath(const QByteArray &folder, const QByteArray &cwd);

/// Writes the page that request asks for; messages go to err. Returns the exit status:
/// 0 done, 1 the output could not be written, 2 bad input (nothing is written then).
int RunWriter(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
              const QByteArray &cwd, QIODevice &out, QIODevice &err);

} // namespace dirweaver
