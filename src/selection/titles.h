#pragma once

#include <QString>
#include <QStringView>

namespace dirweaver {

/// The titles a folder gives its page.
struct Titles
{
    /// The page heading: the folder's name with its first character upper-cased, as page
    /// text, escaped like a file name so that a folder name never becomes markup.
    QString header;
    /// The folder's own name as the path spells it, proposed as the saved file's name.
    QString folderTitle;
};

/// Titles of the open folder: "/" for the root, otherwise from the last path component. The
/// title boxes receive them as they will stand in the page; what the user types there later
/// is written as typed.
Titles DeriveTitles(QStringView folderPath);

/// The name, before its suffix, proposed for the page file of a folder titled folderTitle:
/// the title itself, or "根目录" for the root, whose title "/" cannot be a file name.
QString ProposedFileName(QStringView folderTitle);

} // namespace dirweaver
