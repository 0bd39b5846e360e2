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

    // Runs the writer with arguments; true when it succeeds.
    bool write(const QList<QByteArray> &arguments) const
    {
        const auto parsed = ParseWriterArguments(arguments);
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        return RunWriter(std::get<WriterRequest>(parsed), fs_, QLocale(u"zh_CN"_s), "/", out,
                         err) == 0;
    }

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

    // Trees whose first levels have hostile folder names: every link of every page (files,
    // sub-folder pages, the parent's page and, on table pages, the path from the top page:
    // the top and the ten nearest) opens its target as Chromium resolves it.
    void treeInChromium_data()
    {
        QTest::addColumn<QByteArray>("style");
        QTest::addColumn<int>("levels");
        QTest::addRow("classic, 3 levels") << QByteArray("classic") << 3;
        QTest::addRow("table, 3 levels") << QByteArray("table") << 3;
        QTest::addRow("table, 13 levels") << QByteArray("table") << 13;
    }
    void treeInChromium()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QFETCH(QByteArray, style);
        QFETCH(int, levels);
        QTemporaryDir dir;
        QList<QByteArray> folders = {QFile::encodeName(dir.path()) + "/tree <b>&amp; #1"};
        for (int level = 1; level < levels; ++level)
            folders.append(folders.last() + (level == 1   ? QByteArray("/<script>x")
                                             : level == 2 ? QByteArray("/ javascript:x?\xff ")
                                                          : "/d" + QByteArray::number(level)));
        for (const QByteArray &folder : folders) {
            QVERIFY(mkdir(folder.constData(), 0755) == 0);
            QVERIFY(WriteBytes(folder + "/a&copy #.txt", "a") &&
                    WriteBytes(folder + "/b.txt", "b"));
        }
        const auto parsed = ParseWriterArguments(
            {"--tree", "--style", style, "--name", "index #1.htm", folders.first()});
        QByteArray messages;
        QBuffer err(&messages);
        err.open(QIODevice::WriteOnly);
        QCOMPARE(RunTree(std::get<WriterRequest>(parsed), fs_, QLocale(u"zh_CN"_s), "/", err, 0),
                 0);

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
            for (qsizetype up = 0; style == "table" && up < i; ++up)
                if (up == 0 || up >= i - 10)
                    expected.append(pages[up]);
            QList<QByteArray> got = links[i];
            std::sort(got.begin(), got.end());
            std::sort(expected.begin(), expected.end());
            // As text, so that a failure names the links.
            QCOMPARE(got.join('\n'), expected.join('\n'));
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

    // The table page in Chromium, written in name order and in size order: the arrow is true
    // before any click; each header clicked twice (an unsorted column first rising); then
    // the filter. Folders stay first; names sort as the page's collation and people read
    // numbers (file2 before file10, as the program writes them); sizes and dates by value.
    // Each step: the headers' aria-sort, the row count screen readers hear, the rows drawn,
    // the summary, and what the page says when nothing matches.
    void tableSortsAndFilters_data()
    {
        QTest::addColumn<QByteArray>("order");
        QTest::addColumn<QStringList>("expected");
        const QString byName =
            u"报告.doc|中文 File.txt|a  two  spaces.txt|alpha.txt|file2.txt|file10.txt|Zeta.md"_s;
        const QString bySize =
            u"file2.txt|alpha.txt|file10.txt|报告.doc|Zeta.md|中文 File.txt|a  two  spaces.txt"_s;
        const QString byDate =
            u"a  two  spaces.txt|中文 File.txt|file10.txt|alpha.txt|Zeta.md|报告.doc|file2.txt"_s;
        const auto reversed = [](const QString &list) {
            QStringList names = list.split(u'|');
            std::reverse(names.begin(), names.end());
            return names.join(u'|');
        };
        const QString all = u" 10 sub2/|sub10/|"_s, allDown = u" 10 sub10/|sub2/|"_s,
                      total = u" = 2 个文件夹，7 个文件，共 2.7 KB"_s;
        const QString up = u"ascending"_s, down = u"descending"_s;
        const QStringList clicks = {
            u"-,"_s + up + u",-"_s + all + bySize + total,
            u"-,"_s + down + u",-"_s + all + reversed(bySize) + total,
            u"-,-,"_s + up + all + byDate + total,
            u"-,-,"_s + down + all + reversed(byDate) + total,
            u"-,-,descending 4 file2.txt|file10.txt|中文 File.txt = 显示 0 / 2 个文件夹，3 / 7 个文件"_s,
            u"-,-,descending 3 sub2/|file2.txt = 显示 1 / 2 个文件夹，1 / 7 个文件"_s,
            u"-,-,descending 2 a  two  spaces.txt = 显示 0 / 2 个文件夹，1 / 7 个文件"_s,
            u"-,-,descending 1  = 显示 0 / 2 个文件夹，0 / 7 个文件 没有与“two sp”匹配的文件或文件夹"_s,
            u"-,-,"_s + down + all + reversed(byDate) + total,
        };
        QTest::newRow("written by name")
            << QByteArray("name")
            << QStringList{up + u",-,-"_s + all + byName + total,
                           down + u",-,-"_s + allDown + reversed(byName) + total,
                           up + u",-,-"_s + all + byName + total} +
                   clicks;
        // Names in order by the browser's collation for the first time: the program's order.
        QTest::newRow("written by size")
            << QByteArray("size")
            << QStringList{u"-,"_s + down + u",-"_s + all + reversed(bySize) + total,
                           up + u",-,-"_s + all + byName + total,
                           down + u",-,-"_s + allDown + reversed(byName) + total} +
                   clicks;
    }
    void tableSortsAndFilters()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QFETCH(QByteArray, order);
        QFETCH(QStringList, expected);
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
                     {u"中文 File.txt"_s.toUtf8(), 600, 6},
                     {"a  two  spaces.txt", 700, 7}};
        const auto setAge = [&](const QByteArray &name, int age) {
            const timespec times[2] = {{0, UTIME_OMIT}, {1000000000 - age * 3600, 0}};
            return utimensat(AT_FDCWD, QByteArray(folder + '/' + name).constData(), times, 0) == 0;
        };
        for (const auto &file : files) {
            QVERIFY(WriteBytes(folder + '/' + file.name, QByteArray(file.size, 'x')));
            QVERIFY(setAge(file.name, file.age));
        }
        for (const QByteArray sub : {"sub10", "sub2"}) {
            QVERIFY(mkdir(QByteArray(folder + '/' + sub).constData(), 0755) == 0);
            QVERIFY(setAge(sub, 0));
        }
        const QByteArray page = QFile::encodeName(dir.path()) + "/table.htm";
        QVERIFY(write({"--write", page, "--style", "table", "--folders", "--date", "modified",
                       "--sort", order, folder}));

        const QString script = uR"(
            const t = d.getElementById('t'), z = d.getElementById('z');
            const rows = () => Array.from(t.tHead.rows[0].cells,
                    h => h.getAttribute('aria-sort') || '-').join(',') + ' ' +
                t.getAttribute('aria-rowcount') + ' ' +
                Array.from(t.tBodies[0].rows, r => r.cells[0].textContent).join('|') + ' = ' +
                d.getElementById('n').textContent + (z.hidden ? '' : ' ' + z.textContent);
            const out = [rows()];
            for (const b of t.tHead.querySelectorAll('button')) {
                b.click(); out.push(rows());
                b.click(); out.push(rows());
            }
            const q = d.getElementById('q');
            for (const text of ['FILE', ' 2', 'two  sp', 'two sp', '']) {
                q.value = text;
                q.dispatchEvent(new Event('input'));
                out.push(rows());
            }
            return out.join('\n');)"_s;
        QString why;
        const QString result = ChromiumScript(page, script, &why);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(result.split(u'\n'), expected);
    }

    // A long table draws the rows in view and a screen's worth around them, each with its
    // place for screen readers, and the page is as tall as all its rows: at the top, the
    // middle and the end, and where the rows' full height is more than a browser lays out
    // (rows made 4,000 pixels tall), the row at the top of the view is the one its place
    // gives, and the last row can be reached.
    void tableDrawsInView_data()
    {
        QTest::addColumn<QString>("rowStyle");
        QTest::newRow("as written") << QString();
        QTest::newRow("taller than a browser lays out") << u"#t tbody tr{height:4000px}"_s;
    }
    void tableDrawsInView()
    {
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QFETCH(QString, rowStyle);
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + "/long";
        QVERIFY(mkdir(folder.constData(), 0755) == 0);
        constexpr int kFiles = 3000;
        for (int i = 0; i < kFiles; ++i)
            QVERIFY(WriteBytes(folder + "/f" + QByteArray::number(i) + ".txt", {}));
        const QByteArray page = QFile::encodeName(dir.path()) + "/long.htm";
        QVERIFY(write({"--write", page, "--style", "table", "--no-size", folder}));

        // Each step: whether few rows are drawn, a run of places with their own names; then
        // whether the row its place puts at the top of the view is there, or at the end,
        // whether the last row is drawn inside the view.
        const QString script = uR"(
            const w = d.defaultView, t = d.getElementById('t'), b = t.tBodies[0];
            const style = d.createElement('style');
            style.textContent = ROWSTYLE;
            d.head.appendChild(style);
            w.dispatchEvent(new Event('resize'));
            const n = 3000, rh = b.rows[0].getBoundingClientRect().height, vh = w.innerHeight;
            const full = n * rh, height = Math.min(full, 1e7);
            const place = r => +r.getAttribute('aria-rowindex') - 2;
            const check = (at, end) => {
                w.scrollTo(0, at);
                w.dispatchEvent(new Event('scroll'));
                const rows = Array.from(b.rows), y = b.getBoundingClientRect().top;
                let runs = 'run';
                rows.forEach((r, i) => {
                    if (place(r) !== place(rows[0]) + i ||
                        r.cells[0].textContent !== 'f' + place(r) + '.txt')
                        runs = 'not a run of places at ' + i;
                });
                const few = rows.length <= 3 * Math.ceil(vh / rh) + 3;
                if (end) {
                    const last = rows[rows.length - 1];
                    return [few, runs, place(last) === n - 1 &&
                            last.getBoundingClientRect().bottom <= vh].join(' ');
                }
                const rel = Math.max(-y, 0);
                const f = full <= 1e7 ? rel / rh : rel / (height - vh) * (n - vh / rh);
                const top = rows.find(r => place(r) === Math.floor(f));
                return [few, runs, !!top && Math.abs(top.getBoundingClientRect().top -
                        (y + rel - (f - Math.floor(f)) * rh)) < 1].join(' ');
            };
            return [t.getAttribute('aria-rowcount'),
                    Math.abs(b.getBoundingClientRect().height - height) < 2,
                    check(0), check(height / 2), check(d.documentElement.scrollHeight, true)]
                .join('\n');
        )"_s;
        QString why;
        const QString result = ChromiumScript(
            page, QString(script).replace(u"ROWSTYLE"_s, u"'"_s + rowStyle + u"'"_s), &why);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(result.split(u'\n'), (QStringList{u"3001"_s, u"true"_s, u"true run true"_s,
                                                   u"true run true"_s, u"true run true"_s}));
    }
};

QTEST_GUILESS_MAIN(TestBrowser)
#include "tst_browser.moc"
