// Writes the manual pages and the bash completion from the command line's own option table,
// so that neither can drift from --help.
//   dirweaver_docgen man en|zh_CN DATE OUT
//   dirweaver_docgen completion OUT
#include "cli/commandline.h"
#include "selection/filter.h"
#include "version.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

// text as roff reads it: backslashes and hyphens written out, no line that starts a request,
// and a break point after each Chinese character, since groff breaks lines only at spaces.
QString roff(const QString &text)
{
    // Chinese punctuation that must not begin a line.
    constexpr QStringView kClosing = u"，。；：、）」』！？”";
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\')
            out += u"\\e"_s;
        else if (c == u'-')
            out += u"\\-"_s;
        else
            out += c;
        if (c.unicode() >= 0x2e80 && !(i + 1 < text.size() && kClosing.contains(text[i + 1])))
            out += u"\\:"_s;
    }
    out.replace(u"\n."_s, u"\n\\&."_s).replace(u"\n'"_s, u"\n\\&'"_s);
    if (out.startsWith(u'.') || out.startsWith(u'\''))
        out.prepend(u"\\&"_s);
    return out;
}

// The words of the manual that are not options, in each of its languages.
struct Words
{
    QString name, synopsis, description, options, exitStatus, files, examples, seeAlso;
    QString summary, about, treeAbout;
    QStringList statuses; // 0, 1, 2
    QString previewFile, pagesFile, examplesText;
    // The window: its section's title, and each control by its caption with what it does.
    QString window;
    QList<std::pair<QString, QString>> controls;
    QString groups;         // what introduces the three groups of the type boxes
    QStringList groupNames; // the groups' captions in the window's English, in their order
    // The data formats' schema: the section's title and its paragraphs.
    QString listings;
    QStringList listingsText;
};

