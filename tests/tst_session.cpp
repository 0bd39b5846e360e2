#include "fakefilesystem.h"
#include "page/builder.h"
#include "page/session.h"

#include <QTest>

#include <cerrno>
#include <functional>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

// Stands in for the window: holds the controls' values and records what is shown.
class FakeView final : public SessionView
{
public:
    PageOptions options;
    FilterBoxes boxes;
    QStringList events;
    QStringList pages;
    QList<ProgressCaptions> shownProgress;
    int armed = 0;
    int ended = 0;
    int filesDone = 0;
    // Runs once, after the given number of files of any build, as a click in the yield would.
    std::function<void()> action;
    int actionAfter = -1;
    QStringList fileProgress;

    PageOptions readOptions() const override { return options; }
    FilterBoxes readFilterBoxes() const override { return boxes; }
    void showProgress(const ProgressCaptions &c) override
    {
        shownProgress.append(c);
        events.append(u"progress "_s + c.toProcess + u'|' + c.processed + u'|' + c.progress);
    }
    void fileDone(qsizetype done, qsizetype count) override
    {
        ++filesDone;
        fileProgress.append(ProgressText(done, count).value_or(QString()));
        if (filesDone == actionAfter && action)
            std::exchange(action, {})();
    }
    void showTitles(const Titles &titles) override
    {
        options.headerTitle = titles.header;
        options.browserTitle = titles.header;
        events.append(u"titles "_s + titles.header);
    }
    void showPage(const QString &view) override
    {
        pages.append(view);
        events.append(u"page"_s);
    }
    void buildsEnded() override { ++ended; }
    void busy() override {}
    void armRefresh() override
    {
        ++armed;
        events.append(u"arm"_s);
    }
};

void addFiles(test::FakeFileSystem &fs, const QByteArray &folder, int count)
{
    fs.addFolder(folder);
    for (int i = 0; i < count; ++i)
        fs.add(folder, QByteArray::number(1000 + i) + ".txt", FileFacts{i, 1017396245});
}

NativeName name(const char *path)
{
    return NativeName::fromBytes(QByteArray(path));
}

