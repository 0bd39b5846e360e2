#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QString>
#include <QStringView>

namespace dirweaver {

/// A name or path given on the command line, in quotation marks for a message, shown as
/// TerminalText.
QString Quoted(const QByteArray &bytes);

/// bytes (a name or path) as a terminal may show it: control characters (C0, DEL, C1), line
/// and paragraph separators and bidirectional controls written as escapes such as "\e",
/// "\r" or "\x9b", and a backslash as "\\", so that no name can move the cursor, retitle
/// the window or forge a line.
QString TerminalText(const QByteArray &bytes);

/// How many columns a terminal gives text: two for a wide (East Asian) character, none for
/// a combining mark.
qsizetype TerminalWidth(QStringView text);

/// text cut to at most columns terminal columns, "…" marking the cut.
QString FitColumns(const QString &text, qsizetype columns);

/// One line of progress redrawn on a terminal at most four times a second, cut to the
/// terminal's width so that it never wraps; nothing where there is no terminal (columns 0).
class ProgressLine
{
public:
    /// Onto err, a terminal of columns columns.
    ProgressLine(QIODevice &err, int columns);
    /// True when a line shown now would be drawn.
    bool due() const;
    /// Draws line in place of the last one, when due.
    void show(const QString &line);
    /// Clears the line before a message or the summary takes its place.
    void clear();

private:
    QIODevice &err_;
    const int columns_;
    QElapsedTimer clock_;
    bool shown_ = false;
};

/// What --version prints.
QByteArray VersionText();

/// text as one line of the program's own on the terminal, "dirweaver: " first.
QString ProgramMessage(const QString &text);

/// The message for a folder that cannot be opened.
QString FolderErrorMessage(const QByteArray &folder, int error);

/// The message for a folder that is reached through a link of another user (owner), which
/// a run does not follow.
QString ForeignLinkMessage(const QByteArray &folder, const QByteArray &link, quint32 owner);

/// The message for an output that cannot be written; "-" is standard output.
QString OutputErrorMessage(const QByteArray &output, const QString &why);

/// The message when no display is there for the window.
QString NoDisplayMessage();

/// Writes line and a line break to err, in the terminal's encoding.
void PrintLine(QIODevice &err, const QString &line);

} // namespace dirweaver
