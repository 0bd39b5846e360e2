#include "commandline.h"

#include "messages.h"

#include "page/format.h"

#include <algorithm>
#include <optional>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// What an option does to the request with its value; a message when the value is refused.
using Apply = std::optional<QString> (*)(WriterRequest &, const QByteArray &);

// One option of the command line: how it is spelled, what it sets and how the help shows it.
struct OptionRow
{
    QByteArrayView name;
    // What the help calls its value; empty for a switch, which takes none.
    QByteArrayView value;
    // Chooses the writer, its help or its version instead of the window.
    bool mode;
    // Nothing for the help's rows that are no options (the folder, "--").
    Apply apply;
    QStringView help;   // Chinese
    QStringView helpEn; // English
};

// Why a value is refused; the parser's line names the option and the value with it.
std::optional<QString> refuse(const QString &text)
{
    return text;
}

// A switch that sets one page option.
template <bool PageOptions::*Option, bool Value>
std::optional<QString> setOption(WriterRequest &r, const QByteArray &)
{
    r.page.options.*Option = Value;
    return {};
}

// The value that v spells among choices; nullopt for none.
template <typename T, size_t N>
std::optional<T> pick(QByteArrayView v, const std::pair<QByteArrayView, T> (&choices)[N])
{
    for (const auto &[spelled, value] : choices) {
        if (v == spelled)
            return value;
    }
    return std::nullopt;
}

// Every page format --style names, the classic page first: a new format is a new row.
constexpr const PageFormat &(*kFormats[])() = {ClassicFormat, TableFormat};

// The formats' names, joined by separator.
QString styleNames(QStringView separator)
{
    QStringList names;
    for (const auto format : kFormats)
        names.append(QString::fromLatin1(format().name));
    return names.join(separator);
}

// True for masks of nothing but separators, which would match nothing at all.
bool noMasks(const QString &masks)
{
    return QString(masks).remove(u';').trimmed().isEmpty();
}

// A switch that sets one choice of what the page lists.
template <bool FolderPageRequest::*Choice>
std::optional<QString> setChoice(WriterRequest &r, const QByteArray &)
{
    r.page.*Choice = true;
    return {};
}

// A switch that chooses what runs.
template <WriterRequest::Action Action>
std::optional<QString> setAction(WriterRequest &r, const QByteArray &)
{
    r.action = Action;
    return {};
}