// The page a build from scratch gives for the session's folder, list and options.
QString expectedPage(const test::FakeFileSystem &fs, const PageSession &session,
                     const PageOptions &options)
{
    PageModel input;
    input.folder = session.folder();
    input.files = session.files();
    input.options = options;
    const QLocale locale(QLocale::Chinese, QLocale::China);
    return BuildPageText(input, fs, FileTimeFormat(locale));
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

    const QLocale zh{QLocale::Chinese, QLocale::China};

private Q_SLOTS:
    void initTestCase() { qputenv("TZ", "CST-8"); }

    void refreshRunsTheChainInOrder()
    {
        test::FakeFileSystem fs;
        fs.add("/docs", "b.doc");
        fs.add("/docs", "a.txt");
        FakeView view;
        PageSession session(fs, zh, view);
        session.refreshFolder(name("/docs"));

        const QStringList expected = {
            u"progress 需处理：0|已处理：0|进度(%)："_s,       u"titles Docs"_s,
            u"progress 需处理：2|已处理：0|进度(%)："_s,       u"page"_s,
            u"progress 需处理：2|已处理：2|进度(%)：100   "_s,
        };
        QCOMPARE(view.events, expected);
        QCOMPARE(session.folderTitle(), u"docs"_s);
        QCOMPARE(session.fileModel().rowCount(), 2);
        QCOMPARE(session.pageText(), expectedPage(fs, session, view.options));
        QCOMPARE(view.pages.last(), session.pageText());
        QVERIFY(session.pageText().contains(u"<TITLE>Docs</TITLE>"_s));
    }

    void progressAfterEveryFile()
    {
        test::FakeFileSystem fs;
        addFiles(fs, "/three", 3);
        FakeView view;
        PageSession session(fs, zh, view);
        session.refreshFolder(name("/three"));
        QCOMPARE(view.fileProgress,
                 (QStringList{u"进度(%)：33.333"_s, u"进度(%)：66.666"_s, u"进度(%)：100   "_s}));
    }

    void filterClickKeepsTitles()
    {
        test::FakeFileSystem fs;
        fs.add("/docs", "a.txt");
        fs.add("/docs", "b.doc");
        FakeView view;
        PageSession session(fs, zh, view);
        session.refreshFolder(name("/docs"));
        view.options.headerTitle = u"我的标题"_s;
        view.events.clear();

        view.boxes.all = false;
        view.boxes.types.set(3); // "*.txt"
        session.filterChanged();
        QCOMPARE(session.pattern(), u"*.txt"_s);
        QCOMPARE(session.fileModel().rowCount(), 1);
        QVERIFY(!view.events.join(u'\n').contains(u"titles"_s));
        QCOMPARE(view.events.first(), u"progress 需处理：0|已处理：0|进度(%)："_s);
        QVERIFY(session.pageText().contains(u"我的标题"_s));
        QVERIFY(!session.pageText().contains(u"b.doc"_s));
    }

    void unreadableFolders_data()
    {
        QTest::addColumn<int>("error");
        QTest::newRow("no permission") << EACCES;
        QTest::newRow("removed") << 0;
    }
    void unreadableFolders()
    {
        QFETCH(int, error);
        test::FakeFileSystem fs;
        addFiles(fs, "/data", 3);
        FakeView view;
        PageSession session(fs, zh, view);
        session.refreshFolder(name("/data"));
        if (error != 0)
            fs.addFolder("/data", error);
        else
            fs.removeFolder("/data");

        session.filterChanged();
        QCOMPARE(session.listError(), error != 0 ? error : ENOENT);
        QCOMPARE(session.fileModel().rowCount(), 0);
        QVERIFY(!session.pageText().contains(u"<A HREF"_s));
        QVERIFY(session.pageText().endsWith(u"</HTML>"_s));
        // No file was built, so the idle counts stay after the reset.
        QCOMPARE(view.shownProgress.last(),
                 (ProgressCaptions{u"需处理：0"_s, u"已处理：0"_s, u"进度(%)："_s}));
    }

    void pageFolderIsTheOpenFolder()
    {
        test::FakeFileSystem fs;
        fs.add("/a/b", "x.txt");
        FakeView view;
        view.options.showSize = view.options.showDate = false;
        PageSession session(fs, zh, view);
        session.refreshFolder(name("/a/b"));
        session.BuildPage();
        QVERIFY(session.pageText().contains(u"<A HREF=\"/a/b/x.txt\">x.txt</A>"_s));
    }

    // A click during a build's yield starts a nested build. The design's abandon test arms
    // the deferred refresh when the shared index passes the shrunken list; every other
    // interrupted build just stops, so the page shown is always the nested build's.
    void nestedBuild_data()
    {
        QTest::addColumn<int>("nestedCount");
        QTest::addColumn<int>("interruptAt");
        QTest::addColumn<bool>("armed");
        QTest::newRow("much shorter list") << 3 << 4 << true;
        QTest::newRow("two fewer") << 8 << 2 << true;
        QTest::newRow("one fewer") << 9 << 2 << false;
        QTest::newRow("as long") << 10 << 5 << false;
        QTest::newRow("longer") << 12 << 9 << false;
        QTest::newRow("empty") << 0 << 1 << true;
        QTest::newRow("at the last file") << 3 << 10 << true;
    }
    void nestedBuild()
    {
        QFETCH(int, nestedCount);
        QFETCH(int, interruptAt);
        QFETCH(bool, armed);
        test::FakeFileSystem fs;
        addFiles(fs, "/big", 10);
        addFiles(fs, "/other", nestedCount);
        FakeView view;
        PageSession session(fs, zh, view);
        view.actionAfter = interruptAt;
        view.action = [&] { session.refreshFolder(name("/other")); };
        session.refreshFolder(name("/big"));

        QCOMPARE(view.armed, armed ? 1 : 0);
        QCOMPARE(view.pages.size(), 1);
        QCOMPARE(session.folder().bytes, QByteArray("/other"));
        QCOMPARE(session.pageText(), expectedPage(fs, session, view.options));
        QCOMPARE(session.pageText().count(u"</HTML>"_s), 1);
        QCOMPARE(session.pageText().count(u"<A HREF"_s), nestedCount);
        QVERIFY(!session.building());
    }

    void nestedOptionClickWins()
    {
        test::FakeFileSystem fs;
        addFiles(fs, "/big", 10);
        FakeView view;
        PageSession session(fs, zh, view);
        view.actionAfter = 4;
        view.action = [&] {
            view.options.blankLine = true;
            view.options.footerTitle = u"脚"_s;
            session.BuildPage();
        };
        session.refreshFolder(name("/big"));
        QCOMPARE(view.pages.size(), 1);
        QCOMPARE(view.armed, 0);
        QCOMPARE(session.pageText(), expectedPage(fs, session, view.options));
        QCOMPARE(session.pageText().count(u"脚</P>"_s), 1);
        QCOMPARE(view.shownProgress.last().processed, u"已处理：10"_s);
    }

    void nestingTwoDeep()
    {
        test::FakeFileSystem fs;
        addFiles(fs, "/a", 10);
        addFiles(fs, "/b", 8);
        addFiles(fs, "/c", 2);
        FakeView view;
        PageSession session(fs, zh, view);
        view.actionAfter = 2;
        view.action = [&] {
            view.actionAfter = 4; // the second file of /b
            view.action = [&] { session.refreshFolder(name("/c")); };
            session.refreshFolder(name("/b"));
        };
        session.refreshFolder(name("/a"));
        QCOMPARE(view.pages.size(), 1);
        QCOMPARE(session.folder().bytes, QByteArray("/c"));
        QCOMPARE(session.pageText(), expectedPage(fs, session, view.options));
    }

    void stopEndsEveryBuild()
    {
        test::FakeFileSystem fs;
        addFiles(fs, "/big", 10);
        FakeView view;
        PageSession session(fs, zh, view);
        view.actionAfter = 3;
        view.action = [&] { session.stop(); };
        session.refreshFolder(name("/big"));
        QVERIFY(view.pages.isEmpty());
        QVERIFY(session.pageText().isEmpty());
        QVERIFY(!session.building());

        const int filesDone = view.filesDone;
        session.BuildPage();
        session.refreshFolder(name("/big"));
        QCOMPARE(view.filesDone, filesDone);
        QVERIFY(view.pages.isEmpty());
    }

    // Bullets and alignment come from the options the window reads, like every other option.
    void bulletsAndAlignmentFromTheControls()
    {
        test::FakeFileSystem fs;
        fs.add("/d", "a.txt");
        FakeView view;
        view.options.showSize = view.options.showDate = false;
        view.options.align = Align::Right;
        PageSession session(fs, zh, view);
        session.refreshFolder(name("/d"));
        QVERIFY(session.pageText().contains(
            u"<P align=\"right\">\r\n<A HREF=\"/d/a.txt\">a.txt</A><BR>\r\n"_s));
        view.options.bullet = true;
        session.BuildPage();
        QVERIFY(session.pageText().contains(
            u"<P align=\"left\">\r\n<li><A HREF=\"/d/a.txt\">a.txt</A><BR> </li>\r\n"_s));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