Words english()
{
    Words w;
    w.name = u"NAME"_s;
    w.synopsis = u"SYNOPSIS"_s;
    w.description = u"DESCRIPTION"_s;
    w.options = u"OPTIONS"_s;
    w.exitStatus = u"EXIT STATUS"_s;
    w.files = u"FILES"_s;
    w.examples = u"EXAMPLES"_s;
    w.seeAlso = u"SEE ALSO"_s;
    w.summary = u"turn the files of a folder into an HTML page of links"_s;
    w.about =
        u"Without --write or --tree, dirweaver opens its window on FOLDER (default: the current "
        u"folder): pick a folder, tick the kinds of files to list and how the links look, see the "
        u"page's HTML source, save it as a GBK-encoded .htm file or preview it in the browser. "
        u"The window speaks English in an English locale (or with LANGUAGE=en), and the "
        u"design's Chinese in a Chinese, C or POSIX one; its pages speak its language."_s;
    w.treeAbout =
        u"With --write it writes the page of FOLDER's files to FILE without a window, byte for "
        u"byte what saving from the window writes. With --tree it writes a page into every "
        u"folder of the tree under FOLDER, with relative links to its files, its sub-folders' "
        u"pages and its parent's page; it follows no symbolic link and replaces only pages it "
        u"wrote itself, unless --force is given. With --catalog it walks the trees under the "
        u"FOLDERs as --tree does, writing nothing inside them, and writes one page FILE of them "
        u"all: a folder tree to browse, each folder's entries to sort, and a search over every "
        u"name (parts of names, or masks with * and ?) whose results link their folders; links "
        u"lead from where FILE is saved, or start with the --base address."_s;
    w.statuses = {u"Success: the page or every page of the tree was written (or the help or "
                  u"version shown)."_s,
                  u"A page could not be written, --tree skipped a folder or a page, or the window "
                  u"could not open (no display)."_s,
                  u"Bad arguments, or a folder that cannot be read."_s};
    w.previewFile =
        u"The preview file the window writes and opens in the browser ($XDG_RUNTIME_DIR, else the "
        u"cache folder)."_s;
    w.pagesFile = u"The page --tree writes into each folder: the folder's own name plus .htm, "
                  u"or NAME given by --name."_s;
    w.window = u"THE WINDOW"_s;
    w.controls = {
        {u"Source (drive and folder): / 源文件路径(驱动器及目录):"_s,
         u"The drive list (the mounted volumes, kept up to date), the folder list (a double "
         u"click or Enter opens a folder; a folder dropped on the window opens too) and the "
         u"list of the files the page lists."_s},
        {u"File types: / 扩展名要求:"_s,
         u"Which files are listed: each box adds its pattern, \"*.* (all files)\" lists every "
         u"file. Names are matched without regard to case."_s},
        {u"Full paths / 链接采用绝对路径"_s,
         u"Links name each file by its full path; unticked, by its bare name (the page then "
         u"works only beside the files)."_s},
        {u"Blank lines / 链接之间插入空行"_s, u"A blank line between links."_s},
        {u"Bullets / 链接前加项目符号"_s, u"A bullet before each link."_s},
        {u"Link position / 链接项目的位置"_s,
         u"Links to the left, centred or to the right (左, 中, 右)."_s},
        {u"File size / 注明文件大小"_s, u"Each file's size after its link."_s},
        {u"Creation date / 注明文件建立日期"_s, u"Each file's creation date after its link."_s},
        {u"Title:, Heading:, Footer: / IE标题：, 网页页眉标题：, 网页页脚标题："_s,
         u"The page's title in the browser, its heading and the line under the links; the "
         u"first two start as the folder's name. \"Update titles\" (更新标题) builds the page "
         u"again with "
         u"them."_s},
        {u"HTML source: / 超文本语言源代码:"_s,
         u"The page's HTML source (a very long page is shown abridged; the whole is saved)."_s},
        {u"Save page / 生成Dirweaver文本"_s,
         u"Saves the page: as GBK (HTML file), as UTF-8, or as a table page (HTML table)."_s},
        {u"Preview / 超文本预览"_s, u"Opens the page in the browser."_s},
        {u"To list:, Listed:, Done (%): / 需处理：, 已处理：, 进度(%)："_s,
         u"How far the page is built."_s},
        {u"About, Quit / 关于软件, 结束程序"_s, u"About the program; end it at once."_s},
    };
    w.groups = u"The three groups add these patterns:"_s;
    w.groupNames = {u"Media"_s, u"Office"_s, u"Design"_s};
    w.listings = u"LISTINGS FOR PROGRAMS"_s;
    w.listingsText = {
        u"--style json, ndjson and csv write schema 1, always in UTF-8. json: one object, "
        u"{\"schema\":1, \"generator\", \"folder\", \"entries\":[...], \"totals\":{\"folders\", "
        u"\"files\", \"bytes\"}}. ndjson: one object a line, \"record\" telling them apart: "
        u"\"listing\" (schema, generator, folder), an \"entry\" each, \"totals\" last."_s,
        u"An entry: name; name_bytes, only for a name that is not valid UTF-8 (its bytes, each "
        u"outside printable ASCII, and %, as %XX); target (its link, a URL reference relative to "
        u"the listing or under --base); kind (file, folder, parent); size (null for a folder or "
        u"when unknown); modified and created (ISO 8601 UTC, null when unknown) with modified_ns "
        u"and created_ns (nanoseconds since 1970); sha256 with --checksum sha256."_s,
        u"csv (RFC 4180): the header name,name_bytes,target,kind,size,modified,modified_ns,"
        u"created,created_ns (and sha256), a row an entry, empty for null. A name or target a "
        u"spreadsheet would run as a formula is quoted after an apostrophe, its exact bytes in "
        u"name_bytes; a target is then led by ./."_s,
        u"With --checksum sha256 and --tree, every folder with files gets SHA256SUMS, which "
        u"sha256sum -c reads; sums are kept in the file's user.dirweaver.sha256 attribute, or in "
        u"~/.cache/dirweaver/sha256."_s,
    };
    return w;
}

