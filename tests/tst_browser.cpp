// What browsers make of the pages: folder names that would be markup, the GBK table as a
// browser's decoder reads it, a page read under an English locale, and a tree's links as
// Chromium resolves them.
#include "cli/tree.h"
#include "cli/writer.h"
#include "output/pagefile.h"
#include "page/builder.h"
#include "page/folderpage.h"
#include "pagereader.h"
#include "selection/titles.h"
#include "text/gbk.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

using namespace dirweaver;
using namespace dirweaver::test;
using namespace Qt::StringLiterals;

class TestBrowser : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    RealFileSystem fs_;

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // A folder name is text, never markup: titles derived from it are the name itself, no
    // script in it runs, and every link still opens its file.
    void hostileFolders_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("image with a handler") << QByteArray("<img src=x onerror=document.title=1>");
        QTest::newRow("comment") << QByteArray("<!--");
        QTest::newRow("plaintext") << QByteArray("<plaintext>");
        QTest::newRow("textarea") << QByteArray("<textarea>");
        QTest::newRow("title") << QByteArray("<title>");
        QTest::newRow("xmp") << QByteArray("<xmp>");
        QTest::newRow("script") << QByteArray("<script>");
        QTest::newRow("ampersand and quote") << QByteArray("Tom & Jerry \"&copy\"");
    }
    void hostileFolders()
    {
        QFETCH(QByteArray, name);
        const QByteArray folder = QFile::encodeName(dir_.path()) + '/' + name + '/';
        QVERIFY(mkdir(folder.constData(), 0755) == 0);
        QVERIFY(WriteBytes(folder + "a.txt", "a") && WriteBytes(folder + "b.txt", "b"));
        const auto page = [this](const QByteArray &path) {
            PageModel input;
            input.folder = NativeName::fromBytes(path);
            input.files =
                ListFolderFiles(fs_, path, u"*.*"_s, FileSorter(QLocale(u"zh_CN"_s))).names;
            const Titles titles = DeriveTitles(input.folder.text);
            input.options.browserTitle = titles.header;
            input.options.headerTitle = titles.header;
            return BuildPageText(input, fs_, FileTimeFormat(QLocale(u"zh_CN"_s)));
        };
        const QByteArray plain = QFile::encodeName(dir_.path()) + "/Plain/";
        QVERIFY(QDir().mkpath(QFile::decodeName(plain)));
        QVERIFY(WriteBytes(plain + "a.txt", "a") && WriteBytes(plain + "b.txt", "b"));
        const ParsedPage reference = Parse(page(plain));
        const QByteArray bytes = PageFileBytes(page(folder));

        const auto check = [&](const ParsedPage &parsed) {
            QCOMPARE(parsed.title, QString::fromUtf8(name));
            QCOMPARE(parsed.shape.size(), reference.shape.size());
            for (qsizetype i = 0; i < parsed.shape.size(); ++i) {
                // The heading's text differs; every element and attribute is the same.
                QCOMPARE(parsed.shape[i], reference.shape[i]);
            }
            QCOMPARE(parsed.links.size(), 2);
            QString why;
            QCOMPARE(ResolvedPath(folder, parsed.links[0].href, &why), folder + "a.txt");
            QCOMPARE(ResolvedPath(folder, parsed.links[1].href, &why), folder + "b.txt");
        };
        check(Parse(FromGbk(bytes)));
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QVERIFY(WriteBytes(folder + ".page.htm", bytes));
        QString why;
        const QString dom = ChromiumDom(folder + ".page.htm", u"zh-CN"_s, &why);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        check(Parse(dom));
    }

    // Every character the page writes in GBK reads back as itself in the browser's decoder
    // (TextDecoder('gbk')); the characters it reads otherwise are written as references.
    void gbkAsBrowsersRead()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QByteArray pairs;
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            if (QChar::isSurrogate(c) || !GbkHolds(char16_t(c)))
                continue;
            const QChar ch{char16_t(c)};
            pairs += '[' + QByteArray::number(uint(c)) + ",\"" +
                     ToGbk(QStringView(&ch, 1)).toHex() + "\"],";
        }
        QVERIFY(pairs.count('[') > 20000);
        const QByteArray script =
            "const pairs=[" + pairs +
            "];const d=new TextDecoder('gbk');const bad=[];"
            "for(const[c,h]of pairs){const b=new Uint8Array(h.length/2);"
            "for(let i=0;i<b.length;++i)b[i]=parseInt(h.substr(2*i,2),16);"
            "const s=d.decode(b);if(s.length!==1||s.codePointAt(0)!==c)bad.push(c.toString(16));}"
            "document.title='differ:'+bad.join(' ');";
        const QByteArray path = QFile::encodeName(dir_.path()) + "/gbk-probe.htm";
        QVERIFY(WriteBytes(path, "<!DOCTYPE html><html><head><title>not run</title></head><body>"
                                 "<script>" +
                                     script + "</script></body></html>"));
        QString why;
        const ParsedPage page = Parse(ChromiumDom(path, u"en-US"_s, &why));
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(page.title, u"differ:"_s);
    }

    // A tree of three levels with hostile folder names: every link of every page (files,
    // sub-folder pages, the parent's page) opens its target as Chromium resolves it.
    void treeInChromium()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QTemporaryDir dir;
        const QByteArray top = QFile::encodeName(dir.path()) + "/tree <b>&amp; #1";
        const QByteArray middle = top + "/<script>x";
        const QByteArray bottom = middle + "/ javascript:x?\xff ";
        for (const QByteArray &folder : {top, middle, bottom}) {
            QVERIFY(mkdir(folder.constData(), 0755) == 0);
            QVERIFY(WriteBytes(folder + "/a&copy #.txt", "a") &&
                    WriteBytes(folder + "/b.txt", "b"));
        }
        const auto parsed = ParseWriterArguments({"--tree", "--name", "index #1.htm", top});
        QByteArray messages;
        QBuffer err(&messages);
        err.open(QIODevice::WriteOnly);
        QCOMPARE(RunTree(std::get<WriterRequest>(parsed), fs_, QLocale(u"zh_CN"_s), "/", err, 0),
                 0);

        const QList<QByteArray> folders = {top, middle, bottom};
        QList<QByteArray> pages;
        for (const QByteArray &folder : folders)
            pages.append(folder + "/index #1.htm");
        QString why;
        const QList<QList<QByteArray>> links = ChromiumResolvedLinks(pages, &why);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        for (qsizetype i = 0; i < folders.size(); ++i) {
            QList<QByteArray> expected = {folders[i] + "/a&copy #.txt", folders[i] + "/b.txt"};
            if (i > 0)
                expected.append(pages[i - 1]);
            if (i + 1 < folders.size())
                expected.append(pages[i + 1]);
            QList<QByteArray> got = links[i];
            std::sort(got.begin(), got.end());
            std::sort(expected.begin(), expected.end());
            QCOMPARE(got, expected);
        }
        QProcess::execute(u"rm"_s, {u"-rf"_s, dir.path()}); // a name Qt cannot remove
    }

    // A page whose only Chinese is one character of one name, read by a browser set to
    // English: the declared encoding, not a guess, decides how it reads.
    void englishBrowser()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + '/';
        const QByteArray chinese = u"zz-表.txt"_s.toUtf8();
        QVERIFY(WriteBytes(folder + "readme.txt", "r") && WriteBytes(folder + chinese, "z"));
        PageModel input;
        input.folder = NativeName::fromBytes(folder);
        input.files = ListFolderFiles(fs_, folder, u"*.*"_s, FileSorter(QLocale(u"zh_CN"_s))).names;
        input.options.showSize = input.options.showDate = false;
        input.options.browserTitle = input.options.headerTitle = u"English"_s;
        input.options.footerTitle = u"Made with Dirweaver"_s;
        const QByteArray pagePath = folder + ".page.htm";
        QVERIFY(WriteBytes(pagePath,
                           PageFileBytes(BuildPageText(input, fs_, FileTimeFormat(QLocale())))));
        QString why;
        const ParsedPage page = Parse(ChromiumDom(pagePath, u"en-US"_s, &why));
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(page.links.size(), 2);
        QCOMPARE(page.links[1].text, u"zz-表.txt"_s);
        QCOMPARE(ResolvedPath(folder, page.links[1].href, &why), folder + chinese);
    }

    // The table page in Chromium: each header clicked twice, then the filter. Folders stay
    // first; names sort as people read numbers (file2 before file10); sizes and dates by
    // value, largest and newest first, then the other way round.
    void tableSortsAndFilters()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + "/mixed";
        QVERIFY(mkdir(folder.constData(), 0755) == 0);
        // Name, size, modification time: every order differs from the others.
        const struct
        {
            QByteArray name;
            int size;
            int age;
        } files[] = {{"file10.txt", 300, 5},
                     {"file2.txt", 100, 1},
                     {"Zeta.md", 500, 3},
                     {"alpha.txt", 200, 4},
                     {u"报告.doc"_s.toUtf8(), 400, 2},
                     {u"中文 File.txt"_s.toUtf8(), 600, 6}};
        for (const auto &file : files) {
            QVERIFY(WriteBytes(folder + '/' + file.name, QByteArray(file.size, 'x')));
            const timespec times[2] = {{0, UTIME_OMIT}, {1000000000 - file.age * 3600, 0}};
            QVERIFY(utimensat(AT_FDCWD, QByteArray(folder + '/' + file.name).constData(), times,
                              0) == 0);
        }
        for (const QByteArray sub : {"sub10", "sub2"})
            QVERIFY(mkdir(QByteArray(folder + '/' + sub).constData(), 0755) == 0);
        const QByteArray page = QFile::encodeName(dir.path()) + "/table.htm";
        const auto parsed = ParseWriterArguments(
            {"--write", page, "--style", "table", "--folders", "--date", "modified", folder});
        QByteArray out, err;
        QBuffer outDevice(&out), errDevice(&err);
        outDevice.open(QIODevice::WriteOnly);
        errDevice.open(QIODevice::WriteOnly);
        QCOMPARE(RunWriter(std::get<WriterRequest>(parsed), fs_, QLocale(u"zh_CN"_s), "/",
                           outDevice, errDevice),
                 0);

        // One line per step: each header's aria-sort, then the names of the visible rows.
        const QString script = uR"(
            const rows = () => Array.from(d.querySelectorAll('thead th'),
                    h => h.getAttribute('aria-sort') || '-').join(',') + ' ' +
                Array.from(d.querySelectorAll('tbody tr'))
                    .filter(r => !r.hidden).map(r => r.cells[0].textContent).join('|');
            const out = [rows()];
            for (const b of d.querySelectorAll('thead button')) {
                b.click(); out.push(rows());
                b.click(); out.push(rows());
            }
            const q = d.getElementById('q');
            out.push(String(q.hidden));
            for (const text of ['FILE', ' 2', '']) {
                q.value = text;
                q.dispatchEvent(new Event('input'));
                out.push(rows());
            }
            return out.join('\n');)"_s;
        QString why;
        const QString result = ChromiumScript(page, script, &why);
        const QStringList steps = result.split(u'\n');
        QVERIFY2(why.isEmpty(), qPrintable(why));
        // The program's own order first (its collation, numbers as text); after a click the
        // browser's, where Chinese names come before Latin ones as in the program.
        const QString folders = u"sub2/|sub10/|"_s;
        const QString byName = u"报告.doc|中文 File.txt|alpha.txt|file2.txt|file10.txt|Zeta.md"_s;
        const QString byDate = u"中文 File.txt|file10.txt|alpha.txt|Zeta.md|报告.doc|file2.txt"_s;
        const QStringList expected = {
            u"ascending,-,- sub10/|sub2/|报告.doc|中文 File.txt|alpha.txt|file10.txt|file2.txt|Zeta.md"_s,
            u"descending,-,- sub10/|sub2/|Zeta.md|file10.txt|file2.txt|alpha.txt|中文 File.txt|报告.doc"_s,
            u"ascending,-,- "_s + folders + byName,
            u"-,descending,- "_s + folders +
                u"中文 File.txt|Zeta.md|报告.doc|file10.txt|alpha.txt|file2.txt"_s,
            u"-,ascending,- "_s + folders +
                u"file2.txt|alpha.txt|file10.txt|报告.doc|Zeta.md|中文 File.txt"_s,
            u"-,-,descending "_s + folders +
                u"file2.txt|报告.doc|Zeta.md|alpha.txt|file10.txt|中文 File.txt"_s,
            u"-,-,ascending "_s + folders + byDate,
            u"false"_s, // the filter shows itself
            u"-,-,ascending 中文 File.txt|file10.txt|file2.txt"_s,
            u"-,-,ascending sub2/|file2.txt"_s,
            u"-,-,ascending "_s + folders + byDate,
        };
        QCOMPARE(steps, expected);
    }
};

QTEST_GUILESS_MAIN(TestBrowser)
#include "tst_browser.moc"
