#pragma once

#include "filetime.h"
#include "options.h"
#include "selection/filesystem.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace dirweaver {

/// Appends what follows a file's link: NamePad, SizeText, SizePad and DateText, as the size
/// and date options ask. SizeText is the size in rounded kilobytes (ties to even) and exact
/// bytes; DateText the creation time, after three "&nbsp;" when the size is shown too;
/// NamePad 46 - width "&nbsp;" after a name of that display width, three from 45 on;
/// SizePad 21 - width "&nbsp;" after a size text narrower than 20. A file whose facts could
/// not be read gets empty size and date texts but still its spacing.
void AppendAnnotations(QString &out, QStringView name, const std::optional<FileFacts> &facts,
                       bool showSize, bool showDate, const FileTimeFormat &format,
                       FileDate date = FileDate::Created);

/// Appends size as a short text: bytes below 1 KiB ("0 字节", in words' language), else the
/// largest binary unit that keeps it at 1 or more, one decimal below 10 ("3.4 MB", "12 KB").
void AppendShortSize(QString &out, qint64 size, const PageWords &words);

} // namespace dirweaver
