// The writer on a folder seen through a mirror that makes each lookup a round trip and
// answers many at once, as a network share does: the page is the page of the folder read
// directly, byte for byte, with its facts asked for in parallel. Skipped where the machine
// has no FUSE or the mirror was not built.
#include "runprogram.h"
#include "testfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace dirweaver;
using namespace Qt::StringLiterals;

class TestShare : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString source_, mount_, stats_;
    bool mounted_ = false;

    static QByteArray page(const QString &folder)
    {
        const test::Run run = test::RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE),
                                               {u"--write"_s, u"-"_s, u"--relative"_s, u"--date"_s,
                                                u"modified"_s, u"--browser-title"_s, u"share"_s,
                                                u"--header-title"_s, u"share"_s, folder});
        return run.status == 0 ? run.out : QByteArray();
    }

    // Mounts the mirror of source at point, delay µs a lookup, with more of the environment;
    // empty when it is up, else why not.
    static QString mount(const QString &source, const QString &point, int delay,
                         const QList<std::pair<QString, QString>> &more = {})
    {
        QProcess mirror;
        mirror.setProgram(QStringLiteral(DIRWEAVER_SLOWFS));
        mirror.setArguments({source, point, QString::number(delay)});
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : more)
            env.insert(name, value);
        mirror.setProcessEnvironment(env);
        mirror.start();
        if (mirror.waitForFinished(30000) && mirror.exitCode() == 0)
            return {};
        const QString why = QString::fromLocal8Bit(mirror.readAllStandardError()).trimmed();
        return why.isEmpty() ? u"the mirror did not start"_s : why;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString slowfs = QStringLiteral(DIRWEAVER_SLOWFS);
        if (slowfs.isEmpty())
            QSKIP("the slow mirror was not built (libfuse3-dev): ./dev.sh test installs it");
        if (!QFile::exists(u"/dev/fuse"_s))
            QSKIP("this machine has no /dev/fuse");
        QVERIFY(dir_.isValid());
        source_ = dir_.filePath(u"source"_s);
        mount_ = dir_.filePath(u"mount"_s);
        stats_ = dir_.filePath(u"stats"_s);
        QVERIFY(QDir().mkpath(source_) && QDir().mkpath(mount_));
        // Enough files for the facts to go to other threads, some names a share must keep.
        for (int i = 0; i < 1200; ++i)
            test::WriteFile(source_ + u"/报告 %1 #&.txt"_s.arg(i), QByteArray(i % 97, 'x'));
        const QString why = mount(source_, mount_, 1000, {{u"DIRWEAVER_SLOWFS_STATS"_s, stats_}});
        if (!why.isEmpty())
            QSKIP(qPrintable(u"this machine does not allow a FUSE mount: "_s + why));
        mounted_ = true;
    }

    void cleanupTestCase()
    {
        if (mounted_)
            QProcess::execute(u"fusermount3"_s, {u"-u"_s, mount_});
    }

    // A tree through the share, whose folders are looked into ahead and whose pages are
    // written many at once: every page byte for byte what a run on the folder itself writes.
    void sameTreeThroughTheShare()
    {
        const QString top = source_ + u"/tree"_s;
        for (int a = 0; a < 6; ++a) {
            for (int b = 0; b < 5; ++b) {
                const QString folder = top + u"/层 %1/sub %2"_s.arg(a).arg(b);
                QVERIFY(QDir().mkpath(folder));
                for (int f = 0; f < 3 + a * b; ++f)
                    test::WriteFile(folder + u"/f%1.txt"_s.arg(f), QByteArray(f, 'y'));
            }
        }
        test::WriteFile(top + u"/层 2/sub 3/.noindex"_s, "");
        const QStringList options = {
            u"--tree"_s, u"--name"_s,         u"index.htm"_s, u"--no-date"_s, u"--browser-title"_s,
            u"t"_s,      u"--header-title"_s, u"t"_s,         u"--exclude"_s, u"sub 4"_s};
        const auto pages = [&top] {
            QMap<QString, QByteArray> found;
            QDirIterator it(top, {u"index.htm"_s}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                found.insert(path, test::ReadFile(path));
                QFile::remove(path);
            }
            return found;
        };
        QCOMPARE(test::RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE),
                                  options + QStringList{mount_ + u"/tree"_s})
                     .status,
                 0);
        const QMap<QString, QByteArray> shared = pages();
        QCOMPARE(shared.size(), 1 + 6 + 6 * 4 - 1);
        QCOMPARE(test::RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE), options + QStringList{top})
                     .status,
                 0);
        QCOMPARE(pages(), shared);
    }

    // Lookups that fail, or find their file gone since the listing, while many are in flight:
    // the page is the one the same mirror gives without a round trip, where the facts are
    // read one at a time, and those files keep their lines, without facts.
    void faultsThroughTheShare()
    {
        const QString source = dir_.filePath(u"faults"_s);
        QVERIFY(QDir().mkpath(source));
        constexpr int kFiles = 600;
        int lost = 0;
        for (int i = 0; i < kFiles; ++i) {
            const QString mark = i % 7 == 3 ? u" [EIO]"_s : i % 7 == 5 ? u" [gone]"_s : QString();
            lost += !mark.isEmpty();
            test::WriteFile(source + u"/f%1%2.txt"_s.arg(i).arg(mark), QByteArray(i % 50, 'z'));
        }
        const QString slow = dir_.filePath(u"faults-slow"_s),
                      fast = dir_.filePath(u"faults-fast"_s);
        QVERIFY(QDir().mkpath(slow) && QDir().mkpath(fast));
        const QList<std::pair<QString, QString>> faults = {{u"DIRWEAVER_SLOWFS_FAULTS"_s, u"1"_s}};
        QCOMPARE(mount(source, slow, 1000, faults), QString());
        const auto unmountSlow = qScopeGuard([&] {
            QProcess::execute(u"fusermount3"_s, {u"-u"_s, slow});
        });
        QCOMPARE(mount(source, fast, 0, faults), QString());
        const auto unmountFast = qScopeGuard([&] {
            QProcess::execute(u"fusermount3"_s, {u"-u"_s, fast});
        });
        const QByteArray serial = page(fast);
        QCOMPARE(serial.count("<BR>"), kFiles);
        QCOMPARE(serial.count("\xd7\xd6\xbd\xda"), kFiles - lost); // 字节: each size read
        QCOMPARE(page(slow), serial);
    }

    // Byte for byte the page of the folder read directly, every name and fact in place.
    // A file system that allows no extended attribute (the mirror has none): each sum is
    // right, and kept in the user's cache file, where the next run finds it and reads
    // nothing again (the file gains no second line).
    void sumsWithoutAttributes()
    {
        const QString folder = source_ + u"/sums"_s;
        QVERIFY(QDir().mkpath(folder));
        test::WriteFile(folder + u"/a.bin"_s, "abc");
        const QString cache = dir_.filePath(u"cache"_s);
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
        const auto restore = qScopeGuard([] { qunsetenv("XDG_CACHE_HOME"); });
        const QStringList args{u"--write"_s,    u"-"_s,      u"--style"_s,       u"csv"_s,
                               u"--checksum"_s, u"sha256"_s, mount_ + u"/sums"_s};
        const QByteArray abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
        for (int run = 0; run < 2; ++run) {
            const test::Run listed = test::RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE), args);
            QCOMPARE(listed.status, 0);
            QVERIFY2(listed.out.contains(QByteArray(',' + abc + "\r\n")), listed.out.constData());
            const QByteArray kept = test::ReadFile(cache + u"/dirweaver/sha256"_s);
            QCOMPARE(kept.count('\n'), 1);
            QVERIFY(kept.endsWith(QByteArray(' ' + abc + '\n')));
        }
    }

    void samePageThroughTheShare()
    {
        const QByteArray direct = page(source_);
        QVERIFY(!direct.isEmpty());
        QCOMPARE(direct.count("<BR>"), 1200);
        QCOMPARE(page(mount_), direct);
        // The mirror, unmounted, says how many lookups it had under way at once.
        QCOMPARE(QProcess::execute(u"fusermount3"_s, {u"-u"_s, mount_}), 0);
        mounted_ = false;
        QTRY_VERIFY(QFile::exists(stats_));
        const QByteArray stats = test::ReadFile(stats_);
        const QByteArray most = stats.split('\n').value(0); // "most_in_flight N"
        QVERIFY2(most.split(' ').value(1).toInt() > 4, stats.constData());
    }
};

QTEST_GUILESS_MAIN(TestShare)
#include "tst_share.moc"
