// The catalogue: one page of whole trees against its golden pages, its names kept exactly,
// its links made from where it is saved, and what a visitor does with it in Chromium.
#include "cli/catalog.h"
#include "cli/commandline.h"
#include "page/catalog.h"
#include "pagereader.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace dirweaver;
using namespace dirweaver::test;
using namespace Qt::StringLiterals;

class TestCatalog : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    RealFileSystem fs_;

    QByteArray path(const QByteArray &below) const
    {
        return QFile::encodeName(dir_.path()) + '/' + below;
    }

    // Writes the catalogue the arguments ask for; its status, with what it said in err.
    int run(const QList<QByteArray> &arguments, QByteArray *err = nullptr) const
    {
        const auto parsed = ParseWriterArguments(arguments);
        if (!std::holds_alternative<WriterRequest>(parsed))
            return -1;
        WriterRequest request = std::get<WriterRequest>(parsed);
        const QLocale locale = SettlePageLanguage(request, QLocale(u"zh_CN"_s));
        QBuffer out, said;
        out.open(QIODevice::WriteOnly);
        said.open(QIODevice::WriteOnly);
        const int status =
            RunCatalog(request, fs_, locale, QFile::encodeName(dir_.path()), out, said, 0);
        if (err)
            *err = said.data();
        return status;
    }

    // The catalogue at out in Chromium, after script ran on it.
    QString inChromium(const QByteArray &out, const QString &script) const
    {
        QString why;
        const QString result = ChromiumScript(out, script, &why, 500);
        return why.isEmpty() ? result : why;
    }

