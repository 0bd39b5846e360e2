#include "fakefilesystem.h"
#include "output/pagefile.h"
#include "page/builder.h"
#include "page/fragments.h"

#include <QFile>
#include <QTest>

#include <ctime>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

QByteArray golden(const QString &name)
{
    QFile file(QStringLiteral(DIRWEAVER_TEST_DATA "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing golden page %s", qPrintable(name));
    return file.readAll();
}

QList<NativeName> names(const QStringList &texts)
{
    QList<NativeName> list;
    for (const QString &t : texts)
        list.append(NativeName::fromText(t));
    return list;
}

PageModel docsInput()
{
    PageModel input;
    input.folder = NativeName::fromText(u"/Docs"_s);
    input.files = names({u"a.txt"_s, u"b.doc"_s});
    input.options.browserTitle = u"Docs"_s;
    input.options.headerTitle = u"Docs"_s;
    input.options.showSize = false;
    input.options.showDate = false;
    return input;
}

// "<li><P align=...><A HREF=...>" lines of a page, without their line ends.
QStringList linkLines(const QString &page)
{
    QStringList lines;
    for (const QString &line : page.split(u"\r\n"_s)) {
        if (line.contains(u"<A HREF"_s))
            lines.append(line);
    }
    return lines;
}

} // namespace

