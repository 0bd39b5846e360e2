#include "commandline.h"

#include "messages.h"
#include "optiontable.h"

#include "page/format.h"

#include <algorithm>
#include <optional>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// The option an argument names ("-h" is --help); nullptr for none.
const OptionRow *findOption(QByteArrayView name)
{
    for (const auto &[alias, option] : OptionAliases()) {
        if (name == alias)
            name = option;
    }
    for (const OptionRow &option : OptionTable()) {
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
// A catalogue is a page of its own, of whole trees: what only single pages or a tree's pages
// take is refused rather than dropped.
template <typename Given>
std::optional<QString> checkCatalog(WriterRequest &request, const Given &given)
{
    for (const QByteArrayView option :
         {"--write", "--tree", "--style", "--name", "--force", "--checksum", "--encoding"}) {
        if (given(option))
            return ProgramMessage(u"--catalog 不能与 %1 同用 / --catalog does not take %1"_s.arg(
                QString::fromLatin1(option)));
    }
    if (request.output.isEmpty())
        return ProgramMessage(u"输出文件名为空 / the output file name is empty"_s);
    for (const QByteArray &folder : std::as_const(request.folders)) {
        if (folder.isEmpty())
            return ProgramMessage(u"文件夹名为空 / the folder name is empty"_s);
    }
    request.page.options.absolutePath = false;
    request.page.folderLinks = FolderLinks::Pages;
    return {};
}

std::optional<QString> checkTogether(WriterRequest &request, const Scanned &s)
{
    const auto given = [&s](QByteArrayView name) {
        return std::any_of(s.options.begin(), s.options.end(),
                           [name](const auto &option) { return option.first->name == name; });
    };
    const bool tree = given("--tree");
    request.encodingGiven = given("--encoding");
    if (given("--catalog"))
        return checkCatalog(request, given);
    if (request.styles.size() > 1 && !tree)
        return ProgramMessage(u"多个样式需要 --tree / several styles need --tree"_s);
    for (const PageFormat *style : std::as_const(request.styles)) {
        for (const PageFormat *other : std::as_const(request.styles)) {
            if (style < other && style->suffix == other->suffix)
                return ProgramMessage(
                    u"%1 与 %2 的网页同名（都是 %3）/ %1 and %2 pages would "
                    u"share their names (%3)"_s.arg(QString::fromLatin1(style->name),
                                                    QString::fromLatin1(other->name),
                                                    QString::fromLatin1(style->suffix)));
        }
    }
    // Each format has its own encoding unless one is asked for: a table page is for
    // today's browsers, which all read UTF-8; data is UTF-8 always.
    if (!given("--encoding"))
        request.page.options.encoding = request.page.options.format->encoding;
    else if (request.styles.size() <= 1 && request.page.options.format->data &&
             request.page.options.encoding != PageEncoding::Utf8)
        return ProgramMessage(u"json、ndjson 与 csv 总是 UTF-8 编码 / json, ndjson and csv are "
                              u"always UTF-8"_s);
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

// Applies option with value to request; a refused value's line names its option and the
// value as given.
std::optional<QString> apply(const OptionRow &option, const QByteArray &value,
                             WriterRequest &request)
{
    if (std::optional<QString> problem = option.apply(request, value))
        return ProgramMessage(
            u"%1 %2：%3"_s.arg(QString::fromLatin1(option.name), Quoted(value), *problem));
    return std::nullopt;
}

} // namespace

bool WantsWriter(const QList<QByteArray> &args)
{
    for (const QByteArray &arg : args) {
        if (arg == "--")
            return false;
        const OptionRow *option = arg.startsWith('-') ? findOption(optionName(arg)) : nullptr;
        if (option && option->reach == Reach::Mode)
            return true;
    }
    return false;
}

std::variant<WindowRequest, QString> ParseWindowArguments(const QList<QByteArray> &args)
{
    const auto scanned = scan(args);
    if (const QString *problem = std::get_if<QString>(&scanned))
        return *problem;
    const Scanned &s = std::get<Scanned>(scanned);
    WriterRequest request;
    for (const auto &[option, value] : s.options) {
        if (option->reach != Reach::Window)
            return ProgramMessage(
                u"选项 %1 需要 --write 或 --tree（用 --help 查看用法）/ %1 needs --write"_s.arg(
                    QString::fromLatin1(option->name)));
        if (std::optional<QString> problem = apply(*option, value, request))
            return *problem;
    }
    const auto folder = oneFolder(s.folders);
    if (const QString *problem = std::get_if<QString>(&folder))
        return *problem;
    return WindowRequest{std::get<QByteArray>(folder), request.page};
}

std::variant<WriterRequest, QString> ParseWriterArguments(const QList<QByteArray> &args)
{
    const auto scanned = scan(args);
    if (const QString *problem = std::get_if<QString>(&scanned))
        return *problem;
    const Scanned &s = std::get<Scanned>(scanned);
    WriterRequest request;
    for (const auto &[option, value] : s.options) {
        if (std::optional<QString> problem = apply(*option, value, request))
            return *problem;
        // The help and the version are all that is done, whatever else is given.
        if (request.action == WriterRequest::Action::Help ||
            request.action == WriterRequest::Action::Version)
            return request;
    }
    // A catalogue takes several trees; any other run, one folder.
    if (request.action == WriterRequest::Action::Catalog) {
        request.folders = s.folders;
    } else {
        const auto folder = oneFolder(s.folders);
        if (const QString *problem = std::get_if<QString>(&folder))
            return *problem;
        request.folder = std::get<QByteArray>(folder);
    }
    if (std::optional<QString> problem = checkTogether(request, s))
        return *problem;
    return request;
}

QLocale SettlePageLanguage(WriterRequest &request, const QLocale &program)
{
    const QLocale locale = request.language ? LanguageLocale(*request.language) : program;
    if (!request.footerGiven)
        request.page.options.footerTitle = DefaultFooter(LanguageOfLocale(locale));
    return locale;
}

QList<OptionHelp> OptionHelps()
{
    QList<OptionHelp> rows;
    for (const OptionRow &option : OptionTable()) {
        // Only the footer's help names a default that is not plain text: the footer itself.
        QString help = option.help.toString();
        if (help.contains(u"%1"))
            help = help.arg(PageOptions().footerTitle);
        // The styles' names come from the formats themselves.
        const QString value =
            option.value == "STYLE" ? StyleNames(u"|") : QString::fromLatin1(option.value);
        QString alias;
        for (const auto &[shortName, longName] : OptionAliases()) {
            if (longName == option.name)
                alias = QString::fromLatin1(shortName);
        }
        rows.append({QString::fromLatin1(option.name), value, help, option.helpEn.toString(),
                     option.apply != nullptr, alias});
    }
    return rows;
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