Words chinese()
{
    Words w;
    w.name = u"名称"_s;
    w.synopsis = u"用法"_s;
    w.description = u"说明"_s;
    w.options = u"选项"_s;
    w.exitStatus = u"退出状态"_s;
    w.files = u"文件"_s;
    w.examples = u"示例"_s;
    w.seeAlso = u"参见"_s;
    w.summary = u"把一个文件夹中的文件做成超文本链接网页"_s;
    w.about =
        u"不带 --write 或 --tree 时，dirweaver 打开窗口，显示 FOLDER（默认为当前文件夹）："
        u"选择文件夹，勾选要列出的文件类型和链接的样式，查看网页源代码，将它保存为 GBK 编码的 "
        u".htm 文件，或在浏览器中预览。在英文语言环境中（或设 LANGUAGE=en）窗口显示英文，在中文、C "
        u"或 POSIX 环境中显示原有的中文；窗口生成的网页用窗口的语言。"_s;
    w.treeAbout =
        u"带 --write 时不打开窗口，把 FOLDER 中文件的网页写入 FILE，与在窗口中保存的字节完全相同。"
        u"带 --tree 时在 FOLDER "
        u"下每个文件夹里写一页，链接为相对路径，列出它的文件、子文件夹的网页和"
        u"上一级的网页；不跟随符号链接，只替换自己写过的网页（除非给出 --force）。"
        u"带 --catalog 时像 --tree 那样走遍各个 FOLDER 下的树，但不在树里写任何文件，"
        u"而是把它们全部写进一个网页 FILE：可展开的文件夹树、可排序的各文件夹内容，"
        u"以及在所有名字中搜索（名字的一部分，或用 * 与 ? 的写法），结果链到所在的文件夹；"
        u"链接从 FILE 所在之处出发，或以 --base 的地址开头。"_s;
    w.statuses = {u"成功：网页（或整棵树的每一页）已写出，或已显示说明或版本。"_s,
                  u"有网页未能写出，--tree 跳过了文件夹或网页，或窗口无法打开（没有显示器）。"_s,
                  u"参数有误，或文件夹无法读取。"_s};
    w.previewFile =
        u"窗口写出并在浏览器中打开的预览文件（在 $XDG_RUNTIME_DIR 中，没有时在缓存文件夹中）。"_s;
    w.pagesFile = u"--tree 在每个文件夹中写的网页：文件夹名加 .htm，或 --name 给出的 NAME。"_s;
    w.window = u"窗口"_s;
    w.controls = {
        {u"源文件路径(驱动器及目录):"_s,
         u"驱动器列表（已挂载的卷，随挂载更新）、文件夹列表（双击或按回车打开文件夹；"
         u"拖到窗口上的文件夹也会打开）和网页所列文件的列表。"_s},
        {u"扩展名要求:"_s, u"列出哪些文件：每个勾选框加上它的写法，“*.* (所有文件)”列出全部文件。"
                           u"比较名字时不分大小写。"_s},
        {u"链接采用绝对路径"_s,
         u"链接用文件的完整路径；不勾选时只用文件名（网页只有放在这些文件旁边才能用）。"_s},
        {u"链接之间插入空行"_s, u"链接之间空一行。"_s},
        {u"链接前加项目符号"_s, u"每个链接前加项目符号。"_s},
        {u"链接项目的位置"_s, u"链接靠左（左）、居中（中）或靠右（右）。"_s},
        {u"注明文件大小"_s, u"在链接后注明文件大小。"_s},
        {u"注明文件建立日期"_s, u"在链接后注明文件建立日期。"_s},
        {u"IE标题：, 网页页眉标题：, 网页页脚标题："_s,
         u"网页在浏览器中的标题、页眉和链接下方的一行；前两个开始时是文件夹名。"
         u"“更新标题”用它们重新生成网页。"_s},
        {u"超文本语言源代码:"_s, u"网页的源代码（很长的网页只显示节选，保存的总是全文）。"_s},
        {u"生成Dirweaver文本"_s,
         u"保存网页：GBK 编码（超文本文件）、UTF-8 编码，或表格网页（超文本表格）。"_s},
        {u"超文本预览"_s, u"在浏览器中打开网页。"_s},
        {u"已处理：, 需处理：, 进度(%)："_s, u"网页生成的进度。"_s},
        {u"关于软件, 结束程序"_s, u"关于本程序；立即结束程序。"_s},
    };
    w.groups = u"三组类型各加上这些写法："_s;
    w.listings = u"给程序的列表"_s;
    w.listingsText = {
        u"--style json、ndjson 与 csv 按格式 1（schema 1）写出，总是 UTF-8。json：一个对象，"
        u"{\"schema\":1, \"generator\", \"folder\", \"entries\":[...], \"totals\":{\"folders\", "
        u"\"files\", \"bytes\"}}。ndjson：一行一个对象，用 \"record\" 区分：先是 \"listing\""
        u"（schema、generator、folder），每项一个 \"entry\"，最后是 \"totals\"。"_s,
        u"每项：name；name_bytes 只在名字不是有效 UTF-8 时给出（原样的字节，可打印 ASCII 以外的"
        u"字节和 % 写成 %XX）；target（链接，相对于列表或在 --base 之下的 "
        u"URL）；kind（file、folder、"
        u"parent）；size（文件夹或不明时为 null）；modified 与 created（ISO 8601 UTC，不明时为 "
        u"null）"
        u"及 modified_ns、created_ns（1970 年起的纳秒）；给了 --checksum sha256 时还有 sha256。"_s,
        u"csv（RFC 4180）：表头 name,name_bytes,target,kind,size,modified,modified_ns,created,"
        u"created_ns（及 sha256），每项一行，null 写成空。电子表格会当作公式执行的名字或链接前加"
        u"撇号并加引号，原样的字节在 name_bytes 里，链接前加 ./。"_s,
        u"带 --checksum sha256 和 --tree 时，每个有文件的文件夹都有 SHA256SUMS，可用 sha256sum -c "
        u"核对；算过的和存在文件的 user.dirweaver.sha256 扩展属性里，或 ~/.cache/dirweaver/sha256。"_s,
    };
    return w;
}

