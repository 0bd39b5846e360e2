#include "headless.h"

#include "page/builder.h"
#include "pagefile.h"
#include "selection/filelist.h"
#include "selection/prefetch.h"
#include "selection/titles.h"

#include <cstring>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

QString message(const QString &text)
{
    return u"dirweaver: "_s + text;
}

QString quoted(const QByteArray &bytes)
{
    return u"“"_s + QString::fromLocal8Bit(bytes) + u"”"_s;
}

void say(QIODevice &err, const QString &text)
{
    err.write(text.toLocal8Bit() + '\n');
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

bool WantsWriter(const QList<QByteArray> &args)
{
    for (const QByteArray &arg : args) {
        if (arg == "--")
            return false;
        if (arg == "--write" || arg.startsWith("--write=") || arg == "--help" || arg == "-h" ||
            arg == "--version")
            return true;
    }
    return false;
}

std::variant<QByteArray, QString> ParseWindowArguments(const QList<QByteArray> &args)
{
    QByteArray folder;
    bool haveFolder = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QByteArray &arg = args[i];
        const bool isOption = arg.startsWith('-') && arg != "-";
        if (arg == "--") {
            if (i + 2 != args.size() || haveFolder)
                return message(u"只能给出一个文件夹 / give one folder at most"_s);
            return args[i + 1];
        }
        if (isOption)
            return message(u"未知选项 %1（用 --help 查看用法）/ unknown option, see --help"_s.arg(
                quoted(arg)));
        if (haveFolder)
            return message(u"只能给出一个文件夹 / give one folder at most"_s);
        folder = arg;
        haveFolder = true;
    }
    return folder;
}

QString FolderErrorMessage(const QByteArray &folder, int error)
{
    return message(u"无法读取文件夹 %1：%2"_s.arg(quoted(folder), errorText(error)));
}

bool DisplayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

QString NoDisplayMessage()
{
    return message(u"没有图形显示，无法打开窗口；可用 --write FILE 不开窗口写出网页 / "
                   u"no display for the window; use --write FILE to write the page without one"_s);
}

QString WriterHelp()
{
    return uR"(用法 / usage: dirweaver [FOLDER]
       dirweaver --write FILE [options] [FOLDER]

不带 --write 时打开窗口，显示 FOLDER（默认为当前文件夹）。
Without --write the window opens on FOLDER (default: the current folder).

把文件夹中的文件写成一个链接网页（GBK 编码），不打开窗口。
Writes the page of links to the files of FOLDER (GBK encoded) without opening a window.

  --write FILE               写入 FILE；"-" 表示标准输出 / write to FILE, "-" for standard output
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
  --footer-title TEXT        网页页脚标题，默认 "本网页采用Dirweaver V1.06 制作！" / page footer
  --help                     显示本说明 / show this help
  --version                  显示版本 / show the version
)"_s;
}

