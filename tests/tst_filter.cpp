#include "selection/filter.h"

#include <QTest>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

// Boxes from control names, such as {"Check5", "Check3"}; "Checkall" ticks the all-files box.
FilterBoxes boxes(const QStringList &ticked)
{
    FilterBoxes b;
    b.all = ticked.contains(u"Checkall"_s);
    for (std::size_t i = 0; i < kTypeBoxCount; ++i)
        b.types[i] = ticked.contains(TypeBoxes()[i].control.toString());
    return b;
}

} // namespace

class TestFilter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pattern_data()
    {
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("all") << QStringList{u"Checkall"_s} << u"*.*"_s;
        QTest::newRow("all with type boxes")
            << QStringList{u"Checkall"_s, u"Check5"_s, u"Check19"_s} << u"*.*"_s;
        QTest::newRow("none") << QStringList{} << u"*.zzz"_s;
        QTest::newRow("txt") << QStringList{u"Check5"_s} << u"*.txt"_s;
        QTest::newRow("txt then exe, table order")
            << QStringList{u"Check5"_s, u"Check3"_s} << u"*.exe;*.txt"_s;
        QTest::newRow("zip and multimedia")
            << QStringList{u"Check2"_s, u"Check17"_s}
            << u"*.zip;*.ram;*.mp3;*.mp4;*.wav;*.avi;*.mid;*.wma;*.swf;*.rm;*.wmv;*.asf;*.aif;"
               u"*.sgi;*.mov;*.vqf"_s;
        QTest::newRow("doc and office repeat")
            << QStringList{u"Check7"_s, u"Check18"_s}
            << u"*.doc;*.doc;*.xls;*.ppt;*.mdb;*.wps;*.vsd;*.htm;*.html"_s;
        QTest::newRow("htm and pdf") << QStringList{u"Check16"_s, u"Check4"_s} << u"*.htm;*.pdf"_s;
        QTest::newRow("design then zip")
            << QStringList{u"Check19"_s, u"Check2"_s}
            << u"*.zip;*.c;*.bas;*.vbs;*.vbp;*.pal;*.hex;*.jed;*.frm;*.lib;*.ini;*.pcb;*.sch;"
               u"*.ddb;*.prj;*.dwg;*.pcd;*.pdg;*.ctl;*.net"_s;
        QTest::newRow("last single box") << QStringList{u"Check16"_s} << u"*.pdf"_s;
    }
    void pattern()
    {
        QFETCH(QStringList, ticked);
        QFETCH(QString, pattern);
        QCOMPARE(ApplyFileFilter(boxes(ticked)), pattern);
    }

    void table()
    {
        const auto &t = TypeBoxes();
        QCOMPARE(t.front().control, u"Check2");
        QCOMPARE(t[6].control, u"Check9"); // Check8 is a page option
        QCOMPARE(t.back().control, u"Check19");
        QCOMPARE(t[14].masks.count(u';') + 1, 15);
        QCOMPARE(t[15].masks.count(u';') + 1, 8);
        QCOMPARE(t[16].masks.count(u';') + 1, 19);
    }

    void match_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("all: no dot") << u"*.*"_s << u"README"_s << true;
        QTest::newRow("all: dots") << u"*.*"_s << u"a.b.c"_s << true;
        QTest::newRow("case ignored") << u"*.txt"_s << u"A.TXT"_s << true;
        QTest::newRow("whole name: htm is not html") << u"*.htm"_s << u"x.html"_s << false;
        QTest::newRow("html mask") << u"*.htm;*.html"_s << u"x.html"_s << true;
        QTest::newRow("suffix only") << u"*.txt"_s << u"a.txt.bak"_s << false;
        QTest::newRow("question mark") << u"?.c"_s << u"x.c"_s << true;
        QTest::newRow("question mark needs one") << u"?.c"_s << u".c"_s << false;
        QTest::newRow("zzz") << u"*.zzz"_s << u"old.ZZZ"_s << true;
        QTest::newRow("chinese name") << u"*.doc"_s << u"报告.doc"_s << true;
        QTest::newRow("backtracking star") << u"*a*b.txt"_s << u"xaxxab.txt"_s << true;
        QTest::newRow("no match") << u"*.zip;*.exe"_s << u"a.txt"_s << false;
        QTest::newRow("empty mask matches nothing") << u""_s << u"a"_s << false;
    }
    void match()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QCOMPARE(FileMask(pattern).matches(name), matches);
    }
};

QTEST_GUILESS_MAIN(TestFilter)
#include "tst_filter.moc"
