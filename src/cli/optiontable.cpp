#include "optiontable.h"

#include "messages.h"

#include "page/escape.h"
#include "page/format.h"

#include <QRegularExpression>

#include <algorithm>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

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
constexpr const PageFormat &(*kFormats[])() = {ClassicFormat, TableFormat, JsonFormat, NdjsonFormat,
                                               CsvFormat};

// True for masks of nothing but separators, which would match nothing at all.
bool noMasks(const QString &masks)
{
    return QString(masks).remove(u';').trimmed().isEmpty();
}

// Masks that are seldom what was meant, said and kept: a bare word ("site" lists only files
// called "site"), and masks run together with commas ("*.txt,*.doc" is one mask).
void warnMasks(QStringList &warnings, QStringView option, const QString &masks, bool bare)
{
    static const QRegularExpression commas(u",\\s*[*?]"_s);
    for (const QString &mask : masks.split(u';', Qt::SkipEmptyParts)) {
        if (bare && !mask.contains(u'*') && !mask.contains(u'?') && !mask.contains(u'.'))
            warnings.append(ProgramMessage(
                u"%1 %2 只选名字正好是它的文件（要选类型请写 \"*.%2\"）/ matches whole names "
                u"only (\"*.%2\" selects a type)"_s.arg(option, mask.trimmed())));
        if (mask.contains(commas))
            warnings.append(
                ProgramMessage(u"%1 %2：多个写法用分号分开，如 \"*.txt;*.doc\" / "
                               u"masks are separated by ';', as in \"*.txt;*.doc\""_s.arg(
                                   option, mask.trimmed())));
    }
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

// Every option, in the order the help lists them, with the two rows of the help that are no
// options: adding an option is adding a row.
constexpr OptionRow kOptions[] = {
    {"--write", "FILE", Reach::Mode,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.action = WriterRequest::Action::Write;
         r.output = v;
         return {};
     },
     u"写入 FILE；\"-\" 表示标准输出（写出的是网页编码的字节）",
     u"write to FILE, \"-\" for standard output (the page's bytes, GBK unless --encoding says "
     u"otherwise)"},
    {"--tree", "", Reach::Mode, setAction<WriterRequest::Action::Tree>,
     u"在 FOLDER 下每个文件夹里写一页（链接为相对路径，列出子文件夹与上一级）",
     u"write a page into every folder of the tree under FOLDER, with relative links, its "
     u"sub-folders and its parent"},
    {"--catalog", "FILE", Reach::Mode,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.action = WriterRequest::Action::Catalog;
         r.output = v;
         return {};
     },
     u"把 FOLDER（可给多个）下的整棵树写成一个可搜索的网页 FILE（\"-\" 表示标准输出），"
     u"不在树里写任何文件",
     u"write one searchable page FILE (\"-\" for standard output) of the whole tree under "
     u"FOLDER, or of several FOLDERs side by side, writing nothing inside them"},
    {"--name", "NAME", Reach::Writer,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         // A page name, never a path: every page goes into its own folder.
         if (v.isEmpty() || v.contains('/') || v == "." || v == "..")
             return refuse(u"需要一个文件名（不含 /）/ takes a file name without /"_s);
         r.page.pageName = v;
         return {};
     },
     u"--tree 的网页文件名，默认为各文件夹名加 .htm",
     u"page name for --tree, default: each folder's own name plus .htm (index.htm for servers)"},
    {"--one-file-system", "", Reach::Writer, setChoice<&FolderPageRequest::oneFileSystem>,
     u"--tree 不进入其他文件系统（也可用 -x）",
     u"with --tree, stay on FOLDER's file system: folders where another is mounted are not "
     u"entered (also -x)"},
    {"--force", "", Reach::Writer, setChoice<&FolderPageRequest::force>,
     u"--tree 也替换不是它写的网页（只限普通文件）",
     u"with --tree, also replace regular files at a page's name that --tree did not write"},
    {"--encoding", "gbk|utf-8", Reach::Writer,
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
    {"--style", "STYLE", Reach::Writer,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.styles.clear();
         for (const QByteArray &name : v.split(',')) {
             const auto known =
                 std::find_if(std::begin(kFormats), std::end(kFormats),
                              [&name](auto format) { return format().name == name; });
             if (known == std::end(kFormats))
                 return refuse(u"未知的样式（%1）/ unknown style (%1)"_s.arg(StyleNames(u", ")));
             if (!r.styles.contains(&(*known)()))
                 r.styles.append(&(*known)());
         }
         r.page.options.format = r.styles.first();
         return {};
     },
     u"网页样式：classic 传统网页（默认），table 可按列排序、可筛选、适合手机的表格（默认 utf-8）；"
     u"json、ndjson（一行一个对象）、csv 是给程序读的列表（总是 UTF-8，格式 schema 1 见 README）；"
     u"--tree 可给多个，如 table,json，每种各写一页",
     u"the page's style: classic (default), or table: one file that sorts by a clicked column, "
     u"filters as you type and fits a phone (utf-8 unless --encoding says otherwise); or a "
     u"listing for programs: json, ndjson (one object a line) or csv, always UTF-8, schema 1 "
     u"as the README describes; --tree names them index.json, index.ndjson, index.csv; "
     u"several, as table,json, write a page of each beside the others (--tree)"},
    {"--folders", "", Reach::Writer,
     [](WriterRequest &r, const QByteArray &) -> std::optional<QString> {
         r.page.folderLinks = FolderLinks::Folders;
         return {};
     },
     u"在文件之前列出子文件夹", u"link the sub-folders before the files"},
    {"FOLDER", "", Reach::Writer, nullptr,
     u"要列出的文件夹，默认为当前文件夹；s3://桶/前缀 读对象存储（配置同 AWS 工具），--tree "
     u"在每个前缀里放 index.html",
     u"folder to list, default: the current one; s3://BUCKET/PREFIX reads an object store "
     u"(configured as AWS tools are), where --tree puts index.html into every prefix"},
    {"--relative", "", Reach::Writer, setOption<&PageOptions::absolutePath, false>,
     u"链接不含文件夹路径", u"link targets without the folder path"},
    {"--blank-lines", "", Reach::Writer, setOption<&PageOptions::blankLine, true>,
     u"链接之间插入空行", u"one paragraph per link"},
    {"--bullets", "", Reach::Writer, setOption<&PageOptions::bullet, true>,
     u"链接前加项目符号（强制左对齐）", u"a bullet before each link (forces left)"},
    {"--align", "left|center|right", Reach::Writer,
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
    {"--no-size", "", Reach::Writer, setOption<&PageOptions::showSize, false>, u"不注明文件大小",
     u"leave out the file size"},
    {"--no-date", "", Reach::Writer, setOption<&PageOptions::showDate, false>,
     u"不注明文件建立日期", u"leave out the creation date"},
    {"--types", "MASKS", Reach::Writer,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.pattern = QString::fromLocal8Bit(v);
         if (noMasks(r.page.pattern))
             return refuse(u"至少需要一个文件类型，如 \"*.txt\" / needs at least one pattern"_s);
         warnMasks(r.warnings, u"--types", r.page.pattern, true);
         return {};
     },
     u"文件类型，如 \"*.txt;*.doc\"，默认 \"*.*\"", u"file pattern, default \"*.*\""},
    {"--exclude", "MASKS", Reach::Window,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.exclude = QString::fromLocal8Bit(v);
         if (noMasks(r.page.exclude))
             return refuse(u"至少需要一个名字或通配符，如 \"*.part;Thumbs.db\" / needs at least "
                           u"one name or pattern"_s);
         warnMasks(r.warnings, u"--exclude", r.page.exclude, false);
         return {};
     },
     u"不列出（--tree 也不进入）名字符合的文件与文件夹，写法同 --types，不分大小写",
     u"leave out files and folders whose names match (--tree does not enter them), masks as "
     u"for --types, case ignored"},
    {"--hidden", "", Reach::Window, setChoice<&FolderPageRequest::hidden>,
     u"也列出以点开头的文件，--tree 也进入以点开头的文件夹",
     u"list dot-files too, and with --tree enter dot-folders"},
    {"--depth", "N", Reach::Writer,
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
    {"--sort", "name|modified|created|size", Reach::Window,
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
    {"--reverse", "", Reach::Window,
     [](WriterRequest &r, const QByteArray &) -> std::optional<QString> {
         r.page.order.reverse = true;
         return {};
     },
     u"顺序反过来", u"the other way round"},
    {"--checksum", "sha256", Reach::Window,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         if (v.toLower() != "sha256")
             return refuse(u"只有 sha256 / takes sha256"_s);
         r.page.options.checksum = true;
         return {};
     },
     u"在每个文件后注明它的 SHA-256（表格网页一列，数据格式一个字段），--tree 在每个文件夹写 "
     u"SHA256SUMS；算过的和留给下次（文件的扩展属性，或用户的缓存文件）",
     u"each file's SHA-256 after it (a column of the table page, a field of the data), and "
     u"with --tree a SHA256SUMS file in every folder, which sha256sum -c reads; sums are kept "
     u"for the next run (in the file's extended attributes, or the user's cache file)"},
    {"--date", "created|modified", Reach::Window,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         const std::pair<QByteArrayView, FileDate> dates[] = {{"created", FileDate::Created},
                                                              {"modified", FileDate::Modified}};
         const std::optional<FileDate> date = pick(v, dates);
         if (!date)
             return refuse(
                 u"未知的日期（created 或 modified）/ unknown date (created or modified)"_s);
         r.page.options.date = *date;
         r.dateGiven = true;
         return {};
     },
     u"注明的日期：created 建立日期（默认；NFS、多数网络共享和旧的 ext 文件系统没有，显示"
     u"“未知(UnKnow)”），modified 修改日期（复制与同步都保留）",
     u"the date shown: created (default; NFS, most network shares and older ext file systems "
     u"keep none, shown as \"未知(UnKnow)\"), or modified, which copies and mirrors keep"},
    {"--base", "URL", Reach::Writer,
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
    {"--browser-title", "TEXT", Reach::Writer,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.browserTitle = QString::fromLocal8Bit(v);
         return {};
     },
     u"IE标题，默认取自文件夹名", u"browser title, default from the folder name"},
    {"--header-title", "TEXT", Reach::Writer,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.headerTitle = QString::fromLocal8Bit(v);
         return {};
     },
     u"网页页眉标题，默认取自文件夹名", u"page heading, default from the folder name"},
    {"--footer-title", "TEXT", Reach::Writer,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.page.options.footerTitle = QString::fromLocal8Bit(v);
         r.footerGiven = true;
         return {};
     },
     u"网页页脚标题，默认 \"%1\"", u"page footer"},
    {"--lang", "zh-CN|en", Reach::Writer,
     [](WriterRequest &r, const QByteArray &v) -> std::optional<QString> {
         r.language = ParseLanguage(v);
         if (!r.language)
             return refuse(u"未知的语言（zh-CN 或 en）/ unknown language (zh-CN or en)"_s);
         return {};
     },
     u"网页自己的文字（字节、未知、表头、上一级、筛选、合计、页脚）、日期格式和名字顺序所用的语言，"
     u"默认随程序的语言环境",
     u"the language of the page's own words (bytes, unknown, headers, parent, filter, totals, "
     u"footer), dates and name order; default from the program's locale"},
    {"--help", "", Reach::Mode, setAction<WriterRequest::Action::Help>, u"显示本说明（也可用 -h）",
     u"show this help (also -h)"},
    {"--version", "", Reach::Mode, setAction<WriterRequest::Action::Version>, u"显示版本",
     u"show the version"},
    {"--", "", Reach::Writer, nullptr, u"其后的参数都是文件夹名",
     u"what follows is a folder, even \"-x\""},
};

// The short spellings of options, as other tools spell them.
constexpr std::pair<QByteArrayView, QByteArrayView> kAliases[] = {
    {"-h", "--help"},
    {"-x", "--one-file-system"},
};

} // namespace

std::span<const OptionRow> OptionTable()
{
    return kOptions;
}

std::span<const std::pair<QByteArrayView, QByteArrayView>> OptionAliases()
{
    return kAliases;
}

QString StyleNames(QStringView separator)
{
    QStringList names;
    for (const auto format : kFormats)
        names.append(QString::fromLatin1(format().name));
    return names.join(separator);
}

} // namespace dirweaver
