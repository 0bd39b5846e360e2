#include "commandline.h"
#include "messages.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

QString WriterHelp()
{
    QString help = uR"(用法 / usage: dirweaver [FOLDER]
       dirweaver --write FILE [options] [FOLDER]
       dirweaver --tree [--name NAME] [options] [FOLDER]
       dirweaver --catalog FILE [options] [FOLDER...]

不带 --write、--tree 或 --catalog 时打开窗口，显示 FOLDER（默认为当前文件夹）。
Without --write, --tree or --catalog the window opens on FOLDER (default: the current folder).

把文件夹中的文件写成一个链接网页（默认 GBK 编码），不打开窗口。
Writes the page of links to the files of FOLDER (GBK by default) without opening a window.

)"_s;
    // Each option with its Chinese text beside it and its English below, in a column that
    // fits a terminal of 100 characters.
    constexpr qsizetype kColumn = 29, kWidth = 100;
    const QString indent(kColumn, u' ');
    for (const OptionHelp &option : OptionHelps()) {
        QString spelled = u"  "_s + option.name;
        if (!option.value.isEmpty())
            spelled += u' ' + option.value;
        // A long option stands on its own line; the Chinese text is broken at the column's
        // width, a wide character taking two.
        if (spelled.size() >= kColumn - 1)
            help += spelled + u'\n' + indent;
        else
            help += spelled.leftJustified(kColumn - 1) + u' ';
        qsizetype columns = kColumn;
        const QStringView text = option.help;
        for (qsizetype at = 0; at < text.size();) {
            // A run of ASCII other than spaces ("table,json") is never broken; a Chinese
            // character may be, anywhere.
            qsizetype end = at + 1;
            while (end < text.size() && text[at].unicode() < 0x80 && text[at] != u' ' &&
                   text[end].unicode() < 0x80 && text[end] != u' ')
                ++end;
            const QStringView piece = text.mid(at, end - at);
            const qsizetype width = TerminalWidth(piece);
            if (columns + width > kWidth && columns > kColumn) {
                while (help.endsWith(u' '))
                    help.chop(1);
                help += u'\n' + indent;
                columns = kColumn;
                if (piece == u" ") {
                    at = end;
                    continue;
                }
            }
            help += piece;
            columns += width;
            at = end;
        }
        help += u'\n';
        QString line = indent + u'/';
        for (const QStringView word : QStringView(option.helpEn).split(u' ')) {
            if (line.size() + 1 + word.size() > kWidth) {
                help += line + u'\n';
                line = indent + u' ';
            }
            line += u' ' + word;
        }
        help += line + u'\n';
    }
    help += uR"(
例如 / for example:
  下载文件夹：新的在前，显示修改日期，不列未下载完的文件
  / a download folder, newest first, with modification dates, without partial downloads:
    dirweaver --write index.htm --sort modified --date modified --exclude "*.part;Thumbs.db" /srv/dl
  镜像的整棵树，给网站用 / a mirror tree for a web server:
    dirweaver --tree --name index.htm --depth 3 --base https://mirror.example.org/pub /srv/pub
)"_s;
    return help;
}

} // namespace dirweaver
