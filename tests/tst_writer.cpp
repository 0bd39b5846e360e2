#include "cli/messages.h"
#include "cli/writer.h"
#include "output/pagefile.h"
#include "page/builder.h"
#include "page/folderpage.h"
#include "text/gbk.h"

#include "fakefilesystem.h"
#include "runprogram.h"
#include "testfiles.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <ctime>
#include <sys/resource.h>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

using test::Run;

Run runWriter(const QList<QByteArray> &args, const QByteArray &cwd = "/")
{
    Run run;
    const auto parsed = ParseWriterArguments(args);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        run.status = 2;
        run.err = problem->toUtf8();
        return run;
    }
    QBuffer out(&run.out), err(&run.err);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const RealFileSystem fs;
    run.status = RunWriter(std::get<WriterRequest>(parsed), fs, QLocale(u"zh_CN"_s), cwd, out, err);
    return run;
}

} // namespace

class TestWriter : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString folder_;

    // The page "--write -" writes with arguments over fs, against the golden page file.
    static void comparePage(const FileSystem &fs, const QList<QByteArray> &arguments,
                            const QString &file)
    {
        QByteArray out, err;
        QBuffer outDevice(&out), errDevice(&err);
        outDevice.open(QIODevice::WriteOnly);
        errDevice.open(QIODevice::WriteOnly);
        auto request = std::get<WriterRequest>(
            ParseWriterArguments(QList<QByteArray>{"--write", "-"} + arguments));
        const QLocale locale = SettlePageLanguage(request, QLocale(u"zh_CN"_s));
        QCOMPARE(RunWriter(request, fs, locale, "/", outDevice, errDevice), 0);
        QFile expected(QStringLiteral(DIRWEAVER_TEST_DATA "/") + file);
        QVERIFY(expected.open(QIODevice::ReadOnly));
        QCOMPARE(out, expected.readAll());
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "CST-8");
        tzset();
        QVERIFY(dir_.isValid());
        folder_ = dir_.filePath(u"docs"_s);
        QVERIFY(QDir().mkpath(folder_));
        test::WriteFile(folder_ + u"/a.txt"_s, "hello");
        test::WriteFile(folder_ + u"/报告.doc"_s, QByteArray(12345, 'x'));
        test::WriteFile(folder_ + u"/x&y #1.txt"_s, "");
    }

    // --folders puts the sub-folders the folder list shows before the files: "name/", a
    // target ending in "/", the file lines' layout, a date but no size.
    void foldersPage_data()
    {
        QTest::addColumn<QList<QByteArray>>("options");
        QTest::addColumn<QList<QByteArray>>("extra"); // files besides readme.txt and .profile
        QTest::addColumn<QString>("file");
        const QList<QByteArray> none;
        QTest::newRow("absolute") << none << none << u"folders-absolute.htm"_s;
        QTest::newRow("bare, blank lines, no size")
            << QList<QByteArray>{"--relative", "--blank-lines", "--no-size"} << none
            << u"folders-bare.htm"_s;
        QTest::newRow("a folder and files excluded, case ignored")
            << QList<QByteArray>{"--exclude", "src;*.PART;Thumbs.db"}
            << QList<QByteArray>{"notes.part", "Thumbs.db", "keep.txt"} << u"folders-exclude.htm"_s;
        QTest::newRow("hidden") << QList<QByteArray>{"--hidden"} << none << u"folders-hidden.htm"_s;
        QTest::newRow("table, UTF-8")
            << QList<QByteArray>{"--style", "table"} << QList<QByteArray>{u"表 😀.txt"_s.toUtf8()}
            << u"table-utf8.htm"_s;
        QTest::newRow("table, GBK, sorted by size, bare")
            << QList<QByteArray>{"--style=table", "--encoding", "gbk",
                                 "--sort",        "size",       "--relative"}
            << QList<QByteArray>{u"表 😀.txt"_s.toUtf8(), "big.iso"} << u"table-gbk.htm"_s;
        QTest::newRow("classic, English") << QList<QByteArray>{"--lang", "en"}
                                          << QList<QByteArray>{"big.iso"} << u"classic-en.htm"_s;
        QTest::newRow("table, English") << QList<QByteArray>{"--style", "table", "--lang", "en"}
                                        << QList<QByteArray>{"big.iso"} << u"table-en.htm"_s;
        // Data for programs: names as they are (one not UTF-8, one a spreadsheet would run),
        // targets relative, a date that no calendar holds, a size unknown.
        const QList<QByteArray> odd{"big.iso", "bad\xff.txt", "=1+2 \"q\", x.txt"};
        QTest::newRow("JSON") << QList<QByteArray>{"--style", "json"} << odd << u"data.json"_s;
        QTest::newRow("NDJSON") << QList<QByteArray>{"--style", "ndjson", "--base", "https://h/d"}
                                << odd << u"data.ndjson"_s;
        QTest::newRow("CSV") << QList<QByteArray>{"--style=csv"} << odd << u"data.csv"_s;
    }
    void foldersPage()
    {
        QFETCH(QList<QByteArray>, options);
        QFETCH(QList<QByteArray>, extra);
        QFETCH(QString, file);
        test::FakeFileSystem fs;
        const QByteArray folder = u"/home/u/项目"_s.toUtf8();
        const qint64 t2002 = 1017385445; // 2002-03-29 07:04:05 UTC
        fs.add(folder, "readme.txt", FileFacts{1536, t2002});
        fs.add(folder, ".profile", FileFacts{220, t2002});
        for (const QByteArray &name : extra)
            fs.add(folder, name,
                   name.endsWith(".iso") ? FileFacts{5000000000, std::nullopt}
                                         : FileFacts{2048, t2002});
        for (const QByteArray &sub :
             {QByteArray("src"), u"文档"_s.toUtf8(), QByteArray(".git"), QByteArray("a&b #1")}) {
            fs.addFolder(folder + '/' + sub);
            fs.setFacts(folder, sub, FileFacts{4096, t2002});
        }
        comparePage(fs, QList<QByteArray>{"--folders"} + options + QList<QByteArray>{folder}, file);
    }

    // --sort and --date: newest or largest first, ties in name order, unknown dates last;
    // --reverse turns the known part round; the date shown is the one asked for.
    void orderedPage_data()
    {
        QTest::addColumn<QList<QByteArray>>("options");
        QTest::addColumn<QString>("file");
        QTest::newRow("sort modified")
            << QList<QByteArray>{"--sort", "modified"} << u"sorted-modified.htm"_s;
        QTest::newRow("sort created, an unknown date last")
            << QList<QByteArray>{"--sort=created"} << u"sorted-created.htm"_s;
        QTest::newRow("sort size, reversed")
            << QList<QByteArray>{"--sort", "size", "--reverse"} << u"sorted-size-reverse.htm"_s;
        QTest::newRow("date modified")
            << QList<QByteArray>{"--date", "modified"} << u"date-modified.htm"_s;
    }
    void orderedPage()
    {
        QFETCH(QList<QByteArray>, options);
        QFETCH(QString, file);
        test::FakeFileSystem fs;
        const qint64 t1 = 1017385445, t2 = t1 + 86400, t3 = t2 + 86400; // from 2002-03-29
        fs.add("/srv/dl", "d.txt", FileFacts{30, t3, t3});
        fs.add("/srv/dl", "c.txt", FileFacts{20, std::nullopt, t2});
        fs.add("/srv/dl", "b.txt", FileFacts{30, t2, t1});
        fs.add("/srv/dl", "a.txt", FileFacts{10, t1, t3});
        comparePage(fs, QList<QByteArray>{"--relative"} + options + QList<QByteArray>{"/srv/dl"},
                    file);
    }

    // The writer gives exactly the bytes that saving a page built in memory gives.
    void sameBytesAsSaving()
    {
        const Run run = runWriter({"--write", "-", "--align", "center", "docs"},
                                  QFile::encodeName(dir_.path()));
        QCOMPARE(run.status, 0);
        QVERIFY(run.err.isEmpty());

        const RealFileSystem fs;
        const QLocale zh(u"zh_CN"_s);
        PageModel input;
        input.folder = NativeName::fromText(folder_);
        input.files = ListFolderFiles(fs, input.folder.bytes, u"*.*"_s, FileSorter(zh)).names;
        input.options.browserTitle = input.options.headerTitle = u"Docs"_s;
        input.options.align = Align::Center;
        const QString page = BuildPageText(input, fs, FileTimeFormat(zh));
        QCOMPARE(run.out, PageFileBytes(page));
        const QString saved = dir_.filePath(u"saved.htm"_s);
        QVERIFY(SavePageBytes(QFile::encodeName(saved), PageFileBytes(page)));
        QCOMPARE(test::ReadFile(saved), run.out);
        QVERIFY(page.contains(u"x&amp;y %231.txt\">x&amp;y #1.txt</A>"_s));
    }

    void missingFolderWritesNothing()
    {
        const QString out = dir_.filePath(u"never.htm"_s);
        const Run run = runWriter({"--write", QFile::encodeName(out), "no-such-folder"},
                                  QFile::encodeName(dir_.path()));
        QCOMPARE(run.status, 2);
        QVERIFY(run.err.startsWith("dirweaver: "));
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY(!QFile::exists(out));
    }

    void unwritableOutputKeepsOldFile()
    {
        const QString out = dir_.filePath(u"old.htm"_s);
        test::WriteFile(out, "old page");
        const QString blocked = dir_.filePath(u"a-file/page.htm"_s);
        test::WriteFile(dir_.filePath(u"a-file"_s), "");
        Run run = runWriter({"--write", QFile::encodeName(blocked), QFile::encodeName(folder_)});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.startsWith("dirweaver: "));

        // A write that fails half-way (the file-size limit) must not touch the old page.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        run = runWriter({"--write", QFile::encodeName(out), QFile::encodeName(folder_)});
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("File too large"), run.err.constData());
        QCOMPARE(test::ReadFile(out), QByteArray("old page"));
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    // --lang gives the same bytes whatever the environment's locale; each language's page
    // holds none of the other's words. Without it the environment chooses.
    void pageLanguage_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("words");   // what the page shows, in its language
        QTest::addColumn<QString>("foreign"); // what must not be in it
        const QString cjk = u"[\\x{2e80}-\\x{9fff}\\x{ff00}-\\x{ffef}]"_s;
        const QString english =
            u" bytes|\\bunknown\\b|\\bName\\b|\\bFilter\\b|This page|Showing| files\\b"_s;
        QTest::newRow("classic, English")
            << QStringList{u"--lang"_s, u"en"_s} << u"bytes\\)"_s << cjk;
        QTest::newRow("table, English")
            << QStringList{u"--lang=en"_s, u"--style"_s, u"table"_s} << u">Name<"_s << cjk;
        QTest::newRow("classic, Chinese")
            << QStringList{u"--lang"_s, u"zh-CN"_s} << u"字节\\)"_s << english;
        QTest::newRow("table, Chinese")
            << QStringList{u"--lang"_s, u"zh"_s, u"--style"_s, u"table"_s} << u">名称<"_s
            << english;
    }
    void pageLanguage()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, words);
        QFETCH(QString, foreign);
        const QString plain = dir_.filePath(u"plain"_s);
        QVERIFY(QDir().mkpath(plain));
        test::WriteFile(plain + u"/notes.txt"_s, "hello");
        const QStringList args = QStringList{u"--write"_s, u"-"_s, u"--encoding"_s, u"utf-8"_s} +
                                 options + QStringList{plain};
        QByteArray first;
        for (const char *lang : {"zh_CN.UTF-8", "en_US.UTF-8", "C", "de_DE.UTF-8"}) {
            qputenv("LANG", lang);
            qunsetenv("LC_ALL");
            qunsetenv("LC_TIME");
            const Run run = test::RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE), args);
            QCOMPARE(run.status, 0);
            if (first.isEmpty())
                first = run.out;
            QCOMPARE(run.out, first);
        }
        qunsetenv("LANG");
        // The heading's typeface is the design's, a name and no word of the page.
        const QString page = QString::fromUtf8(first).remove(u"face=\"黑体\""_s);
        QVERIFY2(page.contains(QRegularExpression(words)), qPrintable(words));
        QVERIFY2(!page.contains(QRegularExpression(foreign)), qPrintable(page));
    }

    // Hashing shows how far it is on a terminal, cleared before the run ends; nothing else
    // is said, and nothing where there is no terminal or nothing to hash.
    void hashingProgress_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("checksum");
        QTest::newRow("terminal, sums") << 40 << true;
        QTest::newRow("terminal, no sums") << 40 << false;
        QTest::newRow("no terminal, sums") << 0 << true;
    }
    void hashingProgress()
    {
        QFETCH(int, columns);
        QFETCH(bool, checksum);
        QList<QByteArray> args{"--write", "-", QFile::encodeName(folder_)};
        if (checksum)
            args += QList<QByteArray>{"--checksum", "sha256"};
        QByteArray page, said;
        QBuffer out(&page), err(&said);
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const RealFileSystem fs;
        QCOMPARE(RunWriter(std::get<WriterRequest>(ParseWriterArguments(args)), fs,
                           QLocale(u"zh_CN"_s), "/", out, err, columns),
                 0);
        QCOMPARE(said.isEmpty(), columns == 0 || !checksum);
        if (!said.isEmpty()) {
            QVERIFY2(said.startsWith("\r\033[K") && said.endsWith("\r\033[K"), said.constData());
            QVERIFY(said.contains("/ 3 "));
        }
    }

    // The installed executable: its exit codes, help and standard output.
    void executable()
    {
        QProcess p;
        p.setWorkingDirectory(folder_);
        p.start(QStringLiteral(DIRWEAVER_EXECUTABLE), {u"--write"_s, u"-"_s, u"--no-date"_s});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 0);
        const QByteArray page = p.readAllStandardOutput();
        QVERIFY(page.startsWith("<HTML>\r\n<HEAD><META http-equiv=\"Content-Type\" "
                                "content=\"text/html; charset=gbk\"><TITLE>Docs</TITLE>"));
        QVERIFY(page.endsWith("</HTML>\r\n"));
        QVERIFY(page.contains(QByteArray("\xb1\xa8\xb8\xe6.doc"))); // 报告 in GBK

        p.start(QStringLiteral(DIRWEAVER_EXECUTABLE), {u"--help"_s});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 0);
        const QByteArray help = p.readAllStandardOutput();
        for (const char *option : {"--write", "--relative", "--blank-lines", "--bullets", "--align",
                                   "--no-size", "--no-date", "--types", "--browser-title",
                                   "--header-title", "--footer-title", "--version"})
            QVERIFY2(help.contains(option), option);
        // Every line fits a terminal of 100 columns, a Chinese character taking two.
        for (const QByteArray &line : help.split('\n'))
            QVERIFY2(TerminalWidth(QString::fromUtf8(line)) <= 100, line.constData());

        p.start(QStringLiteral(DIRWEAVER_EXECUTABLE), {u"--write"_s, u"-"_s, u"--bogus"_s});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());
        QCOMPARE(p.readAllStandardError().count('\n'), 1);
    }

    // The window module loads and the window then waits in its event loop for the user.
    void windowOpens()
    {
        QProcess p;
        // A session's private runtime folder, without which Qt warns on standard error.
        const QTemporaryDir runtime;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(DIRWEAVER_EXECUTABLE), {folder_});
        QVERIFY(p.waitForStarted());
        const QString proc = u"/proc/%1/"_s.arg(p.processId());
        // A sleeping state alone is no proof: start-up sleeps too, between bursts of work. The
        // window waits for the user once its module is loaded and the process has spent no
        // CPU time (all threads counted) over a quarter of a second.
        const auto cpuTime = [&]() -> QByteArray {
            QFile maps(proc + u"maps"_s), stat(proc + u"stat"_s);
            if (!maps.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly) ||
                !maps.readAll().contains("dirweaver-window.so"))
                return {};
            // The fields follow the command's closing parenthesis; user and system time are
            // the 12th and 13th after it.
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            return fields.size() > 12 ? fields[11] + ' ' + fields[12] : QByteArray();
        };
        QByteArray last;
        int still = 0;
        QDeadlineTimer deadline(60000);
        while (still < 6 && p.state() == QProcess::Running && !deadline.hasExpired()) {
            QTest::qWait(50);
            const QByteArray now = cpuTime();
            still = !now.isEmpty() && now == last ? still + 1 : 0;
            last = now;
        }
        QCOMPARE(still, 6);
        QCOMPARE(p.state(), QProcess::Running);
        QCOMPARE(p.readAllStandardError(), QByteArray());
        p.kill();
        p.waitForFinished();
    }

    // Without a display the window is not tried: one line that points to --write, also for a
    // display that nobody serves.
    void noDisplay_data()
    {
        QTest::addColumn<QString>("display"); // empty: none
        QTest::newRow("no display") << QString();
        QTest::newRow("a display nobody serves") << u":99"_s;
    }
    void noDisplay()
    {
        QFETCH(QString, display);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (!display.isEmpty())
            env.insert(u"DISPLAY"_s, display);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(DIRWEAVER_EXECUTABLE), {folder_});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QByteArray message = p.readAllStandardError();
        QCOMPARE(message.count('\n'), 1);
        QVERIFY(message.contains("--write"));

        p.start(QStringLiteral(DIRWEAVER_EXECUTABLE), {folder_ + u"/missing"_s});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 2);
        QCOMPARE(p.readAllStandardError().count('\n'), 1);
    }
};

QTEST_GUILESS_MAIN(TestWriter)
#include "tst_writer.moc"
