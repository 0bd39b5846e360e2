#include "messages.h"

#include "selection/filesystem.h"
#include "version.h"

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

QByteArray VersionText()
{
    return QByteArrayLiteral("Dirweaver V" DIRWEAVER_VERSION "\n");
}

QString ProgramMessage(const QString &text)
{
    return u"dirweaver: "_s + text;
}

QString OutputErrorMessage(const QByteArray &output, const QString &why)
{
    if (output == "-")
        return ProgramMessage(u"无法写入标准输出：%1"_s.arg(why));
    return ProgramMessage(u"无法写入 %1：%2"_s.arg(Quoted(output), why));
}

void PrintLine(QIODevice &err, const QString &line)
{
    err.write(line.toLocal8Bit() + '\n');
}

} // namespace dirweaver
