#pragma once

#include "text/encoding.h"

#include <QString>
#include <QStringView>

namespace dirweaver {

/// What a save tells the user.
struct SaveReport
{
    /// True when the file now holds the whole page.
    bool saved = false;
    /// The success text, or the system's description of what failed.
    QString text;
};

/// Saves page (encoded) to fileName as a page file and says how it went; a failed save
/// leaves any old file as it was.
SaveReport SaveAndReport(const QString &fileName, const QByteArray &page);

} // namespace dirweaver
