// --tree as a publisher leaves it to cron: pages taken down when a folder is no longer
// indexed, pages that stay linked when a full disk or an immutable file keeps them from being
// replaced, folders that keep their dates, and temporary files of interrupted runs cleared.
#include "output/newfile.h"
#include "runprogram.h"
#include "testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace dirweaver::test;
using namespace Qt::StringLiterals;

namespace {

Run tree(const QStringList &arguments)
{
    return RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE), QStringList{u"--tree"_s} + arguments);
}

QByteArray bytes(const QString &path)
{
    return QFile::encodeName(path);
}

// The page --tree writes into folder, under its own name.
QString pageOf(const QString &folder)
{
    return folder + u'/' + QFileInfo(folder).fileName() + u".htm"_s;
}

// A folder's modification time, to the nanosecond.
timespec modified(const QString &path)
{
    struct stat st
    {
    };
    ::stat(bytes(path).constData(), &st);
    return st.st_mtim;
}

bool operator==(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

class TestPublish : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    // top, with alpha/ and zeta/ (which holds deep/) and .dot/, each with a file.
    QString makeTree(const QString &name)
    {
        const QString top = dir_.filePath(name);
        for (const QString &folder : {u"/alpha"_s, u"/zeta/deep"_s, u"/.dot"_s})
            QDir().mkpath(top + folder);
        for (const QString &file : {u"/a.txt"_s, u"/alpha/b.txt"_s, u"/zeta/c.txt"_s,
                                    u"/zeta/deep/d.txt"_s, u"/.dot/e.txt"_s})
            WriteFile(top + file, "x");
        return top;
    }
    QString tag() const { return QString::fromUtf8(QTest::currentDataTag()); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // A folder no longer indexed loses the pages of earlier runs, its own and those below
    // it, and its parent's link; a hand-made page, or anything reached through a link, stays.
    // A smaller --depth leaves the deeper pages as they are.
    void takeDown_data()
    {
        QTest::addColumn<QStringList>("first");  // the run that wrote the pages
        QTest::addColumn<QString>("change");     // what the publisher does then
        QTest::addColumn<QStringList>("second"); // the run after it
        QTest::addColumn<QStringList>("gone");   // pages (below top) removed
        QTest::addColumn<int>("removed");        // as the summary counts them
        const QStringList zeta = {u"zeta/zeta.htm"_s, u"zeta/deep/deep.htm"_s};
        QTest::newRow(".noindex") << QStringList() << u"noindex"_s << QStringList() << zeta << 2;
        QTest::newRow("--exclude")
            << QStringList() << QString() << QStringList{u"--exclude"_s, u"ZET*"_s} << zeta << 2;
        QTest::newRow("a dot-folder without --hidden")
            << QStringList{u"--hidden"_s} << QString() << QStringList()
            << QStringList{u".dot/.dot.htm"_s} << 1;
        QTest::newRow("a hand-made page stays")
            << QStringList() << u"hand-made"_s << QStringList{u"--exclude"_s, u"zeta"_s}
            << QStringList() << 0;
        QTest::newRow("a page through a link stays")
            << QStringList() << u"link"_s << QStringList{u"--exclude"_s, u"zeta"_s} << QStringList()
            << 0;
        QTest::newRow("a smaller --depth leaves deeper pages")
            << QStringList() << QString() << QStringList{u"--depth"_s, u"1"_s} << QStringList()
            << 0;
    }
    void takeDown()
    {
        QFETCH(QStringList, first);
        QFETCH(QString, change);
        QFETCH(QStringList, second);
        QFETCH(QStringList, gone);
        QFETCH(int, removed);
        const QString top = makeTree(u"down "_s + tag());
        QCOMPARE(tree(first + QStringList{top}).status, 0);
        const QString kept = dir_.filePath(u"kept "_s + tag());
        if (change == u"noindex") {
            WriteFile(top + u"/zeta/.noindex"_s, QByteArray());
        } else if (change == u"hand-made") {
            WriteFile(top + u"/zeta/zeta.htm"_s, "my own notes\n");
        } else if (change == u"link") {
            // The page of zeta is elsewhere now, reached only through a link.
            QVERIFY(QFile::rename(top + u"/zeta/zeta.htm"_s, kept));
            QVERIFY(QFile::link(kept, top + u"/zeta/zeta.htm"_s));
        }
        const Run run = tree(second + QStringList{top});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains(removed > 0 ? QByteArray(QByteArray::number(removed) + " removed")
                                              : QByteArray("0 skipped, ")) &&
                     (removed > 0 || !run.err.contains(" removed")),
                 run.err.constData());
        for (const QString &page : {u"alpha/alpha.htm"_s, u"zeta/zeta.htm"_s,
                                    u"zeta/deep/deep.htm"_s, u".dot/.dot.htm"_s}) {
            const bool written = !page.startsWith(u'.') || first.contains(u"--hidden"_s);
            QVERIFY2(QFileInfo::exists(top + u'/' + page) == (written && !gone.contains(page)),
                     qPrintable(page));
        }
        const QByteArray parent = ReadFile(pageOf(top));
        for (const QString &page : gone)
            QVERIFY(!parent.contains(bytes(page.section(u'/', 0, 0) + u'/')));
        if (change == u"hand-made")
            QCOMPARE(ReadFile(top + u"/zeta/zeta.htm"_s), QByteArray("my own notes\n"));
        if (change == u"link")
            QVERIFY(ReadFile(kept).contains("Dirweaver --tree"));
    }

    // A page that cannot be replaced (no inode or space left, an immutable or append-only
    // file) keeps its parent's link, and the run says why; an unchanged page is compared
    // without a byte written, so a full disk is no failure for it.
    void cannotReplace_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("changed"); // the page's folder gained a file since
        QTest::addColumn<int>("status");
        QTest::newRow("no inode left, page unchanged") << u"full"_s << false << 0;
        QTest::newRow("no inode left, page changed") << u"full"_s << true << 1;
        QTest::newRow("immutable page") << u"immutable"_s << true << 1;
        QTest::newRow("append-only page") << u"append"_s << true << 1;
    }
    void cannotReplace()
    {
        QFETCH(QString, how);
        QFETCH(bool, changed);
        QFETCH(int, status);
        if (::geteuid() != 0)
            QSKIP("needs root, to mount a small file system and set file flags");
        const QString top = dir_.filePath(u"small "_s + tag());
        QDir().mkpath(top);
        if (::mount("tmpfs", bytes(top).constData(), "tmpfs", 0, "nr_inodes=64,size=1m") != 0)
            QSKIP("cannot mount a tmpfs here");
        const QString sub = top + u"/sub"_s;
        const auto unmount = qScopeGuard([&] {
            for (const QString &page : {pageOf(sub), pageOf(top)}) {
                const int fd = ::open(bytes(page).constData(), O_RDONLY);
                int flags = 0;
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
                ::close(fd);
            }
            ::umount2(bytes(top).constData(), MNT_DETACH);
        });
        QDir().mkpath(sub);
        WriteFile(sub + u"/a.txt"_s, "x");
        QCOMPARE(tree({top}).status, 0);
        if (changed)
            WriteFile(sub + u"/b.txt"_s, "x");
        if (how == u"full") {
            // In a folder no page lists, so that only the sub-folder's page changes.
            QDir().mkpath(top + u"/.filler"_s);
            for (int i = 0; QFile(top + u"/.filler/%1"_s.arg(i)).open(QIODevice::WriteOnly); ++i) {
            }
        } else {
            const int fd = ::open(bytes(pageOf(sub)).constData(), O_RDONLY);
            int flags = how == u"immutable" ? FS_IMMUTABLE_FL : FS_APPEND_FL;
            if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
                QSKIP("this file system keeps no such flags");
            ::close(fd);
        }
        const Run run = tree({top});
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(status == 0 ? "0 skipped" : "1 skipped"), run.err.constData());
        QVERIFY(ReadFile(pageOf(sub)).contains("a.txt"));
        QVERIFY(ReadFile(pageOf(top)).contains("sub/sub.htm"));
    }

    // A folder whose page is written or taken down keeps its modification time, so that
    // folders ordered by date mean what they say and a mirror's dates stay.
    void folderTimes()
    {
        const QString top = makeTree(u"times"_s);
        const timespec old{1000000000, 123456789};
        const auto age = [&](const QString &folder) {
            const timespec times[2] = {{0, UTIME_OMIT}, old};
            QVERIFY(::utimensat(AT_FDCWD, bytes(folder).constData(), times, 0) == 0);
        };
        const QStringList folders = {top, top + u"/alpha"_s, top + u"/zeta"_s};
        for (const QString &folder : folders)
            age(folder);
        QCOMPARE(tree({top}).status, 0);
        for (const QString &folder : folders)
            QVERIFY2(modified(folder) == old, qPrintable(folder));
        // The sub-folders, by date on the top page: alpha (older) last.
        const QString newer = top + u"/zeta"_s;
        const timespec times[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
        QVERIFY(::utimensat(AT_FDCWD, bytes(newer).constData(), times, 0) == 0);
        QCOMPARE(tree({u"--sort"_s, u"modified"_s, top}).status, 0);
        const QByteArray page = ReadFile(pageOf(top));
        QVERIFY(page.indexOf("zeta/") < page.indexOf("alpha/"));
        // Taken down, zeta's page goes and zeta keeps its time.
        QCOMPARE(tree({u"--exclude"_s, u"zeta"_s, top}).status, 0);
        QVERIFY(!QFile::exists(pageOf(newer)));
        QVERIFY(modified(newer) == times[1]);
    }

    // The temporary files of an interrupted run are cleared from folders a later run writes
    // in: only the running user's own, at least a day old, and never through a link.
    void leftTemporaries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("age"); // seconds
        QTest::addColumn<bool>("link");
        QTest::addColumn<bool>("removed");
        QTest::newRow("two days old")
            << u".dirweaver-1ab2c3"_s << qint64(2 * 86400) << false << true;
        QTest::newRow("an hour old") << u".dirweaver-1ab2c3"_s << qint64(3600) << false << false;
        QTest::newRow("another name")
            << u".dirweaver-notes.txt"_s << qint64(2 * 86400) << false << false;
        QTest::newRow("a link named like one")
            << u".dirweaver-4d5e6f"_s << qint64(2 * 86400) << true << false;
    }
    void leftTemporaries()
    {
        QFETCH(QString, name);
        QFETCH(qint64, age);
        QFETCH(bool, link);
        QFETCH(bool, removed);
        const QString top = makeTree(u"left "_s + tag());
        const QString left = top + u"/alpha/"_s + name;
        const QString target = dir_.filePath(u"target "_s + tag());
        WriteFile(link ? target : left, QByteArray());
        if (link)
            QVERIFY(QFile::link(target, left));
        const timespec times[2] = {{::time(nullptr) - age, 0}, {::time(nullptr) - age, 0}};
        QVERIFY(::utimensat(AT_FDCWD, bytes(left).constData(), times, AT_SYMLINK_NOFOLLOW) == 0);
        QCOMPARE(tree({top}).status, 0);
        QCOMPARE(QFileInfo::exists(left) || QFileInfo(left).isSymLink(), !removed);
        if (link)
            QVERIFY(QFile::exists(target));
    }

    // As many temporary files at once as a tree run on slow storage writes pages (96 threads)
    // are all made, and none is left; past what the signal handler can hold, a file waits for
    // room, and is refused only when none comes.
    void temporariesAtOnce()
    {
        const QString folder = dir_.filePath(u"at once"_s);
        QVERIFY(QDir().mkpath(folder));
        const int dirFd = ::open(bytes(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(dirFd >= 0);
        const auto closeFolder = qScopeGuard([dirFd] { ::close(dirFd); });
        {
            std::vector<std::unique_ptr<dirweaver::NamedTemporary>> files;
            for (int i = 0; i < 100; ++i) {
                files.push_back(std::make_unique<dirweaver::NamedTemporary>());
                const int fd = files.back()->create(dirFd, 0600);
                QVERIFY2(fd >= 0, strerror(errno));
                ::close(fd);
            }
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 100);
        }
        QVERIFY(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPublish)
#include "tst_publish.moc"
