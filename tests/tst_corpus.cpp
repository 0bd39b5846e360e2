// Every troublesome name a Linux file name can hold, listed and linked in every layout, then
// read back the way a browser reads the page: GBK decoded, parsed by a real HTML parser and
// each target resolved against the page's folder. Optionally through Chromium itself.

#include "output/pagefile.h"
#include "page/builder.h"
#include "page/folderpage.h"
#include "page/format.h"
#include "pagereader.h"
#include "runprogram.h"
#include "text/html.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <ftw.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace dirweaver;
using namespace dirweaver::test;
using namespace Qt::StringLiterals;

namespace {

// Regular files: each must get exactly one link.
QList<QByteArray> HostileFileNames()
{
    QList<QByteArray> names = {
        "quote\".txt",
        "angle <b>bold<\\b>.txt",
        "amp & amp.txt",
        "a&copy.txt",
        "&amp;.txt",
        "&#65;&#x42;&lt",
        "hash#1.txt",
        "question?.txt",
        "percent%41%.txt",
        "plus+1.txt",
        "apos'.txt",
        "semi;colon.txt",
        "back\\slash.txt",
        "bar|pipe",
        "c|",
        "C|x",
        "z|abc",
        "C|.txt",
        "\xef\xbb\xbf"
        "byte order mark first.txt",
        "invoice\xe2\x80\xae"
        "fdp.exe",              // a right-to-left override inside
        "pua \xee\x97\xa5.txt", // U+E5E5: its GBK bytes read as U+3000
        "Re: colon.txt",
        "javascript:alert(1)",
        "http:x.txt",
        "two  inner  spaces.txt",
        "  leading spaces.txt",
        "trailing spaces.txt  ",
        " ",
        u"中文名称.txt"_s.toUtf8(),
        u"日本語のファイル.txt"_s.toUtf8(),
        u"한국어 파일.txt"_s.toUtf8(),
        u"smile 😀🎉.txt"_s.toUtf8(),
        u"combining e\u0301 a\u0308.txt"_s.toUtf8(),
        u"fullwidth ＜＞＆.txt"_s.toUtf8(),
        "new\nline.txt",
        "tab\there.txt",
        "carriage\rreturn.txt",
        "gbk \xd6\xd0\xce\xc4.txt", // 中文 as a Chinese Windows system wrote it
        "broken \xff\xfe\x80.txt",  // valid in no encoding
        "no dot",
        "-",
        "-x",
        "--help",
        "trailing dot.",
        "<!-- comment",
        "<A HREF=x>in a link",
        "<BR><HR><P>",
        "link to file",
        QByteArray(251, 'n') + ".txt",
    };
    // 255 bytes of three-byte characters.
    names.append(u"长"_s.repeated(85).toUtf8());
    return names;
}

struct Corpus
{
    QByteArray folder; // with its trailing '/'
    QList<QByteArray> files;
};

bool MakeCorpus(const QByteArray &root, Corpus &corpus)
{
    // The folder path itself goes into every absolute target.
    corpus.folder = root + "/hostile &copy; #1?%20 <b>\"q\" 中文 \xd6\xd0 \xff/";
    const QByteArray &d = corpus.folder;
    const auto at = [&d](const QByteArray &name) { return QByteArray(d + name); };
    if (mkdir(d.constData(), 0755) != 0)
        return false;
    corpus.files = HostileFileNames();
    for (const QByteArray &name : std::as_const(corpus.files)) {
        if (name == "link to file")
            continue;
        const int fd = open(at(name).constData(), O_CREAT | O_WRONLY | O_EXCL, 0644);
        if (fd < 0 || write(fd, name.constData(), size_t(name.size())) < 0 || close(fd) != 0)
            return false;
    }
    // What must stay out of the page.
    bool ok = symlink("no dot", at("link to file").constData()) == 0 &&
              mkdir(at("folder").constData(), 0755) == 0 &&
              mkdir(at("x.txt").constData(), 0755) == 0 &&
              mkdir(at(".hidden folder").constData(), 0755) == 0 &&
              close(open(at("..two dots").constData(), O_CREAT | O_WRONLY, 0644)) == 0 &&
              close(open(at(".hidden.txt").constData(), O_CREAT | O_WRONLY, 0644)) == 0 &&
              mkfifo(at("fifo.txt").constData(), 0644) == 0 &&
              symlink("does not exist", at("broken link.txt").constData()) == 0 &&
              symlink("loop b", at("loop a").constData()) == 0 &&
              symlink("loop a", at("loop b").constData()) == 0 &&
              symlink("folder", at("link to folder.txt").constData()) == 0;
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = at("socket.txt");
    ok = ok && sock >= 0 && size_t(socketPath.size()) < sizeof address.sun_path;
    if (ok) {
        std::copy(socketPath.cbegin(), socketPath.cend(), address.sun_path);
        ok = bind(sock, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    if (sock >= 0)
        close(sock);
    return ok;
}

// Everything a layout should give for the corpus, or the first thing that is wrong.
// serialized: the page went through a browser's serialisation, which writes a carriage
// return raw, and a parser reads that back as a line feed.
QString CheckPage(const ParsedPage &page, const ParsedPage &reference, const Corpus &corpus,
                  const QList<NativeName> &listed, bool serialized = false,
                  HtmlText mode = HtmlText::Classic)
{
    if (page.shape != reference.shape) {
        for (qsizetype i = 0; i < std::min(page.shape.size(), reference.shape.size()); ++i) {
            if (page.shape[i] != reference.shape[i])
                return u"markup changed at element %1: %2 instead of %3"_s.arg(i).arg(
                    page.shape[i], reference.shape[i]);
        }
        return u"markup has %1 elements instead of %2"_s.arg(page.shape.size())
            .arg(reference.shape.size());
    }
    if (page.links.size() != corpus.files.size())
        return u"%1 links for %2 files"_s.arg(page.links.size()).arg(corpus.files.size());
    QList<QByteArray> opened;
    for (qsizetype i = 0; i < page.links.size(); ++i) {
        const Link &link = page.links[i];
        if (link.attributes != 1 || link.elementChildren != 0)
            return u"link %1 has %2 attributes and %3 elements inside"_s.arg(i)
                .arg(link.attributes)
                .arg(link.elementChildren);
        QString shown = listed[i].text;
        // A page that validates shows controls but tab and line feed as U+FFFD.
        for (QChar &c : shown)
            if (mode == HtmlText::Valid &&
                ((c.unicode() < 0x20 && c != u'\t' && c != u'\n') || c == u'\x7f'))
                c = QChar(0xFFFD);
        if (serialized)
            shown.replace(u'\r', u'\n');
        // A name that sets the direction of text stands isolated in its line.
        if (shown.contains(QChar(0x202E)))
            shown = QChar(0x2068) + shown + QChar(0x2069);
        if (link.text != shown)
            return u"link %1 reads \"%2\" instead of \"%3\""_s.arg(i).arg(link.text, shown);
        QString why;
        const QByteArray path = ResolvedPath(corpus.folder, link.href, &why, page.base);
        if (!why.isEmpty())
            return why;
        if (path != corpus.folder + listed[i].bytes)
            return u"link %1 \"%2\" opens %3"_s.arg(i).arg(link.href,
                                                           QString::fromLatin1(path.toHex(' ')));
        opened.append(listed[i].bytes);
    }
    std::sort(opened.begin(), opened.end());
    QList<QByteArray> expected = corpus.files;
    std::sort(expected.begin(), expected.end());
    if (opened != expected)
        return u"the links do not open every file once"_s;
    return {};
}

PageOptions Layout(bool absolute, bool blankLine)
{
    PageOptions options;
    options.absolutePath = absolute;
    options.blankLine = blankLine;
    options.browserTitle = options.headerTitle = u"hostile"_s;
    return options;
}

} // namespace

class TestCorpus : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    Corpus corpus_;
    RealFileSystem fs_;
    QList<NativeName> listed_;

    // The page for the corpus and one for as many plain names: the markup both should share.
    std::pair<QByteArray, QString> pages(bool absolute, bool blankLine) const
    {
        return pages(Layout(absolute, blankLine));
    }
    std::pair<QByteArray, QString> pages(const PageOptions &options) const
    {
        const FileTimeFormat format(QLocale(u"zh_CN"_s));
        PageModel input;
        input.folder = NativeName::fromBytes(corpus_.folder);
        input.files = listed_;
        input.options = options;
        const QByteArray page = PageFileBytes(BuildPageText(input, fs_, format), options.encoding);
        for (qsizetype i = 0; i < input.files.size(); ++i)
            input.files[i] = NativeName::fromText(u"plain"_s + QString::number(i));
        return {page, BuildPageText(input, fs_, format)};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY2(
            MakeCorpus(QFile::encodeName(dir_.path()), corpus_),
            qPrintable(u"cannot make the corpus: "_s + QString::fromLocal8Bit(strerror(errno))));
        const FolderFiles listing =
            ListFolderFiles(fs_, corpus_.folder, u"*.*"_s, FileSorter(QLocale(u"zh_CN"_s)));
        QCOMPARE(listing.error, 0);
        listed_ = listing.names;
        QList<QByteArray> names;
        for (const NativeName &n : std::as_const(listed_))
            names.append(n.bytes);
        std::sort(names.begin(), names.end());
        QList<QByteArray> expected = corpus_.files;
        std::sort(expected.begin(), expected.end());
        QCOMPARE(names, expected);
    }

    // The folder list offers folders and links to them, and nothing else of the corpus.
    void subFolders()
    {
        const SubFolderList listing =
            ListSubFolders(fs_, corpus_.folder, FileSorter(QLocale(u"zh_CN"_s)));
        QCOMPARE(listing.error, 0);
        QList<QByteArray> names;
        for (const NativeName &name : listing.names)
            names.append(name.bytes);
        std::sort(names.begin(), names.end());
        QCOMPARE(names, (QList<QByteArray>{"folder", "link to folder.txt", "x.txt"}));
    }

    // Qt's own removal cannot name files that are not UTF-8.
    void cleanupTestCase()
    {
        nftw(
            corpus_.folder.constData(),
            [](const char *path, const struct stat *, int, FTW *) { return remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }

    void dataListings_data()
    {
        QTest::addColumn<QString>("style");
        for (const char *style : {"json", "ndjson", "csv"})
            QTest::newRow(style) << QString::fromLatin1(style);
    }

    // Each data listing, read by Python's own json or csv module, gives every name back
    // byte for byte, and each target leads to its name.
    void dataListings()
    {
        QFETCH(QString, style);
        const QString listing = dir_.filePath(u"listing."_s + style);
        // The folder's own name is not UTF-8: an argument reaches it through a link.
        const QString folder = dir_.filePath(u"corpus"_s);
        QVERIFY(QFile::exists(folder) ||
                symlink(corpus_.folder.constData(), QFile::encodeName(folder).constData()) == 0);
        const Run written =
            RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE),
                       {u"--write"_s, listing, u"--style"_s, style, u"--folders"_s, folder});
        QCOMPARE(written.status, 0);
        const Run read =
            RunProgram(u"python3"_s,
                       {QStringLiteral(DIRWEAVER_TEST_SOURCES "/readlisting.py"), style, listing});
        QVERIFY2(read.status == 0, read.err.constData());
        QList<QByteArray> files, folders;
        for (const QByteArray &line : read.out.split('\n')) {
            if (line.startsWith("file "))
                files.append(QByteArray::fromHex(line.mid(5)));
            else if (line.startsWith("folder "))
                folders.append(QByteArray::fromHex(line.mid(7)));
        }
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        QList<QByteArray> expected = corpus_.files;
        std::sort(expected.begin(), expected.end());
        QCOMPARE(files, expected);
        QCOMPARE(folders, (QList<QByteArray>{"folder", "link to folder.txt", "x.txt"}));
    }

    // A tree of the corpus with its sums: sha256sum -c passes in every folder, over every
    // file (the empty sub-folders have no SHA256SUMS), and each sum is its file's.
    void sumsChecked()
    {
        const QString folder = dir_.filePath(u"corpus"_s);
        QVERIFY(QFile::exists(folder) ||
                symlink(corpus_.folder.constData(), QFile::encodeName(folder).constData()) == 0);
        const Run written = RunProgram(
            QStringLiteral(DIRWEAVER_EXECUTABLE),
            {u"--tree"_s, u"--style"_s, u"table,json"_s, u"--checksum"_s, u"sha256"_s, folder});
        QVERIFY2(written.status == 0, written.err.constData());
        QProcess check;
        check.setWorkingDirectory(folder);
        check.start(u"sha256sum"_s, {u"-c"_s, u"--strict"_s, u"SHA256SUMS"_s});
        check.closeWriteChannel();
        QVERIFY(check.waitForFinished(60000));
        QVERIFY2(check.exitCode() == 0, check.readAllStandardError().constData());
        QCOMPARE(check.readAllStandardOutput().count(": OK\n"), corpus_.files.size());
        for (const char *empty : {"folder", "x.txt"})
            QVERIFY(!QFile::exists(folder + u'/' + QLatin1StringView(empty) + u"/SHA256SUMS"_s));
    }

    void layouts_data()
    {
        QTest::addColumn<bool>("absolute");
        QTest::addColumn<bool>("blankLine");
        QTest::newRow("absolute, one paragraph") << true << false;
        QTest::newRow("absolute, blank lines") << true << true;
        QTest::newRow("bare, one paragraph") << false << false;
        QTest::newRow("bare, blank lines") << false << true;
    }

    // The page as the core writes it, read by an HTML5 parser.
    void layouts()
    {
        QFETCH(bool, absolute);
        QFETCH(bool, blankLine);
        const auto [page, reference] = pages(absolute, blankLine);
        const QString problem = CheckPage(Parse(FromGbk(page)), Parse(reference), corpus_, listed_);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void chromium_data() { layouts_data(); }

    // The same page saved beside the files and opened by the browser users open it in.
    void chromium()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QFETCH(bool, absolute);
        QFETCH(bool, blankLine);
        const auto [page, reference] = pages(absolute, blankLine);
        // A dot-file, so the page itself is never one of the listed files.
        const QByteArray pagePath = corpus_.folder + ".page.htm";
        QVERIFY(WriteBytes(pagePath, page));
        QString why;
        const QString dom = ChromiumDom(pagePath, u"zh-CN"_s, &why);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        const QString problem = CheckPage(Parse(dom), Parse(reference), corpus_, listed_, true);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // The table page in its three link modes: the folder's path, bare names, an address.
    void tables_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<PageEncoding>("encoding");
        for (const PageEncoding encoding : {PageEncoding::Utf8, PageEncoding::Gbk}) {
            const char *in = encoding == PageEncoding::Gbk ? ", GBK" : ", UTF-8";
            QTest::addRow("absolute%s", in) << 0 << encoding;
            QTest::addRow("bare%s", in) << 1 << encoding;
            QTest::addRow("address%s", in) << 2 << encoding;
        }
    }
    PageOptions tableOptions() const
    {
        QFETCH(int, mode);
        QFETCH(PageEncoding, encoding);
        PageOptions options = Layout(mode == 0, false);
        options.format = &TableFormat();
        options.encoding = encoding;
        // Facts of the reference's made-up names would differ; the columns hold no name.
        options.showSize = options.showDate = false;
        if (mode == 2)
            options.baseUrl =
                u"file://"_s + QString::fromLatin1(corpus_.folder.toPercentEncoding("/"));
        return options;
    }
    QString decoded(const QByteArray &page) const
    {
        QFETCH(PageEncoding, encoding);
        return encoding == PageEncoding::Gbk ? FromGbk(page) : QString::fromUtf8(page);
    }

    // The table as the core writes it, read by an HTML5 parser as a browser without script
    // reads it: each link opens its file, and the headers are plain text, not buttons that
    // do nothing.
    void tables()
    {
        const auto [page, reference] = pages(tableOptions());
        const QString text = decoded(page);
        const QString problem =
            CheckPage(Parse(text), Parse(reference), corpus_, listed_, false, HtmlText::Valid);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        static const QRegularExpression rows(u"<noscript>.*</noscript>"_s,
                                             QRegularExpression::DotMatchesEverythingOption);
        const QString shown = rows.match(text).captured();
        QVERIFY(shown.contains(u"<th"_s) && !shown.contains(u"<button"_s));
    }

    void tablesInChromium_data() { tables_data(); }

    // The same, saved beside the files and opened by Chromium in a view tall enough for
    // every row: the rows its script draws are those of the same page of plain names.
    void tablesInChromium()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QFETCH(PageEncoding, encoding);
        const auto [page, reference] = pages(tableOptions());
        const QByteArray pagePath = corpus_.folder + ".table.htm";
        const QByteArray referencePath = corpus_.folder + ".reference.htm";
        QVERIFY(WriteBytes(pagePath, page) &&
                WriteBytes(referencePath, PageFileBytes(reference, encoding)));
        const QStringList tall = {u"--window-size=1000,20000"_s};
        QString why;
        QString dom = ChromiumDom(pagePath, u"zh-CN"_s, &why, tall);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QString expected = ChromiumDom(referencePath, u"zh-CN"_s, &why, tall);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        // A browser with script keeps the written rows as the text of <noscript>.
        static const QRegularExpression rows(u"<noscript>.*</noscript>"_s,
                                             QRegularExpression::DotMatchesEverythingOption);
        dom.remove(rows);
        expected.remove(rows);
        const QString problem =
            CheckPage(Parse(dom), Parse(expected), corpus_, listed_, true, HtmlText::Valid);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // The catalogue of the corpus in Chromium: every file's row shows its name as a page
    // shows it (what cannot be shown as U+FFFD) and links exactly its bytes.
    void catalogInChromium()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        const QString folder = dir_.filePath(u"corpus"_s);
        QVERIFY(QFile::exists(folder) ||
                symlink(corpus_.folder.constData(), QFile::encodeName(folder).constData()) == 0);
        const QString catalogue = dir_.filePath(u"corpus-catalog.htm"_s);
        const Run written = RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE),
                                       {u"--catalog"_s, catalogue, u"corpus"_s}, dir_.path());
        QVERIFY2(written.status == 0, written.err.constData());
        // The list draws the rows in view: it is scrolled through. Texts travel percent-encoded
        // and are decoded keeping a leading U+FEFF, which Qt's readers otherwise drop.
        QString why;
        const QString rows = ChromiumScript(
            QFile::encodeName(catalogue),
            u"const w=d.defaultView,lv=d.getElementById('lv'),seen=new Map();"
            u"for(let top=0;top<=lv.scrollHeight;top+=600){lv.scrollTop=top;"
            u"lv.dispatchEvent(new w.Event('scroll'));for(const r of lv.querySelectorAll"
            u"('.r:not(.k)'))seen.set(r.style.top,[encodeURIComponent(r.firstChild.textContent),"
            u"r.querySelector('a').href])}"
            u"return JSON.stringify([...seen.values()])"_s,
            &why, 500);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QMap<QByteArray, QString> shown;
        for (const QJsonValue row : QJsonDocument::fromJson(rows.toUtf8()).array()) {
            const QUrl href(row[1].toString());
            shown.insert(
                QByteArray::fromPercentEncoding(href.path(QUrl::FullyEncoded).toLatin1()),
                QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)
                    .decode(QByteArray::fromPercentEncoding(row[0].toString().toLatin1())));
        }
        QMap<QByteArray, QString> expected;
        static const QRegularExpression unshown(
            u"[\\x{0}-\\x{1f}\\x{7f}-\\x{9f}\\x{fdd0}-\\x{fdef}\\x{fffe}\\x{ffff}]"_s);
        // The corpus, and the pages earlier tests wrote into it.
        const FolderFiles now =
            ListFolderFiles(fs_, corpus_.folder, u"*.*"_s, FileSorter(QLocale(u"zh_CN"_s)));
        QVERIFY(now.names.size() >= corpus_.files.size());
        for (const NativeName &name : now.names)
            expected.insert(QFile::encodeName(folder) + '/' + name.bytes,
                            QString(name.text).replace(unshown, u"\ufffd"_s));
        QCOMPARE(shown.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(shown.value(it.key()), it.value());
    }
};

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"
