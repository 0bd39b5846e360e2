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
        QProcess mirror;
        mirror.setProgram(slowfs);
        mirror.setArguments({source_, mount_, u"1000"_s});
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DIRWEAVER_SLOWFS_STATS"_s, stats_);
        mirror.setProcessEnvironment(env);
        mirror.start();
        if (!mirror.waitForFinished(30000) || mirror.exitCode() != 0)
            QSKIP(qPrintable(u"this machine does not allow a FUSE mount: "_s +
                             QString::fromLocal8Bit(mirror.readAllStandardError())));
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

    // Byte for byte the page of the folder read directly, every name and fact in place.
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
        QVERIFY2(stats.split(' ').value(1).trimmed().toInt() > 4, stats.constData());
    }
};

QTEST_GUILESS_MAIN(TestShare)
#include "tst_share.moc"