QString manPage(bool zh, const QString &date)
{
    const Words w = zh ? chinese() : english();
    QString m = u".TH DIRWEAVER 1 \"%1\" \"Dirweaver %2\" \"%3\"\n"_s.arg(
        date, QStringLiteral(DIRWEAVER_VERSION), zh ? u"用户命令"_s : u"User Commands"_s);
    // Ragged right: lines of Chinese, broken between characters, cannot be spread evenly.
    m += u".ad l\n"_s;
    m += u".SH "_s + w.name + u"\ndirweaver \\- "_s + roff(w.summary) + u'\n';
    m += u".SH "_s + w.synopsis +
         u"\n"_s
         u".B dirweaver\n.RI [ FOLDER ]\n.br\n"_s
         u".B dirweaver \\-\\-write\n.I FILE\n.RI [ options ] \" \" [ FOLDER ]\n.br\n"_s
         u".B dirweaver \\-\\-tree\n.RI [ options ] \" \" [ FOLDER ]\n.br\n"_s
         u".B dirweaver \\-\\-catalog\n.I FILE\n.RI [ options ] \" \" [ FOLDER ...]\n"_s;
    m += u".SH "_s + w.description + u"\n"_s + roff(w.about) + u"\n.PP\n"_s + roff(w.treeAbout) +
         u'\n';
    m += u".SH "_s + w.window + u'\n';
    for (const auto &[caption, text] : w.controls) {
        m += u".TP\n\\fB"_s + roff(caption) + u"\\fR\n"_s + roff(text) + u'\n';
        // The groups, from the boxes themselves: those whose caption is not their pattern.
        if (!caption.endsWith(u"扩展名要求:"_s))
            continue;
        m += u".RS\n.PP\n"_s + roff(w.groups) + u'\n';
        qsizetype group = 0;
        for (const TypeBox &box : TypeBoxes()) {
            if (box.caption == box.masks)
                continue;
            QString name = box.caption.toString();
            if (group < w.groupNames.size())
                name = w.groupNames[group++] + u" / "_s + name;
            m += u".TP\n\\fB"_s + roff(name) + u"\\fR\n"_s +
                 roff(box.masks.toString().replace(u';', u' ')) + u'\n';
        }
        m += u".RE\n"_s;
    }
    m += u".SH "_s + w.options + u'\n';
    for (const OptionHelp &option : OptionHelps()) {
        m += u".TP\n"_s;
        if (option.option) {
            m += u"\\fB"_s + roff(option.name) + u"\\fR"_s;
            if (!option.alias.isEmpty())
                m += u", \\fB"_s + roff(option.alias) + u"\\fR"_s;
            if (!option.value.isEmpty())
                m += u" \\fI"_s + roff(option.value) + u"\\fR"_s;
        } else {
            m += u"\\fI"_s + roff(option.name) + u"\\fR"_s;
        }
        m += u'\n' + roff(zh ? option.help : option.helpEn) + u'\n';
    }
    m += u".SH "_s + w.listings + u'\n';
    for (const QString &paragraph : w.listingsText)
        m += u".PP\n"_s + roff(paragraph) + u'\n';
    m += u".SH "_s + w.exitStatus + u'\n';
    for (int status = 0; status < 3; ++status)
        m += u".TP\n.B %1\n"_s.arg(status) + roff(w.statuses[status]) + u'\n';
    m += u".SH "_s + w.files + u"\n.TP\n.I $XDG_RUNTIME_DIR/Dirweaver~temp.htm\n"_s +
         roff(w.previewFile) + u"\n.TP\n.IR FOLDER /FOLDER.htm\n"_s + roff(w.pagesFile) + u'\n';
    m += u".SH "_s + w.examples + u'\n';
    const QList<std::pair<QString, QString>> examples = {
        {zh ? u"把下载文件夹写成一页，新的在前，显示修改日期，不列未下载完的文件："_s
            : u"A download folder, newest first, with modification dates, without partial "
              u"downloads:"_s,
         u"dirweaver --write index.htm --sort modified --date modified --exclude \"*.part;Thumbs.db\" /srv/dl"_s},
        {zh ? u"同一个文件夹写成可排序、可筛选的表格网页："_s
            : u"The same folder as a table page that sorts and filters:"_s,
         u"dirweaver --write index.htm --style table --folders /srv/dl"_s},
        {zh ? u"给网站用的镜像树，只写三层，链接指向服务器："_s
            : u"A mirror tree for a web server, three levels deep, links pointing at the server:"_s,
         u"dirweaver --tree --name index.htm --depth 3 --base https://mirror.example.org/pub /srv/pub"_s},
        {zh ? u"两块备份盘写成一个可搜索的总览网页："_s
            : u"Two backup disks in one page that searches them:"_s,
         u"dirweaver --catalog disks.htm --date modified /media/backup1 /media/backup2"_s},
        {zh ? u"对象存储桶里每个前缀放一个 index.html（凭证与地址取自 AWS_* 变量或 ~/.aws）："_s
            : u"An index.html in every prefix of a bucket (credential and address from the AWS_* "
              u"variables or ~/.aws):"_s,
         u"AWS_ENDPOINT_URL=https://s3.example.org dirweaver --tree --style table s3://downloads/pub"_s},
    };
    for (const auto &[text, command] : examples)
        m += u".PP\n"_s + roff(text) + u"\n.PP\n.RS\n.nf\n"_s + roff(command) + u"\n.fi\n.RE\n"_s;
    m += u".SH "_s + w.seeAlso + u"\n.BR xdg\\-open (1)\n"_s;
    return m;
}

