#include "page/pagetext.h"
#include "page/progress.h"

#include <QTest>

using namespace dirweaver;
using namespace Qt::StringLiterals;

class TestProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void progressText_data()
    {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("1 of 3") << 1 << 3 << u"进度(%)：33.333"_s;
        QTest::newRow("2 of 3") << 2 << 3 << u"进度(%)：66.666"_s;
        QTest::newRow("3 of 3") << 3 << 3 << u"进度(%)：100   "_s;
        QTest::newRow("half") << 1 << 2 << u"进度(%)：50    "_s;
        QTest::newRow("below one percent") << 1 << 400 << u"进度(%)：0.25  "_s;
        QTest::newRow("list grew") << 5 << 4 << u"进度(%)：125   "_s;
    }
    void progressText()
    {
        QFETCH(int, done);
        QFETCH(int, count);
        QFETCH(QString, text);
        const std::optional<QString> shown = ProgressText(done, count);
        QVERIFY(shown);
        QCOMPARE(*shown, text);
        QCOMPARE(shown->size(), 12);
    }

    void noFilesNoPercent() { QVERIFY(!ProgressText(1, 0)); }

    void captions()
    {
        QCOMPARE(ToProcessCaption(32768), u"需处理：32768"_s);
        QCOMPARE(ProcessedCaption(3), u"已处理：3"_s);
        const ProgressCaptions idle = ProgressCaptions::idle();
        QCOMPARE(idle.toProcess, u"需处理：0"_s);
        QCOMPARE(idle.processed, u"已处理：0"_s);
        QCOMPARE(idle.progress, u"进度(%)："_s);
    }

    void abridged_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("shown");
        QTest::newRow("below the limit") << 31999 << 31999;
        QTest::newRow("at the limit") << 32000 << 28042;
        QTest::newRow("long") << 1000000 << 28042;
    }
    void abridged()
    {
        QFETCH(int, length);
        QFETCH(int, shown);
        QString page;
        page.reserve(length);
        for (int i = 0; i < length; ++i)
            page.append(QChar(u'a' + i % 26));
        const QString view = AbridgedView(page);
        QCOMPARE(view.size(), shown);
        // The window keeps only the page's bytes and what the box shows, built a line at a time.
        PageText kept;
        for (qsizetype at = 0; at < page.size(); at += 317) {
            const QStringView piece = QStringView(page).mid(at, 317);
            kept.appendText(piece);
            kept.append(piece.toLatin1());
        }
        QCOMPARE(kept.view(), view);
        QCOMPARE(kept.bytes(), page.toLatin1());
        if (shown == length) {
            QCOMPARE(view, page);
            return;
        }
        QCOMPARE(view.left(14000), page.left(14000));
        QCOMPARE(view.right(14000), page.right(14000));
        QCOMPARE(view.mid(14000, 42), u"\r\n......\r\n......\r\n......\r\n......\r\n......\r\n"_s);
    }
};

QTEST_GUILESS_MAIN(TestProgress)
#include "tst_progress.moc"
