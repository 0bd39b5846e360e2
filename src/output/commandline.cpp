#include "commandline.h"

#include "messages.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

QString oneFolderMessage()
{
    return ProgramMessage(u"只能给出一个文件夹 / give one folder at most"_s);
}

QString unknownOptionMessage(const QByteArray &arg)
{
    return ProgramMessage(
        u"未知选项 %1（用 --help 查看用法）/ unknown option, see --help"_s.arg(Quoted(arg)));
}

} // namespace

namespace {

// The options of the page writer, and whether each takes a value.
struct OptionSpec
{
    QByteArrayView name;
    bool takesValue;
};
constexpr OptionSpec kOptions[] = {
    {"--write", true},         {"--tree", false},        {"--name", true},
    {"--relative", false},     {"--blank-lines", false}, {"--bullets", false},
    {"--align", true},         {"--no-size", false},     {"--no-date", false},
    {"--types", true},         {"--folders", false},     {"--encoding", true},
    {"--browser-title", true}, {"--header-title", true}, {"--footer-title", true},
    {"--help", false},         {"--version", false},
};

// The options that choose what runs instead of the window.
bool isMode(QByteArrayView arg)
{
    return arg == "--write" || arg.startsWith("--write=") || arg == "--tree" || arg == "--help" ||
           arg == "-h" || arg == "--version";
}

const OptionSpec *findOption(QByteArrayView name)
{
    for (const OptionSpec &option : kOptions) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

// The arguments read once: options with their values, in order, and the folders given.
struct Scanned
{
    QList<std::pair<QByteArray, QByteArray>> options;
    QList<QByteArray> folders;
};

std::variant<Scanned, QString> scan(const QList<QByteArray> &args)
{
    Scanned scanned;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QByteArray arg = args[i];
        if (arg == "--") {
            // Everything after it is a folder, even a name that starts with '-'.
            scanned.folders.append(args.mid(i + 1));
            break;
        }
        if (!arg.startsWith('-') || arg == "-") {
            scanned.folders.append(arg);
            continue;
        }
        std::optional<QByteArray> value;
        const qsizetype eq = arg.indexOf('=');
        if (arg.startsWith("--") && eq > 0) {
            value = arg.mid(eq + 1);
            arg.truncate(eq);
        }
        if (arg == "-h")
            arg = "--help";
        const OptionSpec *option = findOption(arg);
        if (!option)
            return unknownOptionMessage(arg);
        if (!option->takesValue && value)
            return ProgramMessage(
                u"选项 %1 不带取值 / option %1 takes no value"_s.arg(QString::fromLatin1(arg)));
        if (option->takesValue && !value) {
            if (i + 1 >= args.size())
                return ProgramMessage(
                    u"选项 %1 缺少取值 / option %1 needs a value"_s.arg(QString::fromLatin1(arg)));
            value = args[++i];
        }
        scanned.options.append({arg, value.value_or(QByteArray())});
    }
    return scanned;
}

// The one folder given, or an empty text for the current folder.
std::variant<QByteArray, QString> oneFolder(const QList<QByteArray> &folders)
{
    if (folders.size() > 1)
        return oneFolderMessage();
    if (folders.isEmpty())
        return QByteArray();
    if (folders[0].isEmpty())
        return ProgramMessage(u"文件夹名为空 / the folder name is empty"_s);
    return folders[0];
}

} // namespace

bool WantsWriter(const QList<QByteArray> &args)
{
    for (const QByteArray &arg : args) {
        if (arg == "--")
            return false;
        if (isMode(arg))
            return true;
    }
    return false;
}

std::variant<QByteArray, QString> ParseWindowArguments(const QList<QByteArray> &args)
{
    const auto scanned = scan(args);
    if (const QString *problem = std::get_if<QString>(&scanned))
        return *problem;
    const Scanned &s = std::get<Scanned>(scanned);
    if (!s.options.isEmpty())
        return ProgramMessage(
            u"选项 %1 需要 --write 或 --tree（用 --help 查看用法）/ %1 needs --write"_s.arg(
                QString::fromLatin1(s.options[0].first)));
    return oneFolder(s.folders);
}

