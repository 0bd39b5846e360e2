#include "messages.h"

#include "selection/filesystem.h"
#include "version.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

QString Quoted(const QByteArray &bytes)
{
    return u"“"_s + TerminalText(bytes) + u"”"_s;
}

QString TerminalText(const QByteArray &bytes)
{
    const QString text = QString::fromLocal8Bit(bytes);
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool separator = u == 0x2028 || u == 0x2029;
        const bool bidi = (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069) ||
                          u == 0x200e || u == 0x200f || u == 0x061c;
        if (u == u'\\')
            shown += u"\\\\"_s;
        else if (u == 0x1b)
            shown += u"\\e"_s;
        else if (u == u'\r')
            shown += u"\\r"_s;
        else if (u == u'\n')
            shown += u"\\n"_s;
        else if (u == u'\t')
            shown += u"\\t"_s;
        else if (u < 0x20 || (u >= 0x7f && u <= 0x9f))
            shown += u"\\x"_s + QString::number(u, 16).rightJustified(2, u'0');
        else if (separator || bidi)
            shown += u"\\u"_s + QString::number(u, 16).rightJustified(4, u'0');
        else
            shown += c;
    }
    return shown;
}

qsizetype TerminalWidth(QStringView text)
{
    qsizetype width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing)
            continue;
        const bool wide = (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf) ||
                          (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) ||
                          (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) ||
                          (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x1f300 && c <= 0x1f64f) ||
                          (c >= 0x1f900 && c <= 0x1f9ff) || (c >= 0x20000 && c <= 0x3fffd);
        width += wide ? 2 : 1;
    }
    return width;
}

QString FitColumns(const QString &text, qsizetype columns)
{
    if (TerminalWidth(text) <= columns)
        return text;
    // Cut before the character that would pass the limit, with a column for the mark.
    qsizetype width = 0, cut = 0;
    while (cut < text.size()) {
        const qsizetype next = cut + (text[cut].isHighSurrogate() ? 2 : 1);
        const qsizetype w = TerminalWidth(QStringView(text).sliced(cut, next - cut));
        if (width + w > columns - 1)
            break;
        width += w;
        cut = next;
    }
    return text.left(cut) + u'…';
}

QString FolderErrorMessage(const QByteArray &folder, int error)
{
    return ProgramMessage(u"无法读取文件夹 %1：%2"_s.arg(Quoted(folder), ErrorText(error)));
}

QString ForeignLinkMessage(const QByteArray &folder, const QByteArray &link, quint32 owner)
{
    return ProgramMessage(
        u"不列出 %1：它经过用户 %2 的符号链接 %3（请写出真正的文件夹）/ not listed: reached "
        u"through a link of user %2; name the real folder if it is meant"_s.arg(
            Quoted(folder), QString::number(owner), Quoted(link)));
}

QString NoDisplayMessage()
{
    return ProgramMessage(
        u"没有图形显示，无法打开窗口；可用 --write FILE 不开窗口写出网页 / "
        u"no display for the window; use --write FILE to write the page without one"_s);
}

QByteArray VersionText()
{
    return QByteArrayLiteral("Dirweaver V" DIRWEAVER_VERSION "\n"
                             "Copyright (c) 2026 The Dirweaver developers\n"
                             "MIT License: free to use, copy, change and pass on, without any "
                             "warranty; see LICENSE.\n");
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

ProgressLine::ProgressLine(QIODevice &err, int columns) : err_(err), columns_(columns)
{
    clock_.start();
}

bool ProgressLine::due() const
{
    return columns_ > 0 && (!shown_ || clock_.elapsed() >= 250);
}

void ProgressLine::show(const QString &line)
{
    if (!due())
        return;
    clock_.restart();
    shown_ = true;
    err_.write("\r\033[K" + FitColumns(line, columns_ - 1).toLocal8Bit());
}

void ProgressLine::clear()
{
    if (shown_)
        err_.write("\r\033[K");
    shown_ = false;
}

} // namespace dirweaver
