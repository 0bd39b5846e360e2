#pragma once

#include "text/encoding.h"
#include "version.h"

#include <QString>

namespace dirweaver {

/// Where the link lines stand on the page.
enum class Align { Left, Center, Right };

/// Which of a file's times its line shows.
enum class FileDate { Created, Modified };

struct PageFormat;
const PageFormat &ClassicFormat();

/// The user's choices that shape the page, with the values the window starts with.
struct PageOptions
{
    /// Link targets carry the folder path ("链接采用绝对路径").
    bool absolutePath = true;
    /// Each link is its own paragraph ("链接之间插入空行").
    bool blankLine = false;
    /// A list bullet before each link ("链接前加项目符号"); forces left alignment.
    bool bullet = false;
    /// The file size follows each link ("注明文件大小").
    bool showSize = true;
    /// The creation date follows each link ("注明文件建立日期").
    bool showDate = true;
    /// Alignment of the link lines.
    Align align = Align::Left;
    /// Text between the TITLE tags.
    QString browserTitle = QStringLiteral("IE标题");
    /// The heading at the top of the page.
    QString headerTitle = QStringLiteral("网页页眉标题");
    /// The centred line at the foot of the page.
    QString footerTitle = QStringLiteral("本网页采用Dirweaver V" DIRWEAVER_VERSION " 制作！");
    /// The encoding the page is written in, and declares in its head.
    PageEncoding encoding = PageEncoding::Gbk;
    /// The head says that a tree run wrote the page, so that a later run may replace it.
    bool treeMark = false;
    /// The time the date shows: the creation date, or the modification date.
    FileDate date = FileDate::Created;
    /// Each file's SHA-256 follows its line (--checksum sha256).
    bool checksum = false;
    /// When set, link targets start with this address (free of quotes, angle brackets and
    /// control characters) instead of the folder's path.
    QString baseUrl;
    /// The page's format: the classic lines, a table the reader sorts and filters, data.
    const PageFormat *format = &ClassicFormat();

    /// True when the lines show a size or a date, or the format is data, which need the
    /// files' facts.
    bool showsFacts() const;
    /// Where the lines stand: bullets are always on the left.
    Align lineAlign() const { return bullet ? Align::Left : align; }
};

} // namespace dirweaver
