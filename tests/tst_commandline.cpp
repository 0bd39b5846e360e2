#include "output/commandline.h"

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
    void badArguments_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("no --write") << QByteArray("/tmp");
        QTest::newRow("unknown option") << QByteArray("--write - --frobnicate");
        QTest::newRow("unknown alignment") << QByteArray("--write - --align middle");
        QTest::newRow("missing value") << QByteArray("--write");
        QTest::newRow("two folders") << QByteArray("--write - /a /b");
        QTest::newRow("value on a switch") << QByteArray("--write - --relative=yes");
    }
    void badArguments()
    {
        QFETCH(QByteArray, line);
        const auto parsed = ParseWriterArguments(line.split(' '));
        const QString *problem = std::get_if<QString>(&parsed);
        QVERIFY(problem);
        QVERIFY(problem->startsWith(u"dirweaver: "_s));
        QVERIFY(!problem->contains(u'\n'));
    }

    void windowArguments_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("writer");
        QTest::addColumn<QString>("folder"); // "!" for a message
        QTest::newRow("nothing") << QByteArray() << false << QString();
        QTest::newRow("a folder") << QByteArray("/tmp") << false << u"/tmp"_s;
        QTest::newRow("dash folder after --") << QByteArray("-- --write") << false << u"--write"_s;
        QTest::newRow("unknown option") << QByteArray("--bogus") << false << u"!"_s;
        QTest::newRow("two folders") << QByteArray("a b") << false << u"!"_s;
        QTest::newRow("writer") << QByteArray("--write=x a") << true << QString();
        QTest::newRow("help") << QByteArray("-h") << true << QString();
    }
    void windowArguments()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, writer);
        QFETCH(QString, folder);
        const QList<QByteArray> args = line.isEmpty() ? QList<QByteArray>{} : line.split(' ');
        QCOMPARE(WantsWriter(args), writer);
        if (writer)
            return;
        const auto parsed = ParseWindowArguments(args);
        if (folder == u"!"_s)
            QVERIFY(std::holds_alternative<QString>(parsed));
        else
            QCOMPARE(QString::fromUtf8(std::get<QByteArray>(parsed)), folder);
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
        QVERIFY(!r->options.absolutePath && r->options.blankLine && r->options.bullet);
        QVERIFY(!r->options.showSize && !r->options.showDate);
        QCOMPARE(r->options.align, Align::Left); // bullets force left
        QCOMPARE(r->types, u"*.txt;*.doc"_s);
        QCOMPARE(r->options.footerTitle, u"F"_s);
        QCOMPARE(r->headerTitle, u"H"_s);
        QVERIFY(!r->browserTitle);
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