class TestBuilder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "CST-8");
        tzset();
    }

    void samplePages_data()
    {
        QTest::addColumn<bool>("absolute");
        QTest::addColumn<bool>("blankLine");
        QTest::addColumn<bool>("bullet");
        QTest::addColumn<QString>("file");
        QTest::newRow("absolute, one paragraph")
            << true << false << false << u"sample-absolute.htm"_s;
        QTest::newRow("bare, blank lines, bullets")
            << false << true << true << u"sample-bare-bullets-blank.htm"_s;
    }
    void samplePages()
    {
        QFETCH(bool, absolute);
        QFETCH(bool, blankLine);
        QFETCH(bool, bullet);
        QFETCH(QString, file);
        PageModel input = docsInput();
        input.options.absolutePath = absolute;
        input.options.blankLine = blankLine;
        input.options.bullet = bullet;
        if (bullet)
            input.options.align = Align::Right; // bullets force left
        test::FakeFileSystem fs;
        const FileTimeFormat format(QLocale(u"zh_CN"_s));
        const QString page = BuildPageText(input, fs, format);
        QVERIFY(page.endsWith(u"</HTML>"_s));
        QCOMPARE(PageFileBytes(page), golden(file));
        QCOMPARE(fs.statCalls.load(), 0); // no annotations: no file is touched
    }

    // The same page in both encodings: UTF-8 writes every character as itself, declares
    // utf-8 and pads the columns by the same widths.
    void annotatedPage_data()
    {
        QTest::addColumn<PageEncoding>("encoding");
        QTest::addColumn<QString>("file");
        QTest::newRow("GBK") << PageEncoding::Gbk << u"annotated-center.htm"_s;
        QTest::newRow("UTF-8") << PageEncoding::Utf8 << u"annotated-center-utf8.htm"_s;
    }
    void annotatedPage()
    {
        QFETCH(PageEncoding, encoding);
        QFETCH(QString, file);
        test::FakeFileSystem fs;
        const QByteArray folder = u"/home/u/文档"_s.toUtf8();
        const qint64 t2002 = 1017385445; // 2002-03-29 07:04:05 UTC
        fs.add(folder, "a.txt", FileFacts{12345, t2002});
        fs.add(folder, u"十个汉字的文件名称.txt"_s.toUtf8(), FileFacts{1536, 1767225600});
        fs.add(folder, u"😀 smile.txt"_s.toUtf8(), FileFacts{512, t2002});
        fs.add(folder, u"x&y \"q\" <1>#?%.txt"_s.toUtf8(), FileFacts{0, std::nullopt});
        fs.add(folder, "gone.txt", std::nullopt);
        fs.add(folder, "big.iso", FileFacts{3 * (qint64(1) << 30) + 600, t2002});
        fs.add(folder, "a-name-that-is-exactly-forty-five-bytes-w.txt",
               FileFacts{99999999999, t2002});

        PageModel input;
        input.folder = NativeName::fromBytes(folder + '/');
        input.files = names({u"a.txt"_s, u"十个汉字的文件名称.txt"_s, u"😀 smile.txt"_s,
                             u"x&y \"q\" <1>#?%.txt"_s, u"gone.txt"_s, u"big.iso"_s,
                             u"a-name-that-is-exactly-forty-five-bytes-w.txt"_s});
        input.options.align = Align::Center;
        // Titles go in as typed, markup and all.
        input.options.browserTitle = u"文档"_s;
        input.options.headerTitle = u"文档 &amp; more"_s;
        input.options.footerTitle = u"页脚 <b>bold</b>"_s;
        input.options.encoding = encoding;
        const FileTimeFormat format(QLocale(u"zh_CN"_s));
        QCOMPARE(PageFileBytes(BuildPageText(input, fs, format), encoding), golden(file));
        QCOMPARE(fs.statCalls.load(), 7); // one inquiry per file
    }

    // A file whose facts cannot be read shows nothing of the file before it.
    void unreadableFileKeepsNoOldValues()
    {
        test::FakeFileSystem fs;
        fs.add("/d", "a", FileFacts{2048, 1017385445});
        fs.add("/d", "b", std::nullopt);
        PageModel input;
        input.folder = NativeName::fromText(u"/d"_s);
        input.files = names({u"a"_s, u"b"_s});
        const QStringList lines =
            linkLines(BuildPageText(input, fs, FileTimeFormat(QLocale(u"zh_CN"_s))));
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].contains(u"2KB (2048字节)"_s));
        QVERIFY(!lines[1].contains(u"KB"_s));
        QVERIFY(!lines[1].contains(u"2002"_s));
        QVERIFY(lines[1].endsWith(u"&nbsp;<BR>"_s)); // the spacing is still there
    }

    void layouts_data()
    {
        QTest::addColumn<bool>("blankLine");
        QTest::addColumn<int>("align");
        QTest::addColumn<QString>("firstLine");
        QTest::addColumn<QString>("afterLinks");
        QTest::newRow("center, one paragraph")
            << false << int(Align::Center) << u"<A HREF=\"/d/a\">a</A><BR>"_s << u"</P><HR>"_s;
        QTest::newRow("right, blank lines")
            << true << int(Align::Right) << u"<P align=\"right\"><A HREF=\"/d/a\">a</A></P><BR>"_s
            << u""_s;
    }
    void layouts()
    {
        QFETCH(bool, blankLine);
        QFETCH(int, align);
        QFETCH(QString, firstLine);
        QFETCH(QString, afterLinks);
        test::FakeFileSystem fs;
        PageModel input;
        input.folder = NativeName::fromText(u"/d/"_s);
        input.files = names({u"a"_s});
        input.options.blankLine = blankLine;
        input.options.showSize = input.options.showDate = false;
        input.options.align = Align(align);
        const QStringList lines =
            BuildPageText(input, fs, FileTimeFormat(QLocale(u"zh_CN"_s))).split(u"\r\n"_s);
        const qsizetype at = lines.indexOf(firstLine);
        QVERIFY2(at > 0, qPrintable(lines.join(u'\n')));
        QCOMPARE(lines[at + 1], afterLinks);
        if (!blankLine)
            QCOMPARE(lines[at - 1], ParagraphOpen(Align(align)));
    }

    void emptyFolderJoinsHeadAndFoot()
    {
        test::FakeFileSystem fs;
        PageModel input = docsInput();
        input.files.clear();
        const QString page = BuildPageText(input, fs, FileTimeFormat(QLocale(u"zh_CN"_s)));
        QVERIFY(page.contains(u"<HR>\r\n<P align=\"left\">\r\n</P><HR>\r\n"_s));
        QVERIFY(!page.contains(u"<A "_s));
    }

    void rootFolderKeepsOneSlash()
    {
        QCOMPARE(FolderPath(NativeName::fromText(u"/"_s)).text, u"/"_s);
        QCOMPARE(FolderPath(NativeName::fromText(u"/a"_s)).text, u"/a/"_s);
        QCOMPARE(FolderPath(NativeName::fromText(u"/a/"_s)).text, u"/a/"_s);
    }

    void abandonedBuildHasNoFoot()
    {
        test::FakeFileSystem fs;
        PageModel input = docsInput();
        QString page;
        StringSink sink(page);
        QList<qsizetype> seen;
        const bool done = PageBuilder(fs, FileTimeFormat(QLocale(u"zh_CN"_s)))
                              .build(input, sink, [&](qsizetype i, qsizetype count) {
                                  seen.append(i);
                                  return count == 2 && i < 0;
                              });
        QVERIFY(!done);
        QCOMPARE(seen, QList<qsizetype>{0});
        QCOMPARE(linkLines(page).size(), 1);
        QVERIFY(!page.contains(u"</HTML>"_s));
    }
};

QTEST_GUILESS_MAIN(TestBuilder)
#include "tst_builder.moc"
