#pragma once

#include <QString>
#include <QStringView>

namespace dirweaver {

/// The titles a folder gives its page.
struct Titles
{
    /// The page heading: the folder's name with its first character upper-cased.
    QString header;
    /// The browser title: the same text as the heading.
    QString browser;
    /// The folder's own name as the path spells it, proposed as the saved file's name.
    QString folderTitle;
};

/// Titles of the open folder: "/" for the root, otherwise from the last path component.
Titles DeriveTitles(QStringView folderPath);

} // namespace dirweaver
