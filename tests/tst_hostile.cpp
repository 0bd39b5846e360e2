// The writer and the window against outputs and folders that try to make them fail quietly:
// standard output that cannot take the page, outputs that are not regular files, paths
// that are not UTF-8, folders deeper than PATH_MAX, a current folder that is gone.
#include "output/pagefile.h"
#include "page/builder.h"
#include "page/folderpage.h"

#include "runprogram.h"
#include "testfiles.h"

#include <QProcess>
#include <QTemporaryDir>

#include <QTest>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

using test::Run;

// Runs the program through the shell, with $0 the program and $1 the folder argument.
Run shell(const QString &script, const QByteArray &folder, const QString &cwd = {})
{
    return test::RunProgram(
        u"/bin/sh"_s,
        {u"-c"_s, script, QStringLiteral(DIRWEAVER_EXECUTABLE), QString::fromLocal8Bit(folder)},
        cwd);
}

QByteArray readBytes(const QByteArray &path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY);
    char buffer[4096];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    if (fd >= 0)
        ::close(fd);
    return bytes;
}

mode_t typeOf(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QByteArray tmp_;    // dir_ as bytes
    QByteArray folder_; // thirty files, a page of several KiB
    QByteArray page_;   // what the writer gives for it

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        tmp_ = QFile::encodeName(dir_.path());
        folder_ = tmp_ + "/docs";
        QVERIFY(::mkdir(folder_.constData(), 0755) == 0);
        for (int i = 0; i < 30; ++i)
            test::WriteFile(QFile::decodeName(folder_ + "/file" + QByteArray::number(i) + ".txt"),
                            "x");
        const Run run = shell(u"exec \"$0\" --write - \"$1\""_s, folder_);
        QCOMPARE(run.status, 0);
        page_ = run.out;
        QVERIFY(page_.size() > 2048);
    }
    // Qt's own removal cannot name files that are not UTF-8, nor paths beyond PATH_MAX.
    void cleanupTestCase() { QProcess::execute(u"rm"_s, {u"-rf"_s, dir_.path()}); }

    // Standard output that cannot take the page: one line saying why, and status 1.
    void standardOutput_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("full device") << u"exec \"$0\" --write - \"$1\" >/dev/full"_s
                                     << QByteArray("No space left on device");
        QTest::newRow("closed") << u"exec \"$0\" --write - \"$1\" >&-"_s
                                << QByteArray("Bad file descriptor");
        QTest::newRow("file size limit")
            << u"ulimit -f 2; exec \"$0\" --write - \"$1\" >\"$1/../cut.htm\""_s
            << QByteArray("File too large");
        QTest::newRow("help to a full device")
            << u"exec \"$0\" --help >/dev/full"_s << QByteArray("No space left on device");
    }
    void standardOutput()
    {
        QFETCH(QString, script);
        QFETCH(QByteArray, reason);
        const Run run = shell(script, folder_);
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY2(run.err.contains(reason), run.err.constData());
    }

    // What is not a regular file is written into and stays what it was; a link stays a
    // link and its target gets the page.
    void specialOutputs_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::newRow("fifo") << QByteArray("fifo");
        QTest::newRow("device") << QByteArray("device");
        QTest::newRow("link to a file") << QByteArray("link");
        QTest::newRow("link to nothing yet") << QByteArray("dangling");
        QTest::newRow("folder") << QByteArray("folder");
    }
    void specialOutputs()
    {
        QFETCH(QByteArray, kind);
        const QByteArray out = tmp_ + "/out-" + kind;
        const QByteArray target = tmp_ + "/target-" + kind;
        QByteArray received;
        std::thread reader;
        if (kind == "fifo") {
            QVERIFY(::mkfifo(out.constData(), 0644) == 0);
            reader = std::thread([&] { received = readBytes(out); });
        } else if (kind == "device") {
            if (::mknod(out.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                QSKIP("making a device node needs root");
        } else if (kind == "link" || kind == "dangling") {
            if (kind == "link")
                test::WriteFile(QFile::decodeName(target), "old");
            QVERIFY(::symlink(target.constData(), out.constData()) == 0);
        } else {
            QVERIFY(::mkdir(out.constData(), 0755) == 0);
        }
        const mode_t before = typeOf(out);
        const Run run = shell(u"exec \"$0\" --write \"$1/../out-"_s + QString::fromLatin1(kind) +
                                  u"\" \"$1\""_s,
                              folder_);
        if (reader.joinable())
            reader.join();
        QCOMPARE(typeOf(out), before);
        if (kind == "folder") {
            QCOMPARE(run.status, 1);
            QVERIFY2(run.err.contains("Is a directory"), run.err.constData());
            return;
        }
        QCOMPARE(run.status, 0);
        if (kind == "fifo")
            QCOMPARE(received, page_);
        if (kind == "link" || kind == "dangling")
            QCOMPARE(readBytes(target), page_);
    }

    // Output paths are bytes end to end, whatever they hold.
    void bytePaths_data()
    {
        QTest::addColumn<QByteArray>("folder"); // made first when not empty
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("GBK name") << QByteArray() << QByteArray("gbk\xd6\xd0.htm");
        QTest::newRow("in a folder not UTF-8") << QByteArray("dir\xff") << QByteArray("page.htm");
    }
    void bytePaths()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, name);
        QByteArray path = tmp_ + '/';
        if (!folder.isEmpty()) {
            path += folder + '/';
            QVERIFY(::mkdir(path.constData(), 0755) == 0);
        }
        path += name;
        // Arguments pass through QString, which these bytes would not survive: the shell
        // makes them from octal escapes.
        QString octal;
        for (const char c : std::as_const(path))
            octal +=
                uchar(c) < 0x80 ? QString(QLatin1Char(c)) : u"\\0"_s + QString::number(uchar(c), 8);
        const Run run =
            shell(u"exec \"$0\" --write \"$(printf '%b' '"_s + octal + u"')\" \"$1\""_s, folder_);
        QCOMPARE(run.status, 0);
        QCOMPARE(readBytes(path), page_);
    }

    // A folder whose path is longer than PATH_MAX is listed, annotated and written, also
    // when the program is started inside it.
    void deepFolders_data()
    {
        QTest::addColumn<bool>("startedInside");
        QTest::newRow("listed from outside") << false;
        QTest::newRow("started inside") << true;
    }
    void deepFolders()
    {
        QFETCH(bool, startedInside);
        // Seventeen levels of 250-byte names: some 4,300 bytes, made one level at a time.
        const QByteArray level(250, 'd');
        QByteArray deep = tmp_ + "/deep";
        ::mkdir(deep.constData(), 0755);
        int fd = ::open(deep.constData(), O_PATH | O_DIRECTORY);
        for (int i = 0; i < 17 && fd >= 0; ++i) {
            ::mkdirat(fd, level.constData(), 0755);
            const int next = ::openat(fd, level.constData(), O_PATH | O_DIRECTORY);
            ::close(fd);
            fd = next;
            deep += '/' + level;
        }
        QVERIFY(fd >= 0 && deep.size() > PATH_MAX);
        const int file = ::openat(fd, "far.txt", O_CREAT | O_WRONLY, 0644);
        QVERIFY(file >= 0 && ::write(file, "12345", 5) == 5 && ::close(file) == 0);
        ::close(fd);

        QString page;
        if (startedInside) {
            // Into it one level at a time, as no single path can name it; the program
            // inherits this process's current folder.
            const int back = ::open(".", O_PATH | O_DIRECTORY);
            QVERIFY(::chdir(QByteArray(tmp_ + "/deep").constData()) == 0);
            for (int i = 0; i < 17; ++i)
                QVERIFY(::chdir(level.constData()) == 0);
            const Run run = shell(u"exec \"$0\" --write - --no-date"_s, {});
            QVERIFY(::fchdir(back) == 0);
            ::close(back);
            QCOMPARE(run.status, 0);
            page = QString::fromLatin1(run.out);
        } else {
            const RealFileSystem fs;
            PageModel input;
            input.folder = NativeName::fromBytes(deep);
            const FolderFiles listing =
                ListFolderFiles(fs, deep, u"*.*"_s, FileSorter(QLocale(u"zh_CN"_s)));
            QCOMPARE(listing.error, 0);
            input.files = listing.names;
            input.options.showDate = false;
            page = BuildPageText(input, fs, FileTimeFormat(QLocale(u"zh_CN"_s)));
        }
        QVERIFY2(page.contains(u">far.txt</A>"_s), qPrintable(page.left(200)));
        QVERIFY(page.contains(u"0KB (5"_s));
    }

    // Started in a folder that has been removed, the window and the writer both say so in
    // one line and end with status 2; the window never opens on another folder instead.
    void goneFolder_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::newRow("window") << QString();
        QTest::newRow("window on .") << u"."_s;
        QTest::newRow("writer") << u"--write - ."_s;
    }
    void goneFolder()
    {
        QFETCH(QString, arguments);
        const Run run =
            shell(u"mkdir gone && cd gone && rmdir ../gone && exec \"$0\" "_s + arguments, {},
                  dir_.path());
        QCOMPARE(run.status, 2);
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY2(run.err.contains("No such file or directory"), run.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
