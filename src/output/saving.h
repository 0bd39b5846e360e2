#pragma once

#include "text/encoding.h"

#include <QString>
#include <QStringView>

namespace dirweaver {

/// The caption of every message box of the program.
inline constexpr QStringView kMessageCaption = u"Dirweaver";

/// What a save tells the user.
struct SaveReport
{
    /// True when the file now holds the whole page.
    bool saved = false;
    /// The success text, or the system's description of what failed.
    QString text;
};

/// The name the save dialog proposes for a folder title: the title itself, or "根目录" for
/// the root, whose title "/" cannot be a file name.
QString ProposedFileName(QStringView folderTitle);

/// Saves page (encoded) to fileName as a page file and says how it went; a failed save
/// leaves any old file as it was.
SaveReport SaveAndReport(const QString &fileName, const QByteArray &page);

} // namespace dirweaver
