#include "messages.h"

#include "page/options.h"
#include "version.h"

#include <cstring>

namespace dirweaver {

using namespace Qt::StringLiterals;

QString Quoted(const QByteArray &bytes)
{
    return u"“"_s + QString::fromLocal8Bit(bytes) + u"”"_s;
}

QString FolderErrorMessage(const QByteArray &folder, int error)
{
    return ProgramMessage(u"无法读取文件夹 %1：%2"_s.arg(Quoted(folder), ErrorText(error)));
}

QString NoDisplayMessage()
{
    return ProgramMessage(
        u"没有图形显示，无法打开窗口；可用 --write FILE 不开窗口写出网页 / "
        u"no display for the window; use --write FILE to write the page without one"_s);
}

QString WriterHelp()
{
    return uR"(用法 / usage: dirweaver [FOLDER]
       dirweaver --write FILE [options] [FOLDER]
       dirweaver --tree [--name NAME] [options] [FOLDER]

不带 --write 或 --tree 时打开窗口，显示 FOLDER（默认为当前文件夹）。
Without --write or --tree the window opens on FOLDER (default: the current folder).

把文件夹中的文件写成一个链接网页（默认 GBK 编码），不打开窗口。
Writes the page of links to the files of FOLDER (GBK by default) without opening a window.

  --write FILE               写入 FILE；"-" 表示标准输出（写出的是网页编码的字节）
                             / write to FILE, "-" for standard output (the page's bytes, GBK
                             unless --encoding says otherwise)
  --tree                     在 FOLDER 下每个文件夹里写一页（链接为相对路径，列出子文件夹与上一级）
                             / write a page into every folder of the tree under FOLDER, with
                             relative links, its sub-folders and its parent
  --name NAME                --tree 的网页文件名，默认为各文件夹名加 .htm / page name for --tree,
                             default: each folder's own name plus .htm (index.htm for servers)
  --encoding gbk|utf-8       网页编码，默认 gbk / the page's encoding, default gbk
  --folders                  在文件之前列出子文件夹 / link the sub-folders before the files
  FOLDER                     要列出的文件夹，默认为当前文件夹 / folder to list, default: the current one
  --relative                 链接不含文件夹路径 / link targets without the folder path
  --blank-lines              链接之间插入空行 / one paragraph per link
  --bullets                  链接前加项目符号（强制左对齐）/ a bullet before each link (forces left)
  --align left|center|right  链接项目的位置，默认 left / alignment of the links, default left
  --no-size                  不注明文件大小 / leave out the file size
  --no-date                  不注明文件建立日期 / leave out the creation date
  --types MASKS              文件类型，如 "*.txt;*.doc"，默认 "*.*" / file pattern, default "*.*"
  --browser-title TEXT       IE标题，默认取自文件夹名 / browser title, default from the folder name
  --header-title TEXT        网页页眉标题，默认取自文件夹名 / page heading, default from the folder name
  --footer-title TEXT        网页页脚标题，默认 "%1" / page footer
  --help                     显示本说明 / show this help
  --version                  显示版本 / show the version
  --                         其后的参数都是文件夹名 / what follows is a folder, even "-x"
)"_s.arg(PageOptions().footerTitle);
}

QByteArray VersionText()
{
    return QByteArrayLiteral("Dirweaver V" DIRWEAVER_VERSION "\n");
}

QString ProgramMessage(const QString &text)
{
    return u"dirweaver: "_s + text;
}

QString ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString OutputErrorMessage(const QByteArray &output, const QString &why)
{
    if (output == "-")
        return ProgramMessage(u"无法写入标准输出：%1"_s.arg(why));
    return ProgramMessage(u"无法写入 %1：%2"_s.arg(Quoted(output), why));
}

void Say(QIODevice &err, const QString &line)
{
    err.write(line.toLocal8Bit() + '\n');
}

} // namespace dirweaver
