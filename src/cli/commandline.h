#pragma once

#include "page/folderpage.h"
#include "page/words.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace dirweaver {

/// What one run of the headless page writer is asked to do.
struct WriterRequest
{
    /// One page, a page in every folder of a tree, one catalogue of trees, the help or the
    /// version.
    enum class Action { Write, Tree, Catalog, Help, Version };
    /// The action asked for.
    Action action = Action::Write;
    /// Output file; "-" for standard output.
    QByteArray output;
    /// The folder to list, as given; empty for the current folder.
    QByteArray folder;
    /// With --catalog: every folder given, in order; empty for the current folder.
    QList<QByteArray> folders;
    /// What the page (or every page of the tree) is made of.
    FolderPageRequest page;
    /// Lines to show on standard error before the run: options taken, but likely not meant.
    QStringList warnings;
    /// The pages' language, when --lang names one.
    std::optional<PageLanguage> language;
    /// --footer-title was given, so the language's footer is not put in its place.
    bool footerGiven = false;
    /// Every style --style names, the first the page's own; --tree writes a page of each.
    QList<const PageFormat *> styles;
    /// --encoding was given: the HTML styles take it, data is UTF-8 always.
    bool encodingGiven = false;
    /// --date was given: an object store, which keeps no creation time, then shows what
    /// was asked for rather than the modified time.
    bool dateGiven = false;
};

/// The locale request's pages are written in: --lang's own, which gives the same bytes
/// under any environment, else program; the footer, unless given, in its language.
QLocale SettlePageLanguage(WriterRequest &request, const QLocale &program);

/// True when args ask for the headless writer (one page or a tree), its help or its version
/// rather than the window.
bool WantsWriter(const QList<QByteArray> &args);

/// What the window is asked to open.
struct WindowRequest
{
    /// The folder it opens on; empty for the current folder.
    QByteArray folder;
    /// What its controls do not choose, given on the command line (the order, what to leave
    /// out, which date), applied to every page it builds.
    FolderPageRequest listing;
};

/// The window's folder and listing options; a one-line message on bad input, or for an
/// option that needs --write or --tree.
std::variant<WindowRequest, QString> ParseWindowArguments(const QList<QByteArray> &args);

/// Parses the arguments after the program name; a one-line message on bad input.
std::variant<WriterRequest, QString> ParseWriterArguments(const QList<QByteArray> &args);

/// One row of the command line's help, as --help, the manual pages and the shell
/// completion show it.
struct OptionHelp
{
    /// How it is spelled ("--sort"), or what stands in its place ("FOLDER", "--").
    QString name;
    /// What the help calls its value ("name|modified|created|size"); empty for a switch.
    QString value;
    /// What it does, in Chinese.
    QString help;
    /// What it does, in English.
    QString helpEn;
    /// False for the rows that only explain (the folder, "--").
    bool option = true;
    /// Its short spelling ("-h"), if it has one.
    QString alias;
};

/// Every row of the help, from the parser's own table, in the order the help lists them.
QList<OptionHelp> OptionHelps();

/// The help text of the command line, one entry per option of the parser's table.
QString WriterHelp();

/// folder made absolute against cwd (empty: cwd itself), with "." and ".." components and
/// repeated '/' removed.
QByteArray AbsoluteCleanPath(const QByteArray &folder, const QByteArray &cwd);

} // namespace dirweaver