bool DisplayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

std::variant<WriterRequest, QString> ParseWriterArguments(const QList<QByteArray> &args)
{
    const auto scanned = scan(args);
    if (const QString *problem = std::get_if<QString>(&scanned))
        return *problem;
    const Scanned &s = std::get<Scanned>(scanned);
    WriterRequest request;
    bool haveOutput = false, tree = false, haveName = false;
    for (const auto &[name, value] : s.options) {
        if (name == "--help") {
            request.action = WriterRequest::Action::Help;
            return request;
        }
        if (name == "--version") {
            request.action = WriterRequest::Action::Version;
            return request;
        }
        if (name == "--write") {
            request.output = value;
            haveOutput = true;
        } else if (name == "--tree") {
            tree = true;
        } else if (name == "--name") {
            // A page name, never a path: every page goes into its own folder.
            if (value.isEmpty() || value.contains('/') || value == "." || value == "..")
                return ProgramMessage(
                    u"--name 需要一个文件名（不含 /）/ --name takes a file name without /"_s);
            request.pageName = value;
            haveName = true;
        } else if (name == "--folders") {
            request.folders = true;
        } else if (name == "--encoding") {
            const QByteArray encoding = value.toLower();
            if (encoding == "gbk")
                request.options.encoding = PageEncoding::Gbk;
            else if (encoding == "utf-8" || encoding == "utf8")
                request.options.encoding = PageEncoding::Utf8;
            else
                return ProgramMessage(
                    u"未知的编码 %1（gbk 或 utf-8）/ unknown encoding"_s.arg(Quoted(value)));
        } else if (name == "--relative") {
            request.options.absolutePath = false;
        } else if (name == "--blank-lines") {
            request.options.blankLine = true;
        } else if (name == "--bullets") {
            request.options.bullet = true;
        } else if (name == "--no-size") {
            request.options.showSize = false;
        } else if (name == "--no-date") {
            request.options.showDate = false;
        } else if (name == "--align") {
            if (value == "left")
                request.options.align = Align::Left;
            else if (value == "center")
                request.options.align = Align::Center;
            else if (value == "right")
                request.options.align = Align::Right;
            else
                return ProgramMessage(
                    u"未知的对齐方式 %1（left、center 或 right）/ unknown alignment"_s.arg(
                        Quoted(value)));
        } else if (name == "--types") {
            request.types = QString::fromLocal8Bit(value);
            // A pattern of nothing but separators would list no file at all.
            if (QString(request.types).remove(u';').trimmed().isEmpty())
                return ProgramMessage(
                    u"--types 至少需要一个文件类型，如 \"*.txt\" / --types needs at least one "
                    u"pattern"_s);
        } else if (name == "--browser-title") {
            request.browserTitle = QString::fromLocal8Bit(value);
        } else if (name == "--header-title") {
            request.headerTitle = QString::fromLocal8Bit(value);
        } else if (name == "--footer-title") {
            request.options.footerTitle = QString::fromLocal8Bit(value);
        }
    }
    const auto folder = oneFolder(s.folders);
    if (const QString *problem = std::get_if<QString>(&folder))
        return *problem;
    request.folder = std::get<QByteArray>(folder);
    if (haveOutput && tree)
        return ProgramMessage(u"--write 与 --tree 只能用一个 / give --write or --tree, not both"_s);
    if (haveName && !tree)
        return ProgramMessage(u"--name 需要 --tree / --name needs --tree"_s);
    if (tree) {
        // Every page lies in the folder it lists, so its links are relative.
        request.action = WriterRequest::Action::Tree;
        request.options.absolutePath = false;
        request.folders = true;
    } else if (!haveOutput) {
        return ProgramMessage(
            u"需要 --write FILE 或 --tree（用 --help 查看用法）/ --write FILE or --tree is "
            u"required"_s);
    } else if (request.output.isEmpty()) {
        return ProgramMessage(u"输出文件名为空 / the output file name is empty"_s);
    }
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

} // namespace dirweaver
