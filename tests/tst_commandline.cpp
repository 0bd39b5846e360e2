#include "cli/commandline.h"

#include <QTest>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

QList<QByteArray> split(const char *line)
{
    return QByteArray(line).split(' ');
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row: the arguments, then the folder they give, or "!" and words of the message.
    void writerArguments_data()
    {
        QTest::addColumn<QList<QByteArray>>("args");
        QTest::addColumn<QString>("result");
        const auto row = [](const char *name, QList<QByteArray> args, const QString &result) {
            QTest::newRow(name) << args << result;
        };
        row("no --write", {"/tmp"}, u"!--write FILE or --tree is required"_s);
        row("both --write and --tree", {"--write", "x", "--tree"}, u"!not both"_s);
        row("--name without --tree", {"--write", "x", "--name", "i.htm"},
            u"!--name needs --tree"_s);
        row("--force without --tree", {"--write", "x", "--force"}, u"!--force needs --tree"_s);
        row("--depth without --tree", {"--write", "x", "--depth", "1"}, u"!--depth needs --tree"_s);
        // Every refused value is named with its option.
        row("negative depth", {"--tree", "--depth", "-1"}, u"!--depth “-1”：需要 0 或正整数"_s);
        row("depth that is no number", {"--tree", "--depth=two"},
            u"!--depth “two”：需要 0 或正整数 / takes a whole number, 0 or more"_s);
        row("empty --exclude", {"--write", "x", "--exclude", ";"}, u"!--exclude “;”"_s);
        row("unknown sort order", {"--write", "x", "--sort", "sizes"},
            u"!--sort “sizes”：未知的排序"_s);
        row("unknown date", {"--write", "x", "--date=changed"}, u"!--date “changed”"_s);
        row("unknown style", {"--write", "x", "--style", "tables"}, u"!--style “tables”"_s);
        row("--base with a quote", {"--write", "x", "--base", "http://a/\"x"}, u"!--base “"_s);
        row("--base with markup", {"--write", "x", "--base", "http://a/<b>"}, u"!--base “"_s);
        row("--base with a control", {"--write", "x", "--base", "http://a/\tx"}, u"!--base “"_s);
        row("empty --base", {"--write", "x", "--base="}, u"!--base “”"_s);
        row("--base with a script scheme", {"--write", "x", "--base", "javascript://x/"},
            u"!--base “javascript://x/”"_s);
        row("--base with a data scheme", {"--write", "x", "--base", "DATA:text/html,"},
            u"!--base “"_s);
        row("--base that a browser trims to a scheme", {"--write", "x", "--base", " javascript:x"},
            u"!--base “"_s);
        row("--base with a query", {"--write", "x", "--base", "https://a/d?x="}, u"!--base “"_s);
        row("--base with a fragment", {"--write", "x", "--base", "https://a/d#top"},
            u"!--base “"_s);
        row("--base over https", {"--write", "x", "--base", "HTTPS://a/d", "f"}, u"f"_s);
        row("--base over ftp", {"--write", "x", "--base", "ftp://a/pub", "f"}, u"f"_s);
        row("--base as a file address", {"--write", "x", "--base", "file:///srv/d", "f"}, u"f"_s);
        row("--base as a path", {"--write", "x", "--base", "/files/a:b", "f"}, u"f"_s);
        row("--base from the page's host", {"--write", "x", "--base", "//cdn/d", "f"}, u"f"_s);
        row("--name that is a path", {"--tree", "--name", "a/b.htm"}, u"!--name “a/b.htm”"_s);
        row("unknown language", {"--write", "x", "--lang", "fr"}, u"!--lang “fr”"_s);
        row("several styles of one page", {"--write", "x", "--style", "table,json"},
            u"!several styles need --tree"_s);
        row("two styles of one suffix", {"--tree", "--style", "classic,json,table"},
            u"!classic and table pages would share their names (.htm)"_s);
        row("an unknown style among them", {"--tree", "--style", "table,xml"},
            u"!--style “table,xml”"_s);
        row("a sum of another kind", {"--write", "x", "--checksum", "md5"}, u"!--checksum “md5”"_s);
        row("data in GBK", {"--write", "x", "--style", "csv", "--encoding", "gbk"},
            u"!always UTF-8"_s);
        row("several styles, one encoding",
            {"--tree", "--style", "classic,json", "--encoding", "utf-8", "top"}, u"top"_s);
        row("unknown encoding", {"--write", "x", "--encoding", "latin1"},
            u"!--encoding “latin1”"_s);
        row("a tree", {"--tree", "--encoding=UTF-8", "--name", "index.htm", "top"}, u"top"_s);
        row("unknown option", {"--write", "-", "--frobnicate"}, u"!unknown option"_s);
        row("unknown alignment", {"--write", "-", "--align", "middle"}, u"!--align “middle”"_s);
        row("missing value", {"--write"}, u"!needs a value"_s);
        row("two folders", {"--write", "-", "/a", "/b"}, u"!one folder at most"_s);
        row("value on a switch", {"--write", "-", "--relative=yes"}, u"!takes no value"_s);
        row("empty folder", {"--write", "x", ""}, u"!folder name is empty"_s);
        row("empty types", {"--write", "x", "--types", ""}, u"!--types “”"_s);
        row("separators only", {"--write", "x", "--types=;;"}, u"!--types “;;”"_s);
        row("-- ends the options", {"--write", "x", "--", "-x"}, u"-x"_s);
        row("-- and nothing after", {"--write", "x", "--"}, QString());
        row("a folder called -", {"--write", "x", "-"}, u"-"_s);
    }
    void writerArguments()
    {
        QFETCH(QList<QByteArray>, args);
        QFETCH(QString, result);
        const auto parsed = ParseWriterArguments(args);
        if (result.startsWith(u'!')) {
            const QString *problem = std::get_if<QString>(&parsed);
            QVERIFY(problem);
            QVERIFY(problem->startsWith(u"dirweaver: "_s));
            QVERIFY(!problem->contains(u'\n'));
            QVERIFY2(problem->contains(result.mid(1)), qPrintable(*problem));
        } else {
            QVERIFY(std::holds_alternative<WriterRequest>(parsed));
            QCOMPARE(QString::fromUtf8(std::get<WriterRequest>(parsed).folder), result);
        }
    }

    void windowArguments_data()
    {
        QTest::addColumn<QList<QByteArray>>("args");
        QTest::addColumn<bool>("writer");
        QTest::addColumn<QString>("result"); // the folder, or "!" and words of the message
        const auto row = [](const char *name, QList<QByteArray> args, bool writer,
                            const QString &result) {
            QTest::newRow(name) << args << writer << result;
        };
        row("nothing", {}, false, QString());
        row("a folder", {"/tmp"}, false, u"/tmp"_s);
        row("dash folder after --", {"--", "--write"}, false, u"--write"_s);
        row("unknown option", {"--bogus"}, false, u"!unknown option"_s);
        row("two folders", {"a", "b"}, false, u"!one folder at most"_s);
        row("empty folder", {""}, false, u"!folder name is empty"_s);
        row("a writer option", {"--types", "*.txt", "/tmp"}, false, u"!--types needs --write"_s);
        row("a writer switch", {"/tmp", "--no-size"}, false, u"!--no-size needs --write"_s);
        row("listing options", {"--sort", "size", "--reverse", "--exclude=*.tmp", "/tmp"}, false,
            u"/tmp"_s);
        row("a listing option's bad value", {"--sort", "sizes"}, false, u"!--sort “sizes”"_s);
        row("writer", {"--write=x", "a"}, true, QString());
        row("help", {"-h"}, true, QString());
        row("tree", {"--tree"}, true, QString());
    }
    void windowArguments()
    {
        QFETCH(QList<QByteArray>, args);
        QFETCH(bool, writer);
        QFETCH(QString, result);
        QCOMPARE(WantsWriter(args), writer);
        if (writer)
            return;
        const auto parsed = ParseWindowArguments(args);
        if (result.startsWith(u'!')) {
            const QString *problem = std::get_if<QString>(&parsed);
            QVERIFY(problem);
            QVERIFY2(problem->contains(result.mid(1)), qPrintable(*problem));
        } else {
            QCOMPARE(QString::fromUtf8(std::get<WindowRequest>(parsed).folder), result);
        }
    }

    // The listing options reach the window's pages as they reach --write's.
    void windowListing()
    {
        const auto parsed = ParseWindowArguments(
            split("--sort size --reverse --exclude *.tmp --hidden --date modified d"));
        const WindowRequest *r = std::get_if<WindowRequest>(&parsed);
        QVERIFY(r);
        QCOMPARE(r->folder, QByteArray("d"));
        QCOMPARE(r->listing.order.key, SortKey::Size);
        QVERIFY(r->listing.order.reverse && r->listing.hidden);
        QCOMPARE(r->listing.exclude, u"*.tmp"_s);
        QCOMPARE(r->listing.options.date, FileDate::Modified);
    }

    void options()
    {
        const auto parsed = ParseWriterArguments(
            split("--write=out.htm --relative --blank-lines --bullets --align right --no-size "
                  "--no-date --types *.txt;*.doc --footer-title F --header-title H dir"));
        const WriterRequest *r = std::get_if<WriterRequest>(&parsed);
        QVERIFY(r);
        QCOMPARE(r->output, QByteArray("out.htm"));
        QCOMPARE(r->folder, QByteArray("dir"));
        QVERIFY(!r->page.options.absolutePath && r->page.options.blankLine &&
                r->page.options.bullet);
        QVERIFY(!r->page.options.showSize && !r->page.options.showDate);
        QCOMPARE(r->page.options.lineAlign(), Align::Left); // bullets force left
        QCOMPARE(r->page.pattern, u"*.txt;*.doc"_s);
        QCOMPARE(r->page.options.footerTitle, u"F"_s);
        QCOMPARE(r->page.headerTitle, u"H"_s);
        QVERIFY(!r->page.browserTitle);
    }

    // Masks seldom meant are said, not refused: a --types mask with neither wildcard nor dot
    // matches whole names only; masks run together with commas are one mask.
    void typesWarning_data()
    {
        QTest::addColumn<QByteArray>("option");
        QTest::addColumn<QByteArray>("masks");
        QTest::addColumn<QString>("warning"); // what the one warning says; empty: none
        const QString bare = u"matches whole names only"_s, commas = u"separated by ';'"_s;
        QTest::newRow("a bare word") << QByteArray("--types") << QByteArray("site") << bare;
        QTest::newRow("a bare word among masks")
            << QByteArray("--types") << QByteArray("*.txt;notes") << bare;
        QTest::newRow("masks") << QByteArray("--types") << QByteArray("*.txt;*.doc") << QString();
        QTest::newRow("a whole name")
            << QByteArray("--types") << QByteArray("readme.txt") << QString();
        QTest::newRow("commas") << QByteArray("--types") << QByteArray("*.txt,*.doc") << commas;
        QTest::newRow("commas and a space")
            << QByteArray("--types") << QByteArray("*.txt, ?.doc") << commas;
        QTest::newRow("a name with a comma")
            << QByteArray("--types") << QByteArray("notes,v2.txt") << QString();
        QTest::newRow("commas to leave out")
            << QByteArray("--exclude") << QByteArray("*.part,*.tmp") << commas;
        QTest::newRow("a bare word to leave out")
            << QByteArray("--exclude") << QByteArray("Thumbs") << QString();
    }
    void typesWarning()
    {
        QFETCH(QByteArray, option);
        QFETCH(QByteArray, masks);
        QFETCH(QString, warning);
        const auto parsed = ParseWriterArguments({"--write", "-", option, masks});
        const WriterRequest *r = std::get_if<WriterRequest>(&parsed);
        QVERIFY(r);
        QCOMPARE(r->warnings.size(), warning.isEmpty() ? 0 : 1);
        QVERIFY(warning.isEmpty() || r->warnings.first().contains(warning));
    }

    void cleanPath_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("clean");
        QTest::newRow("relative") << QByteArray("docs") << QByteArray("/home/u/docs");
        QTest::newRow("dot") << QByteArray(".") << QByteArray("/home/u");
        QTest::newRow("dot dot") << QByteArray("../v/./w/") << QByteArray("/home/v/w");
        QTest::newRow("above root") << QByteArray("/../..") << QByteArray("/");
        QTest::newRow("double slashes") << QByteArray("//a//b") << QByteArray("/a/b");
    }
    void cleanPath()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, clean);
        QCOMPARE(AbsoluteCleanPath(folder, "/home/u"), clean);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