std::variant<WriterRequest, QString> ParseWriterArguments(const QList<QByteArray> &args)
{
    WriterRequest request;
    bool haveOutput = false, haveFolder = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QByteArray arg = args[i];
        std::optional<QByteArray> inlineValue;
        if (arg.startsWith("--") && arg.contains('=')) {
            const qsizetype eq = arg.indexOf('=');
            inlineValue = arg.mid(eq + 1);
            arg.truncate(eq);
        }
        auto value = [&]() -> std::optional<QByteArray> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        const bool takesValue = arg == "--write" || arg == "--align" || arg == "--types" ||
                                arg == "--browser-title" || arg == "--header-title" ||
                                arg == "--footer-title";
        if (takesValue) {
            const std::optional<QByteArray> v = value();
            if (!v)
                return message(
                    u"选项 %1 缺少取值 / option %1 needs a value"_s.arg(QString::fromLatin1(arg)));
            if (arg == "--write") {
                request.output = *v;
                haveOutput = true;
            } else if (arg == "--align") {
                if (*v == "left")
                    request.options.align = Align::Left;
                else if (*v == "center")
                    request.options.align = Align::Center;
                else if (*v == "right")
                    request.options.align = Align::Right;
                else
                    return message(
                        u"未知的对齐方式 %1（left、center 或 right）/ unknown alignment"_s.arg(
                            quoted(*v)));
            } else if (arg == "--types") {
                request.types = QString::fromLocal8Bit(*v);
            } else if (arg == "--browser-title") {
                request.browserTitle = QString::fromLocal8Bit(*v);
            } else if (arg == "--header-title") {
                request.headerTitle = QString::fromLocal8Bit(*v);
            } else {
                request.options.footerTitle = QString::fromLocal8Bit(*v);
            }
            continue;
        }
        if (inlineValue)
            return message(
                u"选项 %1 不带取值 / option %1 takes no value"_s.arg(QString::fromLatin1(arg)));
        if (arg == "--relative") {
            request.options.absolutePath = false;
        } else if (arg == "--blank-lines") {
            request.options.blankLine = true;
        } else if (arg == "--bullets") {
            request.options.bullet = true;
        } else if (arg == "--no-size") {
            request.options.showSize = false;
        } else if (arg == "--no-date") {
            request.options.showDate = false;
        } else if (arg == "--help" || arg == "-h") {
            request.action = WriterRequest::Action::Help;
            return request;
        } else if (arg == "--version") {
            request.action = WriterRequest::Action::Version;
            return request;
        } else if (arg == "--") {
            if (i + 2 != args.size() || haveFolder)
                return message(u"只能给出一个文件夹 / give one folder at most"_s);
            request.folder = args[++i];
            haveFolder = true;
        } else if (arg.startsWith('-') && arg != "-") {
            return message(u"未知选项 %1（用 --help 查看用法）/ unknown option, see --help"_s.arg(
                quoted(arg)));
        } else {
            if (haveFolder)
                return message(u"只能给出一个文件夹 / give one folder at most"_s);
            request.folder = arg;
            haveFolder = true;
        }
    }
    if (!haveOutput)
        return message(u"需要 --write FILE（用 --help 查看用法）/ --write FILE is required"_s);
    if (request.output.isEmpty())
        return message(u"输出文件名为空 / the output file name is empty"_s);
    if (request.options.bullet)
        request.options.align = Align::Left;
    return request;
}

QByteArray AbsoluteCleanPath(const QByteArray &folder, const QByteArray &cwd)
{
    const QByteArray path = folder.startsWith('/') ? folder : cwd + '/' + folder;
    QList<QByteArray> parts;
    for (const QByteArray &part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return '/' + parts.join('/');
}

int RunWriter(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
              const QByteArray &cwd, QIODevice &out, QIODevice &err)
{
    if (request.action == WriterRequest::Action::Help) {
        out.write(WriterHelp().toLocal8Bit());
        return 0;
    }
    if (request.action == WriterRequest::Action::Version) {
        out.write("Dirweaver V1.06\n");
        return 0;
    }

    const QByteArray folderBytes =
        AbsoluteCleanPath(request.folder.isEmpty() ? cwd : request.folder, cwd);
    const FolderListing listing = fs.regularFiles(folderBytes);
    if (listing.error != 0) {
        say(err, FolderErrorMessage(folderBytes, listing.error));
        return 2;
    }

    PageInput input;
    input.folder = NativeName::fromBytes(folderBytes);
    input.files = SelectFiles(listing, request.types);
    // The files' facts are read on a second core while the list is sorted.
    std::optional<FactsPrefetch> prefetch;
    if (request.options.showSize || request.options.showDate) {
        QList<QByteArray> names;
        names.reserve(input.files.size());
        for (const NativeName &name : std::as_const(input.files))
            names.append(name.bytes);
        prefetch.emplace(fs, FolderPath(input.folder).bytes, names);
    }
    SortFiles(input.files, locale);
    input.options = request.options;
    const Titles titles = DeriveTitles(input.folder.text);
    input.options.browserTitle = request.browserTitle.value_or(titles.browser);
    input.options.headerTitle = request.headerTitle.value_or(titles.header);
    input.fragments = PageFragments::forOptions(input.options);

    const FileTimeFormat format(locale);
    const PageBuilder builder(prefetch ? *prefetch : fs, format);
    const PageProducer produce = [&](PageSink &sink) { builder.build(input, sink); };
    QString error;
    if (request.output == "-") {
        if (WritePage(out, produce, &error))
            return 0;
        say(err, message(u"无法写入标准输出：%1"_s.arg(error)));
        return 1;
    }
    if (SavePage(QString::fromLocal8Bit(request.output), produce, &error))
        return 0;
    say(err, message(u"无法写入 %1：%2"_s.arg(quoted(request.output), error)));
    return 1;
}

} // namespace dirweaver