// True for an address links may start with: http, https, ftp or file, or a path, so that no
// name can turn a link into script; without a query or fragment, which file names would be
// appended to, and without anything that could end the attribute or that a browser drops.
bool BaseAddressAllowed(const QString &url)
{
    const bool refused = url.isEmpty() || url.front().isSpace() || url.back().isSpace() ||
                         std::any_of(url.begin(), url.end(), [](QChar c) {
                             return c == u'"' || c == u'\'' || c == u'<' || c == u'>' ||
                                    c == u'?' || c == u'#' || c.unicode() < 0x20 ||
                                    c.unicode() == 0x7f ||
                                    (c.unicode() >= 0x80 && c.unicode() < 0xa0);
                         });
    if (refused)
        return false;
    // A scheme is letters, digits, '+', '-' and '.' before the first ':', starting with a
    // letter; a path has none.
    const qsizetype colon = url.indexOf(u':');
    const QStringView scheme = QStringView(url).first(qMax<qsizetype>(colon, 0));
    const bool hasScheme = colon > 0 && scheme.front().isLetter() &&
                           scheme.front().unicode() < 0x80 &&
                           std::all_of(scheme.begin(), scheme.end(), [](QChar c) {
                               return c.unicode() < 0x80 &&
                                      (c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.');
                           });
    if (!hasScheme)
        return true;
    for (const QStringView allowed : {u"http", u"https", u"ftp", u"file"}) {
        if (scheme.compare(allowed, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Every option, in the order the help lists them, with the two rows of the help that are no
// options: adding an option is adding a row.
const OptionRow kOptions[] = {
    {"--write", "FILE", true,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.action = WriterRequest::Action::Write;
         r.output = v;
         return {};
     },
     u"写入 FILE；\"-\" 表示标准输出（写出的是网页编码的字节）",
     u"write to FILE, \"-\" for standard output (the page's bytes, GBK unless --encoding says "
     u"otherwise)"},
    {"--tree", "", true, setAction<WriterRequest::Action::Tree>,
     u"在 FOLDER 下每个文件夹里写一页（链接为相对路径，列出子文件夹与上一级）",
     u"write a page into every folder of the tree under FOLDER, with relative links, its "
     u"sub-folders and its parent"},
    {"--name", "NAME", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         // A page name, never a path: every page goes into its own folder.
         if (v.isEmpty() || v.contains('/') || v == "." || v == "..")
             return refuse(u"需要一个文件名（不含 /）/ takes a file name without /"_s);
         r.page.pageName = v;
         return {};
     },
     u"--tree 的网页文件名，默认为各文件夹名加 .htm",
     u"page name for --tree, default: each folder's own name plus .htm (index.htm for servers)"},
    {"--one-file-system", "", false, setChoice<&FolderPageRequest::oneFileSystem>,
     u"--tree 不进入其他文件系统（也可用 -x）",
     u"with --tree, stay on FOLDER's file system: folders where another is mounted are not "
     u"entered (also -x)"},
    {"--force", "", false, setChoice<&FolderPageRequest::force>,
     u"--tree 也替换不是它写的网页（只限普通文件）",
     u"with --tree, also replace regular files at a page's name that --tree did not write"},
    {"--encoding", "gbk|utf-8", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         const std::pair<QByteArrayView, PageEncoding> encodings[] = {{"gbk", PageEncoding::Gbk},
                                                                      {"utf-8", PageEncoding::Utf8},
                                                                      {"utf8", PageEncoding::Utf8}};
         const std::optional<PageEncoding> encoding = pick(v.toLower(), encodings);
         if (!encoding)
             return refuse(u"未知的编码（gbk 或 utf-8）/ unknown encoding (gbk or utf-8)"_s);
         r.page.options.encoding = *encoding;
         return {};
     },
     u"网页编码，默认 gbk（table 样式默认 utf-8）",
     u"the page's encoding, default gbk (utf-8 for --style table)"},
    {"--style", "STYLE", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         for (const auto format : kFormats) {
             if (format().name == v) {
                 r.page.options.format = &format();
                 return {};
             }
         }
         return refuse(u"未知的样式（%1）/ unknown style (%1)"_s.arg(styleNames(u", ")));
     },
     u"网页样式：classic 传统网页（默认），table 可按列排序、可筛选、适合手机的表格（默认 utf-8）",
     u"the page's style: classic (default), or table: one file that sorts by a clicked column, "
     u"filters as you type and fits a phone (utf-8 unless --encoding says otherwise)"},
    {"--folders", "", false,
     [](WriterRequest &r, const QByteArray &) -> std::optional<QString> {
         r.page.folderLinks = FolderLinks::Folders;
         return {};
     },
     u"在文件之前列出子文件夹", u"link the sub-folders before the files"},
    {"FOLDER", "", false, nullptr, u"要列出的文件夹，默认为当前文件夹",
     u"folder to list, default: the current one"},
    {"--relative", "", false, setOption<&PageOptions::absolutePath, false>, u"链接不含文件夹路径",
     u"link targets without the folder path"},
    {"--blank-lines", "", false, setOption<&PageOptions::blankLine, true>, u"链接之间插入空行",
     u"one paragraph per link"},
    {"--bullets", "", false, setOption<&PageOptions::bullet, true>,
     u"链接前加项目符号（强制左对齐）", u"a bullet before each link (forces left)"},
    {"--align", "left|center|right", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         const std::pair<QByteArrayView, Align> aligns[] = {
             {"left", Align::Left}, {"center", Align::Center}, {"right", Align::Right}};
         const std::optional<Align> align = pick(v, aligns);
         if (!align)
             return refuse(
                 u"未知的对齐方式（left、center 或 right）/ unknown alignment (left, center or right)"_s);
         r.page.options.align = *align;
         return {};
     },
     u"链接项目的位置，默认 left", u"alignment of the links, default left"},
    {"--no-size", "", false, setOption<&PageOptions::showSize, false>, u"不注明文件大小",
     u"leave out the file size"},
    {"--no-date", "", false, setOption<&PageOptions::showDate, false>, u"不注明文件建立日期",
     u"leave out the creation date"},
    {"--types", "MASKS", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.pattern = QString::fromLocal8Bit(v);
         if (noMasks(r.page.pattern))
             return refuse(u"至少需要一个文件类型，如 \"*.txt\" / needs at least one pattern"_s);
         // "site" lists only files called "site", which is seldom what was meant.
         for (const QString &mask : r.page.pattern.split(u';', Qt::SkipEmptyParts)) {
             if (!mask.contains(u'*') && !mask.contains(u'?') && !mask.contains(u'.'))
                 r.warnings.append(ProgramMessage(
                     u"--types %1 只选名字正好是它的文件（要选类型请写 \"*.%1\"）/ matches whole "
                     u"names only (\"*.%1\" selects a type)"_s.arg(mask.trimmed())));
         }
         return {};
     },
     u"文件类型，如 \"*.txt;*.doc\"，默认 \"*.*\"", u"file pattern, default \"*.*\""},
    {"--exclude", "MASKS", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.exclude = QString::fromLocal8Bit(v);
         if (noMasks(r.page.exclude))
             return refuse(u"至少需要一个名字或通配符，如 \"*.part;Thumbs.db\" / needs at least "
                           u"one name or pattern"_s);
         return {};
     },
     u"不列出（--tree 也不进入）名字符合的文件与文件夹，写法同 --types，不分大小写",
     u"leave out files and folders whose names match (--tree does not enter them), masks as "
     u"for --types, case ignored"},
    {"--hidden", "", false, setChoice<&FolderPageRequest::hidden>,
     u"也列出以点开头的文件，--tree 也进入以点开头的文件夹",
     u"list dot-files too, and with --tree enter dot-folders"},
    {"--depth", "N", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         bool ok = false;
         const int depth = v.toInt(&ok);
         if (!ok || depth < 0)
             return refuse(u"需要 0 或正整数 / takes a whole number, 0 or more"_s);
         r.page.depth = depth;
         return {};
     },
     u"--tree 只写顶层及其下 N 层（0：只写顶层）",
     u"with --tree, pages in FOLDER and N levels below it only (0: FOLDER alone)"},
    {"--sort", "name|modified|created|size", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         const std::pair<QByteArrayView, SortKey> keys[] = {{"name", SortKey::Name},
                                                            {"modified", SortKey::Modified},
                                                            {"created", SortKey::Created},
                                                            {"size", SortKey::Size}};
         const std::optional<SortKey> key = pick(v, keys);
         if (!key)
             return refuse(u"未知的排序（name、modified、created 或 size）/ unknown sort order "
                           u"(name, modified, created or size)"_s);
         r.page.order.key = *key;
         return {};
     },
     u"排列顺序，默认 name；modified 与 created 新的在前，size "
     u"大的在前，同者按名称，日期不明的在后",
     u"the order, default name; modified and created put the newest first, size the largest, "
     u"ties by name, unknown dates last"},
    {"--reverse", "", false,
     [](WriterRequest &r, const QByteArray &) -> std::optional<QString> {
         r.page.order.reverse = true;
         return {};
     },
     u"顺序反过来", u"the other way round"},
    {"--date", "created|modified", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         const std::pair<QByteArrayView, FileDate> dates[] = {{"created", FileDate::Created},
                                                              {"modified", FileDate::Modified}};
         const std::optional<FileDate> date = pick(v, dates);
         if (!date)
             return refuse(
                 u"未知的日期（created 或 modified）/ unknown date (created or modified)"_s);
         r.page.options.date = *date;
         return {};
     },
     u"注明的日期：created 建立日期（默认；NFS、多数网络共享和旧的 ext 文件系统没有，显示"
     u"“未知(UnKnow)”），modified 修改日期（复制与同步都保留）",
     u"the date shown: created (default; NFS, most network shares and older ext file systems "
     u"keep none, shown as \"未知(UnKnow)\"), or modified, which copies and mirrors keep"},
    {"--base", "URL", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         const QString url = QString::fromLocal8Bit(v);
         if (!BaseAddressAllowed(url))
             return refuse(
                 u"只接受 http、https、ftp、file 地址或路径，不含引号、<、>、?、# 和控制字符 / "
                 u"takes an http, https, ftp or file address, or a path, without "
                 u"quotes, <, >, ?, # or control characters"_s);
         r.page.options.baseUrl = url;
         return {};
     },
     u"链接目标以 URL 开头，代替文件夹路径（--tree：URL 加各页文件夹在顶层下的路径）",
     u"link targets start with URL instead of the folder's path (--tree: URL plus each page "
     u"folder's path below FOLDER)"},
    {"--browser-title", "TEXT", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.browserTitle = QString::fromLocal8Bit(v);
         return {};
     },
     u"IE标题，默认取自文件夹名", u"browser title, default from the folder name"},
    {"--header-title", "TEXT", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.headerTitle = QString::fromLocal8Bit(v);
         return {};
     },
     u"网页页眉标题，默认取自文件夹名", u"page heading, default from the folder name"},
    {"--footer-title", "TEXT", false,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.options.footerTitle = QString::fromLocal8Bit(v);
         return {};
     },
     u"网页页脚标题，默认 \"%1\"", u"page footer"},
    {"--help", "", true, setAction<WriterRequest::Action::Help>, u"显示本说明（也可用 -h）",
     u"show this help (also -h)"},
    {"--version", "", true, setAction<WriterRequest::Action::Version>, u"显示版本",
     u"show the version"},
    {"--", "", false, nullptr, u"其后的参数都是文件夹名", u"what follows is a folder, even \"-x\""},
};