private Q_SLOTS:
    // Two trees whose files and folders carry fixed times.
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        qputenv("SOURCE_DATE_EPOCH", "1700000000");
        const QList<std::pair<QByteArray, int>> files = {
            {"one/a.txt", 3},     {"one/b 9.txt", 1},           {"one/b 10.txt", 20},
            {"one/sub/c.txt", 5}, {"one/sub/deep/d.txt", 7000}, {"two/e.txt", 2},
            {"two/x&<y>.txt", 4},
        };
        for (const auto &[name, size] : files) {
            QVERIFY(QDir().mkpath(QFileInfo(QFile::decodeName(path(name))).path()));
            QVERIFY(WriteBytes(path(name), QByteArray(size, 'x')));
        }
        QVERIFY(QDir().mkpath(QFile::decodeName(path("out"))));
        qint64 time = 1600000000;
        for (const char *name :
             {"one/a.txt", "one/b 9.txt", "one/b 10.txt", "one/sub/c.txt", "one/sub/deep/d.txt",
              "two/e.txt", "two/x&<y>.txt", "one/sub/deep", "one/sub", "one", "two"}) {
            const timespec times[2] = {{time, 0}, {time, 0}};
            QVERIFY(utimensat(AT_FDCWD, path(QByteArray(name)).constData(), times, 0) == 0);
            time += 86400 * 40;
        }
    }

    // The whole catalogue of both trees, byte for byte: Chinese with links from where it is
    // saved, English under a base address.
    void golden_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<QString>("file");
        QTest::newRow("two trees") << QList<QByteArray>{"--date", "modified"} << u"catalog.htm"_s;
        QTest::newRow("english, base address")
            << QList<QByteArray>{"--date", "modified", "--lang",
                                 "en",     "--base",   "https://example.org/dl"}
            << u"catalog-en.htm"_s;
    }
    void golden()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(QString, file);
        QCOMPARE(run(QList<QByteArray>{"--catalog", "out/catalog.htm", "one", "two"} + arguments),
                 0);
        QFile written(QFile::decodeName(path("out/catalog.htm")));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QFile expected(QStringLiteral(DIRWEAVER_TEST_DATA "/") + file);
        QVERIFY(expected.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), expected.readAll());
    }

    // A name's bytes come back from its catalogue form exactly, and that form holds nothing
    // that could end a line, a field or the data's element.
    void names_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("stored");
        QTest::newRow("plain") << QByteArray("a b.txt") << u"a b.txt"_s;
        QTest::newRow("chinese") << QByteArray("中文.txt") << u"中文.txt"_s;
        QTest::newRow("emoji") << QByteArray("\xf0\x9f\x98\x80") << u"\U0001F600"_s;
        QTest::newRow("byte order mark first") << QByteArray("\xef\xbb\xbf"
                                                             "a")
                                               << u"\uFEFFa"_s;
        QTest::newRow("backslash") << QByteArray("a\\5c") << u"a\\5c5c"_s;
        QTest::newRow("end of script") << QByteArray("</script>") << u"\\3c/script>"_s;
        QTest::newRow("controls") << QByteArray("\x01\n\r\x7f") << u"\\01\\0a\\0d\\7f"_s;
        QTest::newRow("c1 control") << QByteArray("\xc2\x85") << u"\\c2\\85"_s;
        QTest::newRow("not utf-8") << QByteArray("\xff\xfe") << u"\\ff\\fe"_s;
        QTest::newRow("overlong") << QByteArray("\xc0\xaf") << u"\\c0\\af"_s;
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << u"\\ed\\a0\\80"_s;
        QTest::newRow("cut short") << QByteArray("x\xe4\xb8") << u"x\\e4\\b8"_s;
    }
    void names()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, stored);
        QCOMPARE(CatalogName(name), stored);
        QCOMPARE(CatalogNameBytes(stored.toUtf8()), name);
    }

    // Links lead from the folder the catalogue is saved in to each tree.
    void targets_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("target");
        QTest::newRow("sibling") << QByteArray("/a/b") << QByteArray("/a/c") << u"../c/"_s;
        QTest::newRow("same") << QByteArray("/a") << QByteArray("/a") << u"./"_s;
        QTest::newRow("below, escaped")
            << QByteArray("/") << QByteArray("/x y/#") << u"x%20y/%23/"_s;
        QTest::newRow("above") << QByteArray("/a/b/c") << QByteArray("/") << u"../../../"_s;
        QTest::newRow("not utf-8") << QByteArray("/t") << QByteArray("/t/\xff") << u"%FF/"_s;
    }
    void targets()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, target);
        QCOMPARE(RelativeFolderTarget(from, to), target);
    }

    // What a visitor sees and does: the folder tree, expanding it, the open folder's rows,
    // sorting them, searching with a part of a name or a mask, the keyboard, a folder opened
    // from a result's path.
    void visitor_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        const QString tree =
            u"[...d.querySelectorAll('#tv .r')].map(r=>r.textContent.replace(/^[\\u25be\\u25b8]/,"
            u"'')).join('|')"_s;
        const QString rows =
            u"[...d.querySelectorAll('#lv .r')].sort((a,b)=>parseFloat(a.style.top)-"
            u"parseFloat(b.style.top)).map(r=>r.firstChild.textContent+(d.getElementById('lp')."
            u"className?' @ '+r.children[1].textContent:'')).join('|')"_s;
        const QString input = u"const w=d.defaultView,q=d.getElementById('q');"
                              u"function find(x){q.value=x;q.dispatchEvent(new w.Event('input'))}"
                              u"function key(k){d.getElementById('tv').dispatchEvent(new "
                              u"w.KeyboardEvent('keydown',{key:k,bubbles:true}))}"_s;
        QTest::newRow("tree") << u"return "_s + tree << u"one 5|sub 2|two 2"_s;
        QTest::newRow("expand") << u"d.querySelector('#tv .r:nth-child(2) .tg').click();return "_s +
                                       tree
                                << u"one 5|sub 2|deep 1|two 2"_s;
        QTest::newRow("first folder") << u"return "_s + rows << u"sub/|a.txt|b 9.txt|b 10.txt"_s;
        QTest::newRow("by size") << u"d.querySelector('#hd [data-k=s]').click();return "_s + rows
                                 << u"sub/|b 10.txt|a.txt|b 9.txt"_s;
        QTest::newRow("mask") << input + u"find('B*');return "_s + rows
                              << u"b 9.txt @ one|b 10.txt @ one"_s;
        QTest::newRow("part, with folders")
            << input + u"find('E');return "_s + rows + u"+'|'+d.getElementById('st').textContent"_s
            << u"one/ @ |deep/ @ one / sub|e.txt @ two|找到 2 个文件夹，1 个文件"_s;
        QTest::newRow("nothing") << input +
                                        u"find('zz?');return d.getElementById('st').textContent"_s
                                 << u"没有与“zz?”匹配的文件或文件夹"_s;
        QTest::newRow("keyboard")
            << input +
                   u"key('ArrowDown');key('ArrowRight');key('ArrowRight');key('Enter');"
                   u"return d.getElementById('tv').getAttribute('aria-activedescendant')+"
                   u"'|'+d.getElementById('where').textContent+'|'+"_s +
                   rows
            << u"n2|one / sub / deep|d.txt"_s;
        QTest::newRow("result's folder") << input +
                                                u"find('c.txt');d.querySelector('#lv .r "
                                                u"span:nth-child(2) a:last-child').click();"
                                                u"return q.value+'|'+"_s +
                                                rows
                                         << u"|deep/|c.txt"_s;
    }
    void visitor()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QCOMPARE(run({"--catalog", "out/visit.htm", "one", "two"}), 0);
        QCOMPARE(inChromium(path("out/visit.htm"), script), expected);
    }

    // Every file's link opens exactly that file, from where the catalogue is saved or under
    // its base address.
    void links_data()
    {
        QTest::addColumn<QList<QByteArray>>("extra");
        QTest::addColumn<QString>("start");
        QTest::newRow("relative") << QList<QByteArray>{} << QString();
        QTest::newRow("base") << QList<QByteArray>{"--base", "https://example.org/dl/"}
                              << u"https://example.org/dl/"_s;
    }
    void links()
    {
        QFETCH(QList<QByteArray>, extra);
        QFETCH(QString, start);
        if (ChromiumProgram().isEmpty())
            QSKIP("chromium is not installed; ./dev.sh test installs it");
        QCOMPARE(run(QList<QByteArray>{"--catalog", "out/links.htm", "two"} + extra), 0);
        const QString hrefs =
            inChromium(path("out/links.htm"),
                       u"return [...d.querySelectorAll('#lv .r a')].map(a=>a.href).join('\\n')"_s);
        // The base address stands for the catalogue's folder, from which the tree is "../two/".
        const QString folder =
            start.isEmpty()
                ? u"file://"_s + QString::fromLatin1(path("two/").toPercentEncoding("/"))
                : u"https://example.org/two/"_s;
        const QStringList expected = {folder + u"e.txt"_s, folder + u"x%26%3Cy%3E.txt"_s};
        QCOMPARE(hrefs.split(u'\n'), expected);
    }

    // A catalogue the window asks for says whether its file was written, and why not.
    void forTheWindow_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("said");
        QTest::newRow("written") << QByteArray("out/window.htm") << false << true << QString();
        QTest::newRow("no such folder")
            << QByteArray("missing/window.htm") << false << false << u"missing/window.htm"_s;
        QTest::newRow("stopped") << QByteArray("out/stopped.htm") << true << false << QString();
    }
    void forTheWindow()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, stop);
        QFETCH(bool, written);
        QFETCH(QString, said);
        CatalogueJob job;
        job.file = path(file);
        job.folder = path("one");
        job.stopped = [stop] { return stop; };
        const CatalogueResult result = MakeCatalogue(job, fs_, QLocale(u"zh_CN"_s));
        QCOMPARE(result.written, written);
        QCOMPARE(result.stopped, stop);
        QCOMPARE(QFile::exists(QFile::decodeName(job.file)), written);
        QVERIFY2(result.messages.contains(said), qPrintable(result.messages));
        QCOMPARE(result.messages.isEmpty(), said.isEmpty());
    }

    // What a catalogue takes and refuses, each refusal in one line.
    void arguments_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<QString>("refused");
        QTest::newRow("several trees")
            << QList<QByteArray>{"--catalog", "c.htm", "a", "b"} << QString();
        QTest::newRow("with --tree") << QList<QByteArray>{"--catalog", "c.htm", "--tree"}
                                     << u"--catalog does not take --tree"_s;
        QTest::newRow("with a style") << QList<QByteArray>{"--catalog", "c.htm", "--style", "json"}
                                      << u"--catalog does not take --style"_s;
        QTest::newRow("no file") << QList<QByteArray>{"--catalog", ""}
                                 << u"the output file name is empty"_s;
        QTest::newRow("empty folder")
            << QList<QByteArray>{"--catalog", "c.htm", "a", ""} << u"the folder name is empty"_s;
    }
    void arguments()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(QString, refused);
        const auto parsed = ParseWriterArguments(arguments);
        if (refused.isEmpty()) {
            QVERIFY(std::holds_alternative<WriterRequest>(parsed));
            QCOMPARE(std::get<WriterRequest>(parsed).folders, arguments.mid(2));
        } else {
            QVERIFY(std::holds_alternative<QString>(parsed));
            QVERIFY2(std::get<QString>(parsed).contains(refused),
                     qPrintable(std::get<QString>(parsed)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCatalog)
#include "tst_catalog.moc"
