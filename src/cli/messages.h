#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace dirweaver {

/// A name or path given on the command line, in quotation marks for a message.
QString Quoted(const QByteArray &bytes);

/// What --version prints.
QByteArray VersionText();

/// text as one line of the program's own on the terminal, "dirweaver: " first.
QString ProgramMessage(const QString &text);

/// The message for a folder that cannot be opened.
QString FolderErrorMessage(const QByteArray &folder, int error);

/// The message for an output that cannot be written; "-" is standard output.
QString OutputErrorMessage(const QByteArray &output, const QString &why);

/// The message when no display is there for the window.
QString NoDisplayMessage();

/// Writes line and a line break to err, in the terminal's encoding.
void PrintLine(QIODevice &err, const QString &line);

} // namespace dirweaver