// The short spellings of options, as other tools spell them.
constexpr std::pair<QByteArrayView, QByteArrayView> kAliases[] = {
    {"-h", "--help"},
    {"-x", "--one-file-system"},
};

// The option an argument names ("-h" is --help); nullptr for none.
const OptionRow *findOption(QByteArrayView name)
{
    for (const auto &[alias, option] : kAliases) {
        if (name == alias)
            name = option;
    }
    for (const OptionRow &option : kOptions) {
        if (option.apply && option.name == name)
            return &option;
    }
    return nullptr;
}

// An argument's option name, without a value given as "--name=value".
QByteArrayView optionName(QByteArrayView arg)
{
    const qsizetype eq = arg.indexOf('=');
    return arg.startsWith("--") && eq > 0 ? arg.first(eq) : arg;
}

// The arguments read once: options with their values, in order, and the folders given.
struct Scanned
{
    QList<std::pair<const OptionRow *, QByteArray>> options;
    QList<QByteArray> folders;
};

std::variant<Scanned, QString> scan(const QList<QByteArray> &args)
{
    Scanned scanned;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QByteArray &arg = args[i];
        if (arg == "--") {
            // Everything after it is a folder, even a name that starts with '-'.
            scanned.folders.append(args.mid(i + 1));
            break;
        }
        if (!arg.startsWith('-') || arg == "-") {
            scanned.folders.append(arg);
            continue;
        }
        const QByteArrayView name = optionName(arg);
        std::optional<QByteArray> value;
        if (name.size() < arg.size())
            value = arg.mid(name.size() + 1);
        const OptionRow *option = findOption(name);
        if (!option)
            return ProgramMessage(
                u"未知选项 %1（用 --help 查看用法）/ unknown option, see --help"_s.arg(
                    Quoted(name.toByteArray())));
        const QString spelled = QString::fromLatin1(option->name);
        const bool takesValue = !option->value.isEmpty();
        if (!takesValue && value)
            return ProgramMessage(u"选项 %1 不带取值 / option %1 takes no value"_s.arg(spelled));
        if (takesValue && !value) {
            if (i + 1 >= args.size())
                return ProgramMessage(u"选项 %1 缺少取值 / option %1 needs a value"_s.arg(spelled));
            value = args[++i];
        }
        scanned.options.append({option, value.value_or(QByteArray())});
    }
    return scanned;
}

