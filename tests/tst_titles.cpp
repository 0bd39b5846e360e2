#include "selection/titles.h"

#include <QTest>

using namespace dirweaver;
using namespace Qt::StringLiterals;

class TestTitles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void derive_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("folderTitle");
        QTest::newRow("root") << u"/"_s << u"/"_s << u"/"_s;
        QTest::newRow("lower case") << u"/home/u/docs"_s << u"Docs"_s << u"docs"_s;
        QTest::newRow("trailing slash") << u"/home/u/docs/"_s << u"Docs"_s << u"docs"_s;
        QTest::newRow("space") << u"/work/reports 2002"_s << u"Reports 2002"_s << u"reports 2002"_s;
        QTest::newRow("one letter") << u"/x"_s << u"X"_s << u"x"_s;
        QTest::newRow("digit") << u"/2002"_s << u"2002"_s << u"2002"_s;
        QTest::newRow("chinese") << u"/home/u/文档"_s << u"文档"_s << u"文档"_s;
        QTest::newRow("only the first changes") << u"/a/mIXed"_s << u"MIXed"_s << u"mIXed"_s;
        QTest::newRow("accented letter") << u"/a/élan"_s << u"Élan"_s << u"élan"_s;
        QTest::newRow("character outside the BMP")
            << u"/a/\U00010428x"_s << u"\U00010400x"_s << u"\U00010428x"_s;
        // The titles go into the page as they stand in the boxes: as page text.
        QTest::newRow("markup") << u"/a/<b>x"_s << u"&lt;b&gt;x"_s << u"<b>x"_s;
        QTest::newRow("lone ampersand")
            << u"/a/Tom & Jerry"_s << u"Tom & Jerry"_s << u"Tom & Jerry"_s;
        QTest::newRow("reference-like ampersand") << u"/a/r&d"_s << u"R&amp;d"_s << u"r&d"_s;
    }
    void derive()
    {
        QFETCH(QString, path);
        QFETCH(QString, heading);
        QFETCH(QString, folderTitle);
        const Titles titles = DeriveTitles(path);
        QCOMPARE(titles.header, heading);
        QCOMPARE(titles.folderTitle, folderTitle);
    }
};

QTEST_GUILESS_MAIN(TestTitles)
#include "tst_titles.moc"
