#pragma once

// Reads a written page back the way a browser does: decoded, parsed by a real HTML5 parser
// (gumbo), its link targets resolved against the page's folder; or opened by Chromium itself.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace dirweaver::test {

/// One anchor of a parsed page.
struct Link
{
    /// The href as the parser read it, references decoded.
    QString href;
    /// The text inside the anchor.
    QString text;
    /// How many attributes the anchor has.
    int attributes = 0;
    /// How many elements stand inside the anchor.
    int elementChildren = 0;
};

/// What a parser made of a page: its title, its links, and the shape of everything else.
struct ParsedPage
{
    /// The text of the TITLE element.
    QString title;
    /// The href of the BASE element; empty without one.
    QString base;
    /// The anchors in page order.
    QList<Link> links;
    /// One line per element outside the anchors: depth, tag and attributes.
    QStringList shape;
};

/// bytes read as GBK by glibc's iconv; a marker text where they are not GBK.
QString FromGbk(const QByteArray &bytes);

/// html parsed by gumbo.
ParsedPage Parse(const QString &html);

/// The file a target opens, as the browser finds it from a page saved in folder (with its
/// trailing '/') whose head names base, if any; empty with why set when it leaves the file
/// system or relies on stripping.
QByteArray ResolvedPath(const QByteArray &folder, const QString &href, QString *why,
                        const QString &base = {});

/// Chromium's program, or empty when it is not installed.
QString ChromiumProgram();

/// The DOM Chromium builds for the page at path, after its scripts ran, with the interface
/// language lang ("zh-CN", "en-US"); empty with why set when Chromium failed.
QString ChromiumDom(const QByteArray &path, const QString &lang, QString *why,
                    const QStringList &extra = {});

/// The targets of every link of each page as Chromium resolves them (a.href), as paths: the
/// pages are loaded in frames of a harness page; empty with why set when Chromium failed.
QList<QList<QByteArray>> ChromiumResolvedLinks(const QList<QByteArray> &pages, QString *why);

/// What script (the body of a function of d, the page's document, returning a string) gives
/// once the page at path has loaded in a 1000 by 1500 pixel frame of a harness page, and
/// waitMs of the page's own time have passed; empty with why set when Chromium failed.
QString ChromiumScript(const QByteArray &path, const QString &script, QString *why, int waitMs = 0);

/// Writes bytes to path by bytes, as Qt cannot name a path that is not UTF-8.
bool WriteBytes(const QByteArray &path, const QByteArray &bytes);

} // namespace dirweaver::test