// The values an option's help spells ("gbk|utf-8"); none for a free value.
QStringList choices(const QString &value)
{
    // A value in lower case is a word of its own ("sha256"); capitals name what is given.
    if (value.contains(u'|') || (!value.isEmpty() && value == value.toLower()))
        return value.split(u'|');
    return QStringList();
}

// The completion script, %1 the values of the options that take some, %2 every option.
constexpr QStringView kCompletion =
    uR"(# bash completion for dirweaver: its options, the values of those that take a word
# from a list, files for --write and folders for the rest. Made from the program's option
# table; do not edit.

# Offers the words of $2 that start with $1, each as one word: the list is never split on
# spaces or expanded as a pattern.
_dirweaver_words()
{
    local word list
    read -ra list <<<"$2"
    COMPREPLY=()
    for word in "${list[@]}"; do
        [[ $word == "$1"* ]] && COMPREPLY+=("$word")
    done
}

# Offers the entries that start with the typed $2, folders only for -d, as whole names
# whatever they hold (spaces, quotes, '*', a leading '-', line breaks): read by a pattern
# whose typed part is literal, never split from a command's output; bash quotes each one
# as it puts it on the line.
_dirweaver_paths()
{
    local kind=$1 cur=$2 entry
    # What was typed, without its quoting: 'a b, "a b and a\ b all mean a b.
    case $cur in
    \'*) cur=${cur#\'} ;;
    \"*) cur=${cur#\"} ;;
    *) cur=${cur//\\/} ;;
    esac
    [[ $cur == '~/'* ]] && cur=$HOME/${cur#'~/'}
    COMPREPLY=()
    compopt -o filenames 2>/dev/null
    local restore
    restore=$(shopt -p nullglob)
    shopt -s nullglob
    for entry in "$cur"*; do
        [ "$kind" = -d ] && [ ! -d "$entry" ] && continue
        COMPREPLY+=("$entry")
    done
    eval "$restore"
}

_dirweaver_value()
{
    local option=$1 cur=$2 words= kind=
    case $option in
%1    *) return 1 ;;
    esac
    case $kind in
    file) _dirweaver_paths -f "$cur" ;;
    none) COMPREPLY=() ;;
    *) _dirweaver_words "$cur" "$words" ;;
    esac
    return 0
}

