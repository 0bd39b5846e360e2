#include "ui/layout.h"

#include <QTest>

using namespace dirweaver;
using namespace Qt::StringLiterals;

using Expected = QList<std::pair<QString, QRectF>>;

class TestLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void designSizeGivesDesignRects()
    {
        const QList<ControlRect> design = DesignRects();
        const QList<ControlRect> laid = LayoutControls(kMinimumOuterSize);
        QCOMPARE(laid.size(), 48); // 48 controls, moved by 49 rules
        for (qsizetype i = 0; i < design.size(); ++i) {
            QCOMPARE(laid[i].name, design[i].name);
            QCOMPARE(laid[i].rect, design[i].rect);
        }
    }

    void grownWindow_data()
    {
        QTest::addColumn<QSizeF>("outer");
        QTest::addColumn<Expected>("expected");
        QTest::newRow("400 wider")
            << QSizeF(9300, 7500) << Expected{{u"Command6"_s, {6520, 5160, 2400, 400}},
                                              {u"Command1"_s, {6520, 6600, 2400, 400}},
                                              {u"Command5"_s, {3160, 5760, 1095, 735}},
                                              {u"Label2"_s, {4720, 5280, 1260, 180}},
                                              {u"Option1_2"_s, {5680, 5520, 495, 255}},
                                              {u"Check22"_s, {4480, 6720, 1815, 255}},
                                              {u"Check19"_s, {7240, 2520, 1815, 255}},
                                              {u"Check10"_s, {8200, 1800, 855, 255}},
                                              {u"Label9"_s, {7600, 120, 990, 180}},
                                              {u"Text1"_s, {120, 3360, 8935, 1695}},
                                              {u"Text2"_s, {120, 5400, 2850, 270}},
                                              {u"Text4"_s, {120, 6600, 2850, 270}},
                                              {u"Drive1"_s, {120, 360, 3595, 300}},
                                              {u"Dir1"_s, {120, 720, 3595, 2190}},
                                              {u"File1"_s, {3820, 360, 3315, 2610}},
                                              {u"Label10"_s, {3820, 3120, 720, 180}},
                                              {u"Label11"_s, {5320, 3120, 720, 180}},
                                              {u"Label12"_s, {6820, 3120, 810, 180}},
                                              {u"Label1"_s, {240, 120, 2250, 180}}};
        QTest::newRow("1000 higher")
            << QSizeF(8900, 8500) << Expected{{u"Command6"_s, {6120, 6160, 2400, 400}},
                                              {u"Command4"_s, {6120, 7120, 2400, 400}},
                                              {u"Command5"_s, {2760, 6760, 1095, 735}},
                                              {u"Check1"_s, {4080, 6760, 1815, 255}},
                                              {u"Check22"_s, {4080, 7720, 1815, 255}},
                                              {u"Option1_1"_s, {4680, 6520, 495, 255}},
                                              {u"Label7"_s, {240, 7360, 1260, 180}},
                                              {u"Text3"_s, {120, 7000, 2450, 270}},
                                              {u"Text1"_s, {120, 3360, 8535, 2695}},
                                              {u"File1"_s, {3720, 360, 3015, 2610}},
                                              {u"Check2"_s, {6840, 360, 855, 255}},
                                              {u"Label12"_s, {6720, 3120, 810, 180}}};
        // A quarter of 1001 twips gives fractions that are kept until pixels are made.
        QTest::newRow("wider and higher")
            << QSizeF(9901, 8100) << Expected{{u"Command1"_s, {7121, 7200, 2400, 400}},
                                              {u"Check20"_s, {5081, 6840, 1815, 255}},
                                              {u"Text1"_s, {120, 3360, 9536, 2295}},
                                              {u"Text3"_s, {120, 6600, 3451, 270}},
                                              {u"File1"_s, {3970.25, 360, 3765.75, 2610}},
                                              {u"Dir1"_s, {120, 720, 3745.25, 2190}},
                                              {u"Label11"_s, {5470.25, 3120, 720, 180}},
                                              {u"Checkall"_s, {7841, 2760, 1695, 255}}};
    }
    void grownWindow()
    {
        QFETCH(QSizeF, outer);
        QFETCH(Expected, expected);
        const QList<ControlRect> laid = LayoutControls(outer);
        for (const auto &[name, rect] : expected) {
            QVERIFY2(RectOf(laid, name) == rect, qPrintable(name));
        }
    }

    void minimumSize_data()
    {
        QTest::addColumn<QSizeF>("outer");
        QTest::addColumn<QSizeF>("expected");
        QTest::newRow("too small both ways") << QSizeF(5000, 3000) << QSizeF(8900, 7500);
        QTest::newRow("only too narrow") << QSizeF(8000, 9000) << QSizeF(8900, 9000);
        QTest::newRow("only too low") << QSizeF(9500, 7499) << QSizeF(9500, 7500);
        QTest::newRow("exactly the minimum") << QSizeF(8900, 7500) << QSizeF(8900, 7500);
    }
    void minimumSize()
    {
        QFETCH(QSizeF, outer);
        QFETCH(QSizeF, expected);
        QCOMPARE(EnforceMinimumSize(outer), expected);
    }

    void twipsBecomePixels_data()
    {
        QTest::addColumn<QRectF>("twips");
        QTest::addColumn<qreal>("dpi");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("96 dpi") << QRectF(120, 3360, 8535, 1695) << 96.0 << QRect(8, 224, 569, 113);
        QTest::newRow("quarter twips")
            << QRectF(3970.25, 360, 3765.75, 2610) << 96.0 << QRect(265, 24, 251, 174);
        QTest::newRow("144 dpi") << QRectF(6120, 5160, 2400, 400) << 144.0
                                 << QRect(612, 516, 240, 40);
    }
    void twipsBecomePixels()
    {
        QFETCH(QRectF, twips);
        QFETCH(qreal, dpi);
        QFETCH(QRect, pixels);
        QCOMPARE(TwipsToPixels(twips, dpi), pixels);
    }
};

QTEST_APPLESS_MAIN(TestLayout)
#include "tst_layout.moc"
