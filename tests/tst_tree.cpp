// One page in every folder of a tree: which folders get one, what each links to, what is
// skipped and said, and what a terminal sees while it runs.
#include "cli/tree.h"
#include "pagereader.h"
#include "runprogram.h"
#include "testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

using namespace dirweaver;
using namespace dirweaver::test;
using namespace Qt::StringLiterals;

namespace {

test::Run tree(const QStringList &arguments)
{
    return test::RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE),
                            QStringList{u"--tree"_s} + arguments);
}

// The paths the links of the page at path open, each resolved against its folder.
QList<QByteArray> targets(const QByteArray &path)
{
    const QByteArray folder = path.left(path.lastIndexOf('/') + 1);
    QList<QByteArray> opened;
    for (const Link &link : Parse(FromGbk(ReadFile(QFile::decodeName(path)))).links) {
        QString why;
        opened.append(link.text.toUtf8() + " -> " + ResolvedPath(folder, link.href, &why));
    }
    return opened;
}

} // namespace

class TestTree : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    // top/ with a.txt, "sub one"/b.txt, "sub one"/deep/c.txt, an empty folder, a dot-folder
    // and a link to a folder: the last two get no page and no line.
    QString makeTree(const QString &name)
    {
        const QString top = dir_.filePath(name);
        for (const QString &folder : {u"/sub one/deep"_s, u"/empty"_s, u"/.hidden"_s})
            QDir().mkpath(top + folder);
        for (const QString &file :
             {u"/a.txt"_s, u"/sub one/b.txt"_s, u"/sub one/deep/c.txt"_s, u"/.hidden/h.txt"_s})
            WriteFile(top + file, "x");
        QFile::link(top + u"/empty"_s, top + u"/link"_s);
        return top;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // Each folder's page: its parent's page first, its sub-folders' pages, then its files,
    // and never a generated page among them.
    void pages_data()
    {
        QTest::addColumn<QString>("name"); // empty: each folder's own name
        QTest::newRow("own names") << QString();
        QTest::newRow("index.htm") << u"index.htm"_s;
    }
    void pages()
    {
        QFETCH(QString, name);
        const QString top = makeTree(u"Pages"_s + name);
        const QStringList naming = name.isEmpty() ? QStringList{} : QStringList{u"--name"_s, name};
        const Run run = tree(naming + QStringList{top});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.startsWith("dirweaver: ") && run.err.count('\n') == 1,
                 run.err.constData());
        QVERIFY(run.err.contains("4 pages written, 0 unchanged, 3 files listed, 0 skipped"));

        const auto page = [&](const QString &folder) {
            const QString own = folder.section(u'/', -1) + u".htm"_s;
            return QFile::encodeName(folder + u'/' + (name.isEmpty() ? own : name));
        };
        const QString sub = top + u"/sub one"_s, deep = sub + u"/deep"_s, empty = top + u"/empty"_s;
        const auto line = [](const QString &text, const QByteArray &path) {
            return QByteArray(text.toUtf8() + " -> " + path);
        };
        QCOMPARE(targets(page(top)),
                 (QList<QByteArray>{line(u"empty/"_s, page(empty)), line(u"sub one/"_s, page(sub)),
                                    line(u"a.txt"_s, QFile::encodeName(top + u"/a.txt"_s))}));
        QCOMPARE(targets(page(sub)),
                 (QList<QByteArray>{line(u"上一级/"_s, page(top)), line(u"deep/"_s, page(deep)),
                                    line(u"b.txt"_s, QFile::encodeName(sub + u"/b.txt"_s))}));
        QCOMPARE(targets(page(deep)).value(0), line(u"上一级/"_s, page(sub)));
        QCOMPARE(targets(page(empty)), (QList<QByteArray>{line(u"上一级/"_s, page(top))}));
        QVERIFY(QDir(top + u"/.hidden"_s).entryList(QDir::Files) == QStringList{u"h.txt"_s});
    }

    // Sub-folders are linked in the order each format lists names: the table page's with
    // the numbers in them by value, as its script sorts them; the classic page's as the design.
    void subFolderOrder_data()
    {
        QTest::addColumn<QString>("style");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("classic") << u"classic"_s << QStringList{u"s1"_s, u"s10"_s, u"s2"_s};
        QTest::newRow("table") << u"table"_s << QStringList{u"s1"_s, u"s2"_s, u"s10"_s};
    }
    void subFolderOrder()
    {
        QFETCH(QString, style);
        QFETCH(QStringList, order);
        const QString top = dir_.filePath(u"Order "_s + style);
        for (const QString &sub : {u"s10"_s, u"s2"_s, u"s1"_s})
            QVERIFY(QDir().mkpath(top + u'/' + sub));
        QCOMPARE(tree({u"--style"_s, style, u"--name"_s, u"i.htm"_s, top}).status, 0);
        const QByteArray page = ReadFile(top + u"/i.htm"_s);
        QList<qsizetype> places;
        for (const QString &sub : order)
            places.append(page.indexOf(QByteArray(sub.toUtf8() + "/i.htm")));
        QVERIFY2(!places.contains(-1) && std::is_sorted(places.begin(), places.end()),
                 page.constData());
    }

    // A sub-folder's page done before the walk leaves its parent (here, while the walk reads
    // a sibling that asks for no page, which waits for that page) is still linked from the
    // parent's page.
    void subPageDoneFirst()
    {
        const QString top = dir_.filePath(u"DoneFirst"_s);
        QVERIFY(QDir().mkpath(top + u"/a"_s) && QDir().mkpath(top + u"/zz"_s));
        WriteFile(top + u"/zz/.noindex"_s, "");
        struct AfterPage final : SystemCalls
        {
            QString page;
            dirent *readEntry(DIR *dir) const override
            {
                dirent *entry = SystemCalls::readEntry(dir);
                for (int tries = 0; entry && qstrcmp(entry->d_name, ".noindex") == 0 &&
                                    !QFile::exists(page) && tries < 1000;
                     ++tries)
                    usleep(10000);
                return entry;
            }
        } calls;
        calls.page = top + u"/a/a.htm"_s;
        const RealFileSystem fs(calls);
        const auto parsed = ParseWriterArguments({"--tree", QFile::encodeName(top)});
        QBuffer err;
        err.open(QIODevice::WriteOnly);
        QCOMPARE(RunTree(std::get<WriterRequest>(parsed), fs, QLocale(u"zh_CN"_s), "/", err, 0), 0);
        QCOMPARE(targets(QFile::encodeName(top + u"/DoneFirst.htm"_s)),
                 QList<QByteArray>{"a/ -> " + QFile::encodeName(calls.page)});
    }

    // Several styles: each folder gets a page of each, named by its format (a --name taking
    // each one's suffix), none listing the others; a second run leaves them all as they are.
    void severalStyles_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("pages"); // in "sub one", "*" for the folder's own name
        QTest::newRow("table and json") << QStringList{u"--style"_s, u"table,json"_s}
                                        << QStringList{u"*.htm"_s, u"index.json"_s};
        QTest::newRow("named, with csv")
            << QStringList{u"--style=classic,ndjson,csv"_s, u"--name"_s, u"list.htm"_s}
            << QStringList{u"list.htm"_s, u"list.ndjson"_s, u"list.csv"_s};
    }
    void severalStyles()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, pages);
        const QString top = makeTree(u"Styles "_s + QString::fromUtf8(QTest::currentDataTag()));
        Run run = tree(options + QStringList{top});
        QCOMPARE(run.status, 0);
        QVERIFY2(
            run.err.contains(QByteArray(QByteArray::number(4 * pages.size()) + " pages written")),
            run.err.constData());
        const QString sub = top + u"/sub one"_s;
        QStringList expected = pages;
        expected.replaceInStrings(u"*"_s, u"sub one"_s);
        expected.append(u"b.txt"_s);
        QStringList found = QDir(sub).entryList(QDir::Files);
        std::sort(expected.begin(), expected.end());
        QCOMPARE(found, expected);
        // Each lists b.txt and none of the others (its own name is its parent's page).
        for (const QString &page : found) {
            const QByteArray text = ReadFile(sub + u'/' + page);
            for (const QString &other : found)
                QVERIFY2(other == u"b.txt"_s || other == page ||
                             !text.contains(QByteArray(other.toUtf8() + '"')),
                         qPrintable(page + u" lists "_s + other));
            QVERIFY2(page == u"b.txt"_s || text.contains("b.txt"), qPrintable(page));
        }
        run = tree(options + QStringList{top});
        QVERIFY2(run.err.contains(QByteArray(" 0 pages written, " +
                                             QByteArray::number(4 * pages.size()) + " unchanged")),
                 run.err.constData());
    }

    // What is left out of a tree: a folder holding ".noindex", what --exclude names, what
    // lies below --depth; and what --hidden lets in. A page links only the pages written.
    void choices_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("noIndex");    // a folder given a ".noindex", or none
        QTest::addColumn<QStringList>("pages");  // the folders that get one, "" the top
        QTest::addColumn<QStringList>("linked"); // the top page's folder lines
        const QStringList all{QString(), u"sub one"_s, u"sub one/deep"_s, u"empty"_s};
        QTest::newRow(".noindex") << QStringList() << u"sub one"_s
                                  << QStringList{QString(), u"empty"_s} << QStringList{u"empty/"_s};
        QTest::newRow("--depth 0") << QStringList{u"--depth"_s, u"0"_s} << QString()
                                   << QStringList{QString()} << QStringList();
        QTest::newRow("--depth 1") << QStringList{u"--depth=1"_s} << QString()
                                   << QStringList{QString(), u"sub one"_s, u"empty"_s}
                                   << QStringList{u"empty/"_s, u"sub one/"_s};
        QTest::newRow("--exclude a folder")
            << QStringList{u"--exclude"_s, u"SUB ONE"_s} << QString()
            << QStringList{QString(), u"empty"_s} << QStringList{u"empty/"_s};
        QTest::newRow("--hidden") << QStringList{u"--hidden"_s} << QString()
                                  << all + QStringList{u".hidden"_s}
                                  << QStringList{u".hidden/"_s, u"empty/"_s, u"sub one/"_s};
    }
    void choices()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, noIndex);
        QFETCH(QStringList, pages);
        QFETCH(QStringList, linked);
        const QString top = makeTree(u"Choices "_s + QString::fromUtf8(QTest::currentDataTag()));
        if (!noIndex.isEmpty())
            WriteFile(top + u'/' + noIndex + u"/.noindex"_s, "");
        const Run run = tree(options + QStringList{top});
        QCOMPARE(run.status, 0);
        const QStringList every{QString(), u"sub one"_s, u"sub one/deep"_s, u"empty"_s,
                                u".hidden"_s};
        for (const QString &folder : every) {
            const QString path = folder.isEmpty() ? top : top + u'/' + folder;
            const QString page = path + u'/' + path.section(u'/', -1) + u".htm"_s;
            QVERIFY2(QFile::exists(page) == pages.contains(folder), qPrintable(page));
        }
        QStringList lines;
        const QString own = top.section(u'/', -1) + u".htm"_s;
        for (const Link &link : Parse(FromGbk(ReadFile(top + u'/' + own))).links) {
            if (link.text.endsWith(u'/'))
                lines.append(link.text);
        }
        QCOMPARE(lines, linked);
    }

    // A page in the middle of a tree against its golden page. With --base every target
    // starts with the address and the page folder's path below the top, each part escaped as
    // targets are; the parent stays relative. A table page names the folder part once.
    void goldenPage_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("top"); // the top folder's name, which the parent link holds
        const QString base = u"https://example.org/dl/a&b=2"_s;
        QTest::newRow("base") << QStringList{u"--no-date"_s, u"--base"_s, base}
                              << u"tree-base.htm"_s << u"Base"_s;
        QTest::newRow("table") << QStringList{u"--no-date"_s, u"--folders"_s, u"--style"_s,
                                              u"table"_s}
                               << u"tree-table.htm"_s << u"表格"_s;
        QTest::newRow("table, base") << QStringList{u"--no-date"_s, u"--style=table"_s, u"--base"_s,
                                                    u"https://example.org/镜像"_s}
                                     << u"tree-table-base.htm"_s << u"Table base"_s;
        // Its name is markup as text: the heading's link to it shows the name once escaped.
        QTest::newRow("table, markup in the top's name")
            << QStringList{u"--no-date"_s, u"--style=table"_s} << u"tree-table-markup.htm"_s
            << u"A&amp; <b>表"_s;
    }
    void goldenPage()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, file);
        QFETCH(QString, top);
        top = makeTree(top);
        const Run run = tree(options + QStringList{top});
        QCOMPARE(run.status, 0);
        QFile expected(QStringLiteral(DIRWEAVER_TEST_DATA "/") + file);
        QVERIFY(expected.open(QIODevice::ReadOnly));
        QCOMPARE(ReadFile(top + u"/sub one/sub one.htm"_s), expected.readAll());
    }

    // A folder that cannot be written is said and skipped; every other page is written.
    void readOnlyFolder()
    {
        const QString top = makeTree(u"ReadOnly"_s);
        const QByteArray locked = QFile::encodeName(top + u"/sub one/deep"_s);
        if (geteuid() == 0) {
            // Root writes anywhere, except on a read-only file system.
            if (mount("tmpfs", locked.constData(), "tmpfs", MS_RDONLY, nullptr) != 0)
                QSKIP(qPrintable(u"cannot mount a tmpfs here: "_s +
                                 QString::fromLocal8Bit(std::strerror(errno))));
        } else {
            QVERIFY(QFile::setPermissions(QFile::decodeName(locked),
                                          QFile::ReadOwner | QFile::ExeOwner));
        }
        const auto restore = qScopeGuard([&] {
            umount2(locked.constData(), MNT_DETACH);
            QFile::setPermissions(QFile::decodeName(locked),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        const Run run = tree({top});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err.count('\n'), 2); // the skipped folder, then the summary
        QVERIFY2(run.err.contains(locked) && run.err.contains("Read-only file system") !=
                                                 run.err.contains("Permission denied"),
                 run.err.constData());
        QVERIFY(run.err.contains("1 skipped"));
        for (const QString &written :
             QStringList{top + u"/ReadOnly.htm"_s, top + u"/sub one/sub one.htm"_s,
                         top + u"/empty/empty.htm"_s})
            QVERIFY2(QFile::exists(written), qPrintable(written));
    }

    // On a terminal one line is redrawn in place; elsewhere only the summary is written.
    void progress_data()
    {
        QTest::addColumn<int>("columns");
        QTest::newRow("terminal") << 40;
        QTest::newRow("not a terminal") << 0;
    }
    void progress()
    {
        QFETCH(int, columns);
        const QString top = makeTree(u"Progress"_s + QString::number(columns));
        const auto parsed = ParseWriterArguments({"--tree", QFile::encodeName(top)});
        QByteArray said;
        QBuffer err(&said);
        err.open(QIODevice::WriteOnly);
        const RealFileSystem fs;
        QCOMPARE(
            RunTree(std::get<WriterRequest>(parsed), fs, QLocale(u"zh_CN"_s), "/", err, columns),
            0);
        QCOMPARE(said.contains("\r\033[K"), columns > 0);
        // The line is cleared ("\r\033[K") before the summary takes its place.
        const QByteArray summary = columns > 0 ? said.mid(said.lastIndexOf('\r') + 4) : said;
        QVERIFY2(summary.startsWith("dirweaver: ") && summary.count('\n') == 1, said.constData());
        for (const QByteArray &line : said.split('\r'))
            QVERIFY(QString::fromUtf8(line).size() <= qMax(columns, 200));
    }
};

QTEST_GUILESS_MAIN(TestTree)
#include "tst_tree.moc"
