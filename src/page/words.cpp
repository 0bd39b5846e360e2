#include "words.h"

#include "version.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// words as a script's string, every character outside printable ASCII escaped, so that the
// script stays ASCII in any page encoding.
QString scriptString(QStringView words)
{
    QString out = u"\""_s;
    for (const QChar c : words) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"' && c != u'\\')
            out += c;
        else
            out += u"\\u"_s + QString::number(c.unicode(), 16).rightJustified(4, u'0');
    }
    return out + u'"';
}

// The script's words: the summary of what the filter shows (s, then d and f, each one and
// many), what shows when nothing matches (z with folders, y without; % is the filter) and a
// size's bytes (b).
QString scriptWords(QStringView shown, QStringView folder, QStringView folders, QStringView file,
                    QStringView files, QStringView noneWithFolders, QStringView none,
                    QStringView bytes)
{
    return u"{s:"_s + scriptString(shown) + u",d:["_s + scriptString(folder) + u',' +
           scriptString(folders) + u"],f:["_s + scriptString(file) + u',' + scriptString(files) +
           u"],z:"_s + scriptString(noneWithFolders) + u",y:"_s + scriptString(none) + u",b:"_s +
           scriptString(bytes) + u'}';
}

// The catalogue script's words, in the order CatalogWords names them.
struct CatalogWords
{
    QStringView lang, search, name, size, in, tree, folder, folders, file, files, bytes, found,
        none, indexing, unknown, comma;
};

QString catalogWords(const CatalogWords &w)
{
    return u"{l:"_s + scriptString(w.lang) + u",q:"_s + scriptString(w.search) + u",h:["_s +
           scriptString(w.name) + u',' + scriptString(w.size) + u',' + scriptString(w.in) +
           u"],t:"_s + scriptString(w.tree) + u",d:["_s + scriptString(w.folder) + u',' +
           scriptString(w.folders) + u"],f:["_s + scriptString(w.file) + u',' +
           scriptString(w.files) + u"],b:"_s + scriptString(w.bytes) + u",x:"_s +
           scriptString(w.found) + u",y:"_s + scriptString(w.none) + u",i:"_s +
           scriptString(w.indexing) + u",u:"_s + scriptString(w.unknown) + u",c:"_s +
           scriptString(w.comma) + u'}';
}

PageWords makeChinese()
{
    PageWords w{u"zh-CN",
                u"字节)",
                u" 字节",
                u"未知(UnKnow)",
                u"上一级/",
                u"筛选",
                u"名称",
                u"大小",
                u"修改日期",
                u"建立日期",
                u" 个文件夹，",
                u" 个文件夹，",
                u" 个文件",
                u" 个文件",
                u"，共 ",
                u"本网页采用Dirweaver V%1 制作！",
                {},
                {},
                {}};
    w.script = scriptWords(u"显示 ", u" 个文件夹，", u" 个文件夹，", u" 个文件", u" 个文件",
                           u"没有与“%”匹配的文件或文件夹", u"没有与“%”匹配的文件", u" 字节");
    w.catalogScript =
        catalogWords({u"zh-CN", u"在整个目录里搜索（可用 * 和 ?）", u"名称", u"大小", u"所在文件夹",
                      u"文件夹", u" 个文件夹", u" 个文件夹", u" 个文件", u" 个文件", u" 字节",
                      u"找到 ", u"没有与“%”匹配的文件或文件夹", u"正在建立索引……", u"未知", u"，"});
    w.catalogNote = u"搜索与文件列表需要脚本；下面是各文件夹，括号里是其下的文件数。";
    return w;
}

PageWords makeEnglish()
{
    PageWords w{u"en",
                u" bytes)",
                u" bytes",
                u"unknown",
                u"Parent folder/",
                u"Filter",
                u"Name",
                u"Size",
                u"Modified",
                u"Created",
                u" folder, ",
                u" folders, ",
                u" file",
                u" files",
                u", total ",
                u"This page was made with Dirweaver V%1!",
                {},
                {},
                {}};
    w.script = scriptWords(u"Showing ", u" folder, ", u" folders, ", u" file", u" files",
                           u"No file or folder matches “%”", u"No file matches “%”", u" bytes");
    w.catalogScript = catalogWords({u"en", u"Search the whole catalogue (* and ? allowed)", u"Name",
                                    u"Size", u"In folder", u"Folders", u" folder", u" folders",
                                    u" file", u" files", u" bytes", u"Found ",
                                    u"Nothing matches “%”", u"Indexing…", u"unknown", u", "});
    w.catalogNote = u"Search and the lists of files need script; below are the folders, each "
                    u"with the number of files it holds in brackets.";
    return w;
}

QByteArray localeName(const QByteArray &value)
{
    QByteArray name = value;
    for (const char end : {'.', '@'}) {
        const qsizetype cut = name.indexOf(end);
        if (cut >= 0)
            name.truncate(cut);
    }
    return name;
}

} // namespace

const PageWords &WordsOf(PageLanguage language)
{
    static const PageWords chinese = makeChinese();
    static const PageWords english = makeEnglish();
    return language == PageLanguage::English ? english : chinese;
}

PageLanguage LanguageOfLocale(const QLocale &locale)
{
    return locale.language() == QLocale::Chinese ? PageLanguage::Chinese : PageLanguage::English;
}

QLocale LanguageLocale(PageLanguage language)
{
    return QLocale(language == PageLanguage::English ? u"en_US"_s : u"zh_CN"_s);
}

QLocale DateLocale(PageLanguage language, const QLocale &program)
{
    return LanguageOfLocale(program) == language ? program : LanguageLocale(language);
}

std::optional<PageLanguage> ParseLanguage(QByteArrayView name)
{
    for (const QByteArrayView zh : {"zh-CN", "zh_CN", "zh"}) {
        if (name.compare(zh, Qt::CaseInsensitive) == 0)
            return PageLanguage::Chinese;
    }
    for (const QByteArrayView en : {"en", "en-US", "en_US"}) {
        if (name.compare(en, Qt::CaseInsensitive) == 0)
            return PageLanguage::English;
    }
    return std::nullopt;
}

PageLanguage WindowLanguage(const QByteArray &language, const QByteArray &lcAll,
                            const QByteArray &lcMessages, const QByteArray &lang)
{
    QByteArray locale;
    for (const QByteArray *value : {&lcAll, &lcMessages, &lang}) {
        if (!value->isEmpty()) {
            locale = localeName(*value);
            break;
        }
    }
    if (locale.isEmpty() || locale == "C" || locale == "POSIX")
        return PageLanguage::Chinese;
    for (const QByteArray &entry : language.split(':')) {
        if (entry.startsWith("zh"))
            return PageLanguage::Chinese;
        if (entry.startsWith("en"))
            return PageLanguage::English;
    }
    return locale.startsWith("zh") ? PageLanguage::Chinese : PageLanguage::English;
}

PageLanguage WindowLanguageFromEnvironment()
{
    return WindowLanguage(qgetenv("LANGUAGE"), qgetenv("LC_ALL"), qgetenv("LC_MESSAGES"),
                          qgetenv("LANG"));
}

QString DefaultFooter(PageLanguage language)
{
    return WordsOf(language).footer.toString().arg(QStringLiteral(DIRWEAVER_VERSION));
}

} // namespace dirweaver
