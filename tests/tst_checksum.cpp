// The sums of files: right for what the file holds now, kept between runs without reading
// the file again while it is unchanged, and shown by every format.

#include "selection/checksum.h"

#include "runprogram.h"
#include "testfiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

QByteArray sha256(const QByteArray &content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256);
}

// The sum of the file at path, opened as flags: with O_WRONLY nothing can be read, so a sum
// comes only from what was kept.
QByteArray sumOf(const QString &path, SumCache &cache, int flags = O_RDONLY)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return "cannot open";
    const QByteArray sum = FileSha256(fd, cache);
    ::close(fd);
    return sum;
}

// Returns once every stamp the kernel may give a change is past the change time the file's
// kept sum stands for: the coarse clock, a tick behind the precise one, is too.
void waitPastKeptStamp(const QString &path)
{
    char text[160] = {};
    if (::getxattr(QFile::encodeName(path).constData(), kSumAttribute, text, sizeof text - 1) <= 0)
        return;
    const qint64 atMost = QByteArray(text).split(' ').value(4).toLongLong();
    for (;;) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (qint64(now.tv_sec) * 1000000000 + now.tv_nsec > atMost)
            return;
    }
}

bool hasAttribute(const QString &path)
{
    return ::getxattr(QFile::encodeName(path).constData(), kSumAttribute, nullptr, 0) > 0;
}

// Gives path its modification time back, as `touch -r` does.
void setModified(const QString &path, const struct stat &from)
{
    const timespec times[2] = {from.st_atim, from.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

} // namespace

class TestChecksum : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir_.isValid());
    }

    // A sum is kept with the file, or in the cache for a file not the caller's own, and
    // stands while the file is unchanged; any change to the content is seen, even one that
    // gives back the size and the modification time.
    void keptSums_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("foreign"); // the file is someone else's: no attribute
        for (const bool foreign : {false, true}) {
            const char *whose = foreign ? ", someone else's" : ", own";
            for (const char *change : {"unchanged", "same size and time", "replaced"})
                QTest::newRow(QByteArray(change + QByteArray(whose)).constData())
                    << QString::fromLatin1(change) << foreign;
        }
    }
    void keptSums()
    {
        QFETCH(QString, change);
        QFETCH(bool, foreign);
        if (foreign && ::geteuid() != 0)
            QSKIP("giving a file to someone else needs root");
        const QString folder = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + u"/file.bin"_s;
        test::WriteFile(path, "first content");
        if (foreign)
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        SumCache cache(folder + u"/cache/sha256"_s);
        QCOMPARE(sumOf(path, cache), sha256("first content"));
        QCOMPARE(hasAttribute(path), !foreign);
        QCOMPARE(QFile::exists(folder + u"/cache/sha256"_s), foreign);

        struct stat before;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
        // Changes are seen from the time the kept sum says it stands for on.
        waitPastKeptStamp(path);
        QByteArray now = "first content";
        if (change == u"same size and time") {
            now = "other content";
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.write(now);
            file.close();
            setModified(path, before);
        } else if (change == u"replaced") {
            now = "new file, new";
            test::WriteFile(path + u".new"_s, now);
            if (foreign)
                QCOMPARE(::chown(QFile::encodeName(path + u".new"_s).constData(), 65534, 65534), 0);
            setModified(path + u".new"_s, before);
            QVERIFY(::rename(QFile::encodeName(path + u".new"_s).constData(),
                             QFile::encodeName(path).constData()) == 0);
        }
        // A new run, its cache read from the file.
        SumCache next(folder + u"/cache/sha256"_s);
        if (change == u"unchanged")
            QCOMPARE(sumOf(path, next, O_WRONLY), sha256(now)); // kept: nothing read
        else
            QCOMPARE(sumOf(path, next), sha256(now));
        QCOMPARE(sumOf(path, next, O_WRONLY), sha256(now)); // kept once made again
    }

    // Someone else's attribute is never trusted: a forged sum is not given.
    void foreignAttributeIgnored()
    {
        if (::geteuid() != 0)
            QSKIP("giving a file to someone else needs root");
        const QString path = dir_.filePath(u"forged.bin"_s);
        test::WriteFile(path, "real content");
        SumCache own(dir_.filePath(u"forged-cache"_s));
        QCOMPARE(sumOf(path, own), sha256("real content"));
        QVERIFY(hasAttribute(path));
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        // The owner (nobody now) could have written any sum; the attribute still matches.
        SumCache next(dir_.filePath(u"forged-cache-2"_s));
        QCOMPARE(sumOf(path, next, O_WRONLY), QByteArray());
        QCOMPARE(sumOf(path, next), sha256("real content"));
    }

    // A cache file whose lines mostly stand for nothing any more is written anew, keeping
    // every sum that still stands, the last one of each file.
    void cacheCompacted()
    {
        const QString path = dir_.filePath(u"compact/sha256"_s);
        QVERIFY(QDir().mkpath(dir_.filePath(u"compact"_s)));
        QByteArray lines;
        for (int i = 0; i < 1500; ++i)
            lines += "1 2 3 4 5 " + sha256(QByteArray::number(i)).toHex() + '\n';
        lines += "1 9 3 4 5 " + sha256("other").toHex() + '\n';
        test::WriteFile(path, lines);
        SumCache cache(path);
        QCOMPARE(cache.find({1, 2, 3, 4, 5}), sha256("1499"));
        QCOMPARE(cache.find({1, 9, 3, 4, 5}), sha256("other"));
        QCOMPARE(test::ReadFile(path).count('\n'), 2);
        SumCache again(path);
        QCOMPARE(again.find({1, 2, 3, 4, 5}), sha256("1499"));
    }

    // Every format shows the sum of each file, the table and the data whole.
    void listedSums_data()
    {
        QTest::addColumn<QString>("style");
        QTest::addColumn<bool>("whole");
        QTest::newRow("classic") << u"classic"_s << false;
        QTest::newRow("table") << u"table"_s << true;
        QTest::newRow("json") << u"json"_s << true;
        QTest::newRow("ndjson") << u"ndjson"_s << true;
        QTest::newRow("csv") << u"csv"_s << true;
    }
    void listedSums()
    {
        QFETCH(QString, style);
        QFETCH(bool, whole);
        const QString folder = dir_.filePath(u"listed"_s);
        QVERIFY(QDir().mkpath(folder));
        const QByteArray big(3 << 20, 'x');
        test::WriteFile(folder + u"/big.bin"_s, big);
        test::WriteFile(folder + u"/empty"_s, "");
        const test::Run run =
            test::RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE),
                             {u"--write"_s, u"-"_s, u"--style"_s, style, u"--checksum"_s,
                              u"sha256"_s, u"--encoding"_s, u"utf-8"_s, folder});
        QCOMPARE(run.status, 0);
        for (const QByteArray &content : {big, QByteArray()}) {
            const QByteArray hex = sha256(content).toHex();
            QVERIFY2(run.out.contains(whole ? hex : QByteArray(hex.left(16) + "\xe2\x80\xa6")),
                     run.out.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestChecksum)
#include "tst_checksum.moc"
