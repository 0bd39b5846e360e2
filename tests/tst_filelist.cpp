#include "fakefilesystem.h"
#include "page/folderpage.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <map>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

QStringList texts(const FolderFiles &listing)
{
    QStringList out;
    for (const NativeName &n : listing.names)
        out.append(n.text);
    return out;
}

bool touch(const char *path)
{
    const int fd = ::open(path, O_CREAT | O_WRONLY, 0644);
    return fd >= 0 && ::close(fd) == 0;
}

} // namespace

class TestFileList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void order_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("case ignored, ties by exact name")
            << u"en_US"_s << QStringList{u"b.txt"_s, u"a.txt"_s, u"B.txt"_s, u"A.txt"_s}
            << QStringList{u"A.txt"_s, u"a.txt"_s, u"B.txt"_s, u"b.txt"_s};
        QTest::newRow("pinyin under zh_CN")
            << u"zh_CN"_s << QStringList{u"中.txt"_s, u"张.txt"_s, u"啊.txt"_s}
            << QStringList{u"啊.txt"_s, u"张.txt"_s, u"中.txt"_s};
        QTest::newRow("digits as text") << u"en_US"_s << QStringList{u"10"_s, u"9"_s, u"1"_s}
                                        << QStringList{u"1"_s, u"10"_s, u"9"_s};
    }
    void order()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, names);
        QFETCH(QStringList, sorted);
        test::FakeFileSystem fs;
        for (const QString &n : names)
            fs.add("/d", n.toUtf8());
        QCOMPARE(texts(ListFolderFiles(fs, "/d", u"*.*"_s, FileSorter(QLocale(locale)))), sorted);
    }

    void patternAndHidden()
    {
        test::FakeFileSystem fs;
        for (const char *n : {"a.TXT", ".hidden.txt", "b.doc", "c.txt", "d.html", "e.htm"})
            fs.add("/d", n);
        const QLocale en(u"en_US"_s);
        QCOMPARE(texts(ListFolderFiles(fs, "/d", u"*.txt;*.htm;*.txt"_s, FileSorter(en))),
                 (QStringList{u"a.TXT"_s, u"c.txt"_s, u"e.htm"_s}));
        QCOMPARE(texts(ListFolderFiles(fs, "/d", u"*.zzz"_s, FileSorter(en))), QStringList{});
        QCOMPARE(ListFolderFiles(fs, "/d", u"*.*"_s, FileSorter(en)).names.size(), 5);
    }

    // Far beyond what a 16-bit count could hold: every file is listed, and the facts read on
    // a second core while the list is sorted follow each file to its place.
    void noCountLimit()
    {
        test::FakeFileSystem fs;
        // Added in reverse, so that sorting moves every name.
        for (int i = 39999; i >= 0; --i)
            fs.add("/big", QByteArray::number(100000 + i) + ".dat", FileFacts{i, 1017396245});
        const FolderFiles listing =
            ListFolderFiles(fs, "/big", u"*.dat"_s, FileSorter(QLocale(u"zh_CN"_s)), true);
        QCOMPARE(listing.names.size(), 40000);
        QCOMPARE(listing.names.back().text, u"139999.dat"_s);
        for (qsizetype i = 0; i < listing.names.size(); ++i)
            QCOMPARE(listing.facts->factsAt(i)->size, i);
    }

    // Ordered by facts read on two threads at once: each name keeps its own facts, and the
    // order follows them, ties in name order.
    void orderByFacts_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("reverse");
        QTest::newRow("largest first") << int(SortKey::Size) << false;
        QTest::newRow("oldest first") << int(SortKey::Modified) << true;
        QTest::newRow("names backwards") << int(SortKey::Name) << true;
    }
    void orderByFacts()
    {
        QFETCH(int, key);
        QFETCH(bool, reverse);
        test::FakeFileSystem fs;
        for (int i = 0; i < 4000; ++i)
            fs.add("/o", QByteArray::number(10000 + i) + ".dat",
                   FileFacts{(i * 7919) % 1000, std::nullopt, 1017396245 + i % 500});
        const FileOrder order{SortKey(key), reverse};
        const FolderFiles listing =
            ListFolderFiles(fs, "/o", u"*.*"_s, FileSorter(QLocale(u"en_US"_s)), true, order);
        QCOMPARE(listing.names.size(), 4000);
        for (qsizetype i = 0; i < listing.names.size(); ++i) {
            const int n = listing.names[i].text.left(5).toInt() - 10000;
            const std::optional<FileFacts> facts = listing.facts->factsAt(i);
            QVERIFY(facts);
            QCOMPARE(facts->size, (n * 7919) % 1000);
            if (i == 0)
                continue;
            if (key == int(SortKey::Name)) {
                QVERIFY(listing.names[i - 1].text > listing.names[i].text);
                continue;
            }
            const std::optional<FileFacts> before = listing.facts->factsAt(i - 1);
            const qint64 a = key == int(SortKey::Size) ? before->size : *before->modifiedTime;
            const qint64 b = key == int(SortKey::Size) ? facts->size : *facts->modifiedTime;
            QVERIFY(reverse ? a <= b : a >= b);
            if (a == b)
                QVERIFY(listing.names[i - 1].text < listing.names[i].text);
        }
    }

    // Folder lines follow the order too: by their dates (newest first, unknown last), by name
    // for an order by size, which folders have none; reversed on request; the parent first.
    void folderOrder_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("reverse");
        QTest::addColumn<QStringList>("folders");
        QTest::newRow("by date") << int(SortKey::Modified) << false
                                 << QStringList{u"b/"_s, u"c/"_s, u"a/"_s, u"d/"_s};
        QTest::newRow("by date, reversed")
            << int(SortKey::Modified) << true << QStringList{u"a/"_s, u"c/"_s, u"b/"_s, u"d/"_s};
        QTest::newRow("by size: by name")
            << int(SortKey::Size) << false << QStringList{u"a/"_s, u"b/"_s, u"c/"_s, u"d/"_s};
        QTest::newRow("by name, reversed")
            << int(SortKey::Name) << true << QStringList{u"d/"_s, u"c/"_s, u"b/"_s, u"a/"_s};
    }
    void folderOrder()
    {
        QFETCH(int, key);
        QFETCH(bool, reverse);
        QFETCH(QStringList, folders);
        test::FakeFileSystem fs;
        const qint64 times[] = {100, 300, 200};
        for (const char *name : {"a", "b", "c", "d"}) {
            fs.addFolder(QByteArray("/f/") + name);
            // d's facts cannot be read.
            if (name[0] != 'd')
                fs.setFacts("/f", name, FileFacts{-1, std::nullopt, times[name[0] - 'a']});
        }
        FolderPageRequest request;
        request.folderLinks = FolderLinks::Folders;
        request.order = {SortKey(key), reverse};
        const FolderPage page = PrepareFolderPage(fs, "/f", request, FileSorter(QLocale::c()));
        QStringList shown;
        for (const FolderEntry &line : page.model.folders)
            shown.append(line.shown);
        QCOMPARE(shown, folders);
    }

    // On storage whose answers take a millisecond, many facts are asked for at once, and the
    // list and its facts are exactly what one request at a time gives: files whose facts
    // cannot be read (gone meanwhile) included, in lists too short and long enough for a
    // second thread.
    void slowStorage_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("latency"); // microseconds
        QTest::addColumn<bool>("sorted"); // by date, which needs every fact first
        QTest::newRow("short list, fast") << 40 << 0 << false;
        QTest::newRow("short list, slow") << 40 << 1000 << false;
        QTest::newRow("long list, slow") << 1500 << 1000 << false;
        QTest::newRow("long list, slow, by date") << 1500 << 1000 << true;
    }
    void slowStorage()
    {
        QFETCH(int, files);
        QFETCH(int, latency);
        QFETCH(bool, sorted);
        test::FakeFileSystem fs;
        std::map<QByteArray, std::optional<FileFacts>> expected;
        for (int i = 0; i < files; ++i) {
            const QByteArray name = "f" + QByteArray::number(i * 7919 % files) + ".dat";
            // Every ninth file is gone by the time its facts are asked for.
            const std::optional<FileFacts> facts =
                i % 9 == 4 ? std::nullopt
                           : std::optional<FileFacts>(FileFacts{i, 1000000 + i, 2000000 - i});
            fs.add("/share", name, facts);
            expected[name] = facts;
        }
        fs.latency = std::chrono::microseconds(latency);
        FileOrder order;
        if (sorted)
            order.key = SortKey::Modified;
        const FolderFiles listing =
            ListFolderFiles(fs, "/share", u"*.*"_s, FileSorter(QLocale(u"en_US"_s)), true, order);
        QCOMPARE(listing.names.size(), files);
        for (qsizetype i = 0; i < listing.names.size(); ++i)
            QCOMPARE(listing.facts->factsAt(i), expected[listing.names[i].bytes]);
        QCOMPARE(fs.statCalls.load(), files); // each file asked once
        // Readers started as the latency calls for, however busy the machine keeps them.
        if (latency > 0)
            QVERIFY2(listing.facts->readers() > 4,
                     qPrintable(QString::number(listing.facts->readers())));
    }

    void unreadableFolder()
    {
        test::FakeFileSystem fs;
        fs.addFolder("/locked", EACCES);
        const FolderFiles listing =
            ListFolderFiles(fs, "/locked", u"*.*"_s, FileSorter(QLocale(u"zh_CN"_s)));
        QCOMPARE(listing.error, EACCES);
        QVERIFY(listing.names.isEmpty());
        QCOMPARE(ListFolderFiles(fs, "/missing", u"*.*"_s, FileSorter(QLocale(u"zh_CN"_s))).error,
                 ENOENT);
    }

    // The real file system: only regular files, and names of any bytes.
    void realFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray d = QFile::encodeName(dir.path()) + '/';
        const auto at = [&d](const char *name) { return QByteArray(d + name); };
        QVERIFY(touch(at("plain.txt").constData()));
        QVERIFY(touch(at(".dotfile").constData()));
        QVERIFY(touch(at("gbk\xd6\xd0.txt").constData()));
        QVERIFY(touch(at("bad\xff.txt").constData()));
        QVERIFY(touch(at("new\nline").constData()));
        QCOMPARE(::mkdir(at("x.txt").constData(), 0755), 0);
        QCOMPARE(::mkfifo(at("fifo").constData(), 0644), 0);
        QCOMPARE(::symlink("plain.txt", at("good-link").constData()), 0);
        QCOMPARE(::symlink("nowhere", at("broken-link").constData()), 0);
        QCOMPARE(::symlink("loop", at("loop").constData()), 0);
        QCOMPARE(::symlink("x.txt", at("folder-link").constData()), 0);
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray sockPath = d + "sock";
        if (size_t(sockPath.size()) < sizeof addr.sun_path) {
            qstrcpy(addr.sun_path, sockPath.constData());
            QCOMPARE(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        }
        ::close(sock);

        const RealFileSystem fs;
        const FolderFiles listing =
            ListFolderFiles(fs, d, u"*.*"_s, FileSorter(QLocale(u"en_US"_s)));
        QCOMPARE(listing.error, 0);
        QList<QByteArray> bytes;
        for (const NativeName &n : listing.names)
            bytes.append(n.bytes);
        std::sort(bytes.begin(), bytes.end());
        QCOMPARE(bytes, (QList<QByteArray>{"bad\xff.txt", "gbk\xd6\xd0.txt", "good-link",
                                           "new\nline", "plain.txt"}));
        for (const NativeName &n : listing.names) {
            if (n.bytes == "gbk\xd6\xd0.txt") {
                QCOMPARE(n.text, u"gbk中.txt"_s);
                QVERIFY(!n.exact);
            } else if (n.bytes == "bad\xff.txt") {
                QCOMPARE(n.text, u"bad\uFFFD.txt"_s);
            }
        }
        // One reading for both kinds sorts every entry as the reading of one kind does, in a
        // walk (links judged by where they lead) too.
        FolderRef walked(d);
        walked.linksWithin = d.chopped(1);
        for (const FolderRef &ref : {FolderRef(d), walked}) {
            const FolderEntries both = fs.entries(ref);
            const FolderListing files = fs.regularFiles(ref), folders = fs.subFolders(ref);
            QCOMPARE(both.files.names, files.names);
            QCOMPARE(both.files.links, files.links);
            QCOMPARE(both.folders.names, folders.names);
            QCOMPARE(both.folders.links, folders.links);
            QCOMPARE(QSet<QByteArray>(folders.names.begin(), folders.names.end()),
                     (QSet<QByteArray>{"x.txt", "folder-link"}));
        }
        const auto folder = fs.openFacts(d);
        const std::optional<FileFacts> facts = folder->facts("good-link");
        QVERIFY(facts);
        QCOMPARE(facts->size, 0);
        QVERIFY(!folder->facts("broken-link"));
    }

    void missingRealFolder()
    {
        QTemporaryDir dir;
        const RealFileSystem fs;
        const QByteArray gone = QFile::encodeName(dir.path()) + "/gone";
        QCOMPARE(ListFolderFiles(fs, gone, u"*.*"_s, FileSorter(QLocale(u"zh_CN"_s))).error,
                 ENOENT);
        QCOMPARE(ListFolderFiles(fs, "/dev/null", u"*.*"_s, FileSorter(QLocale(u"zh_CN"_s))).error,
                 ENOTDIR);
    }

    void trimAtNul()
    {
        QCOMPARE(TrimAtNul(QByteArrayView("x\0y", 3)), QByteArrayView("x"));
        QCOMPARE(TrimAtNul(QByteArrayView("xy")), QByteArrayView("xy"));
    }
};

QTEST_GUILESS_MAIN(TestFileList)
#include "tst_filelist.moc"