// The one folder given, or an empty text for the current folder.
std::variant<QByteArray, QString> oneFolder(const QList<QByteArray> &folders)
{
    if (folders.size() > 1)
        return ProgramMessage(u"只能给出一个文件夹 / give one folder at most"_s);
    if (folders.isEmpty())
        return QByteArray();
    if (folders[0].isEmpty())
        return ProgramMessage(u"文件夹名为空 / the folder name is empty"_s);
    return folders[0];
}

// The rules between options, once each has taken its value.
std::optional<QString> checkTogether(WriterRequest &request, const Scanned &s)
{
    const auto given = [&s](QByteArrayView name) {
        return std::any_of(s.options.begin(), s.options.end(),
                           [name](const auto &option) { return option.first->name == name; });
    };
    const bool tree = given("--tree");
    // Each format has its own encoding unless one is asked for: a table page is for
    // today's browsers, which all read UTF-8.
    if (!given("--encoding"))
        request.page.options.encoding = request.page.options.format->encoding;
    if (given("--write") && tree)
        return ProgramMessage(u"--write 与 --tree 只能用一个 / give --write or --tree, not both"_s);
    for (const QByteArrayView option : {"--name", "--force", "--depth", "--one-file-system"}) {
        if (given(option) && !tree)
            return ProgramMessage(
                u"%1 需要 --tree / %1 needs --tree"_s.arg(QString::fromLatin1(option)));
    }
    if (tree) {
        // Every page lies in the folder it lists, so its links are relative.
        request.page.options.absolutePath = false;
        request.page.folderLinks = FolderLinks::Pages;
    } else if (!given("--write")) {
        return ProgramMessage(u"需要 --write FILE 或 --tree（用 --help 查看用法）/ --write FILE "
                              u"or --tree is required"_s);
    } else if (request.output.isEmpty()) {
        return ProgramMessage(u"输出文件名为空 / the output file name is empty"_s);
    }
    return {};
}

} // namespace