_dirweaver()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    [ "$COMP_CWORD" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD-1]}
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [ "${COMP_WORDS[i]}" = -- ]; then
            _dirweaver_paths -d "$cur"
            return
        fi
    done
    # "--option=value", which bash splits at the '=' into three words.
    if [ "$cur" = "=" ]; then
        _dirweaver_value "$prev" "" && return
    elif [ "$prev" = "=" ] && [ "$COMP_CWORD" -gt 1 ]; then
        _dirweaver_value "${COMP_WORDS[COMP_CWORD-2]}" "$cur" && return
    elif [ -n "$prev" ]; then
        _dirweaver_value "$prev" "$cur" && return
    fi
    if [[ $cur == -* ]]; then
        _dirweaver_words "$cur" "%2"
        return
    fi
    _dirweaver_paths -d "$cur"
}
complete -F _dirweaver dirweaver
)";

QString completion()
{
    QString options, cases;
    for (const OptionHelp &option : OptionHelps()) {
        if (!option.option)
            continue;
        options += option.name + u' ';
        if (!option.alias.isEmpty())
            options += option.alias + u' ';
        const QStringList values = choices(option.value);
        if (!values.isEmpty())
            cases += u"    %1) words=\"%2\" ;;\n"_s.arg(option.name, values.join(u' '));
        else if (option.value == u"FILE")
            cases += u"    %1) kind=file ;;\n"_s.arg(option.name);
        else if (!option.value.isEmpty())
            cases += u"    %1) kind=none ;;\n"_s.arg(option.name);
    }
    options.chop(1);
    return kCompletion.toString().arg(cases, options);
}

bool write(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.toUtf8()) == text.toUtf8().size() && file.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    bool ok = false;
    if (args.size() == 4 && args[0] == u"man")
        ok = write(args[3], manPage(args[1] == u"zh_CN", args[2]));
    else if (args.size() == 2 && args[0] == u"completion")
        ok = write(args[1], completion());
    if (!ok) {
        std::fputs("usage: dirweaver_docgen man en|zh_CN DATE OUT | completion OUT\n", stderr);
        return 1;
    }
    return 0;
}