bool WantsWriter(const QList<QByteArray> &args)
{
    for (const QByteArray &arg : args) {
        if (arg == "--")
            return false;
        const OptionRow *option = arg.startsWith('-') ? findOption(optionName(arg)) : nullptr;
        if (option && option->mode)
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
                QString::fromLatin1(s.options[0].first->name)));
    return oneFolder(s.folders);
}

std::variant<WriterRequest, QString> ParseWriterArguments(const QList<QByteArray> &args)
{
    const auto scanned = scan(args);
    if (const QString *problem = std::get_if<QString>(&scanned))
        return *problem;
    const Scanned &s = std::get<Scanned>(scanned);
    WriterRequest request;
    for (const auto &[option, value] : s.options) {
        // A refused value's line names its option and the value as given.
        if (std::optional<QString> problem = option->apply(request, value))
            return ProgramMessage(
                u"%1 %2：%3"_s.arg(QString::fromLatin1(option->name), Quoted(value), *problem));
        // The help and the version are all that is done, whatever else is given.
        if (request.action == WriterRequest::Action::Help ||
            request.action == WriterRequest::Action::Version)
            return request;
    }
    const auto folder = oneFolder(s.folders);
    if (const QString *problem = std::get_if<QString>(&folder))
        return *problem;
    request.folder = std::get<QByteArray>(folder);
    if (std::optional<QString> problem = checkTogether(request, s))
        return *problem;
    return request;
}

QList<OptionHelp> OptionHelps()
{
    QList<OptionHelp> rows;
    for (const OptionRow &option : kOptions) {
        // Only the footer's help names a default that is not plain text: the footer itself.
        QString help = option.help.toString();
        if (help.contains(u"%1"))
            help = help.arg(PageOptions().footerTitle);
        // The styles' names come from the formats themselves.
        const QString value =
            option.value == "STYLE" ? styleNames(u"|") : QString::fromLatin1(option.value);
        QString alias;
        for (const auto &[shortName, longName] : kAliases) {
            if (longName == option.name)
                alias = QString::fromLatin1(shortName);
        }
        rows.append({QString::fromLatin1(option.name), value, help, option.helpEn.toString(),
                     option.apply != nullptr, alias});
    }
    return rows;
}

QString WriterHelp()
{
    QString help = uR"(用法 / usage: dirweaver [FOLDER]
       dirweaver --write FILE [options] [FOLDER]
       dirweaver --tree [--name NAME] [options] [FOLDER]

不带 --write 或 --tree 时打开窗口，显示 FOLDER（默认为当前文件夹）。
Without --write or --tree the window opens on FOLDER (default: the current folder).

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
        help += spelled.leftJustified(kColumn - 1) + u' ' + option.help + u'\n';
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
