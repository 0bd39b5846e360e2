// Faults a real disk can raise while the window lists and annotates a folder, injected
// under the real file-system code, and clicks that land in the middle of a huge build.
#include "fakefilesystem.h"
#include "formfixture.h"
#include "page/folderpage.h"
#include "testfiles.h"
#include "ui/application.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

// The machine's calls, failing where a test asks them to.
class FaultyCalls final : public SystemCalls
{
public:
    /// statx of a file of this name fails with this errno; 0 removes the file first.
    QHash<QByteArray, int> failing;
    /// The folder removed, files and all, at the start of the removeAt-th statx of a file.
    QByteArray removeFolder;
    int removeAt = 0;
    /// readdir fails with EIO once this many entries were read; -1 never.
    int readLimit = -1;

    dirent *readEntry(DIR *dir) const override
    {
        if (readLimit >= 0 && read_++ >= readLimit) {
            errno = EIO;
            return nullptr;
        }
        dirent *entry = SystemCalls::readEntry(dir);
        if (!entry)
            ++readings;
        return entry;
    }
    /// How many readings of a folder's entries came to their end.
    mutable std::atomic<int> readings{0};

    DIR *openFolder(const char *path) const override
    {
        read_ = 0;
        return SystemCalls::openFolder(path);
    }
    int statx(int dirFd, const char *path, int flags, unsigned mask,
              struct statx *out) const override
    {
        if ((mask & STATX_SIZE) != 0) {
            // Only the facts of files count; listing asks for the type alone. The readers
            // ask one at a time where a folder is removed, so that every question counted
            // after the removal finds it done, however the threads are scheduled.
            std::unique_lock<std::mutex> inTurn;
            if (removeAt > 0)
                inTurn = std::unique_lock(turn_);
            if (++factCalls_ == removeAt)
                QDir(QFile::decodeName(removeFolder)).removeRecursively();
            const auto it = failing.constFind(QByteArray(path));
            if (it != failing.cend()) {
                if (*it == 0) {
                    ::unlinkat(dirFd, path, 0);
                } else {
                    errno = *it;
                    return -1;
                }
            }
        }
        return SystemCalls::statx(dirFd, path, flags, mask, out);
    }

private:
    mutable int read_ = 0;               // one listing at a time in these tests
    mutable std::atomic<int> factCalls_; // facts are read ahead on a worker thread
    mutable std::mutex turn_;
};

// The page line of a file, from its anchor to its line break.
QString LineOf(const QString &page, const QString &name)
{
    const qsizetype start = page.indexOf(u'>' + name + u"</A>"_s);
    if (start < 0)
        return {};
    return page.mid(start, page.indexOf(u"<BR>"_s, start) - start);
}

} // namespace

class TestFaults : public QObject, public test::FormFixture
{
    Q_OBJECT

    // Files done by the builds so far, as the progress caption counts them.
    int processed() const { return form->session().progress().processed.section(u'：', 1).toInt(); }

    // A folder of files f00.txt... whose sizes tell them apart: file i holds 1000 + i bytes.
    QByteArray makeSizedFolder(const QString &relative, int files)
    {
        const QString path = tmp.filePath(relative);
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        for (int i = 0; i < files; ++i)
            test::WriteFile(path + u"/f%1.txt"_s.arg(i, 2, 10, QChar(u'0')),
                            QByteArray(1000 + i, 'x'));
        return QFile::encodeName(path);
    }
    // Checks each listed file's line: its own size, or nothing where its facts were lost.
    void verifyAnnotations(int files, const QList<int> &lost) const
    {
        for (int i = 0; i < files; ++i) {
            const QString line = LineOf(page(), u"f%1.txt"_s.arg(i, 2, 10, QChar(u'0')));
            QVERIFY2(!line.isEmpty(), qPrintable(u"no line for file %1"_s.arg(i)));
            if (lost.contains(i)) {
                QVERIFY2(!line.contains(u"字节"_s) && !line.contains(u"年"_s), qPrintable(line));
                QVERIFY(line.contains(u"&nbsp;&nbsp;&nbsp;"_s)); // its spacing stays
            } else {
                QVERIFY2(line.contains(u"(%1字节)"_s.arg(1000 + i)), qPrintable(line));
            }
        }
        QCOMPARE(page().count(u"</HTML>"_s), 1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        SetUpApplication(*qApp, PageLanguage::Chinese);
    }
    void cleanup() { form.reset(); }

    void factsFail_data()
    {
        QTest::addColumn<int>("error");
        QTest::newRow("file vanished after the listing") << 0;
        QTest::newRow("permission denied") << EACCES;
        QTest::newRow("input/output error") << EIO;
    }
    // The build goes on; the file keeps its link but shows no facts, never another file's.
    void factsFail()
    {
        QFETCH(int, error);
        FaultyCalls calls;
        calls.failing.insert("f02.txt", error);
        const RealFileSystem fs(calls);
        // The window reads through fs: it goes first, and any list still being read with it.
        const auto closeFirst = qScopeGuard([this] { form.reset(); });
        const QByteArray folder = makeSizedFolder(u"facts"_s, 5);
        openOn(fs, folder);
        QCOMPARE(control<QLabel>(u"Label11"_s)->text(), u"已处理：5"_s);
        verifyAnnotations(5, {2});

        // The window keeps working, and re-reading the folder shows it as it now is.
        calls.failing.clear();
        click(u"Check8"_s);
        QVERIFY(page().contains(u"</P><BR>"_s));
        click(u"Check5"_s);
        QCOMPARE(page().count(u"<A HREF"_s), error == 0 ? 4 : 5);
        QCOMPARE(LineOf(page(), u"f02.txt"_s).isEmpty(), error == 0);
    }

    // A folder that fails half-way through its reading lists nothing rather than a part.
    void listingFails()
    {
        FaultyCalls calls;
        calls.readLimit = 3;
        const RealFileSystem fs(calls);
        // The window reads through fs: it goes first, and any list still being read with it.
        const auto closeFirst = qScopeGuard([this] { form.reset(); });
        openOn(fs, makeSizedFolder(u"listing"_s, 6));
        QCOMPARE(form->session().listError(), EIO);
        QCOMPARE(control<QListView>(u"File1"_s)->model()->rowCount(), 0);
        QCOMPARE(page().count(u"<A HREF"_s), 0);
        QCOMPARE(page().count(u"</HTML>"_s), 1);

        calls.readLimit = -1;
        click(u"Check5"_s);
        QCOMPARE(form->session().listError(), 0);
        QCOMPARE(page().count(u"<A HREF"_s), 6);
    }

    // Opening a folder reads it once for the folder list and the file list; the next listing
    // reads it afresh.
    void folderReadOnceWhenOpened()
    {
        FaultyCalls calls;
        const RealFileSystem fs(calls);
        const auto closeFirst = qScopeGuard([this] { form.reset(); });
        const QByteArray folder = makeSizedFolder(u"once"_s, 3);
        QVERIFY(QDir().mkpath(QFile::decodeName(folder) + u"/sub"_s));
        openOn(fs, folder);
        QCOMPARE(calls.readings.load(), 1);
        QCOMPARE(page().count(u"<A HREF"_s), 3);
        const QAbstractItemModel *folders = control<QListView>(u"Dir1"_s)->model();
        QCOMPARE(folders->data(folders->index(folders->rowCount() - 1, 0)).toString().trimmed(),
                 u"sub"_s);

        test::WriteFile(QFile::decodeName(folder) + u"/new.txt"_s, "x");
        click(u"Check5"_s);
        QCOMPARE(calls.readings.load(), 2);
        QCOMPARE(page().count(u"<A HREF"_s), 4);

        // A page that links the sub-folders lists them from the same reading.
        FolderPageRequest request;
        request.folderLinks = FolderLinks::Folders;
        const FolderPage linked = PrepareFolderPage(fs, folder, request, FileSorter(QLocale::c()));
        QCOMPARE(calls.readings.load(), 3);
        QCOMPARE(linked.model.files.size(), 4);
        QCOMPARE(linked.model.folders.size(), 1);
    }

    // The folder goes away while its page is built: the build ends with every listed file,
    // those read before keep their facts, and the next reading finds the folder gone.
    void folderRemovedDuringBuild()
    {
        FaultyCalls calls;
        const QByteArray folder = makeSizedFolder(u"removed"_s, 30);
        calls.removeFolder = folder;
        calls.removeAt = 11;
        const RealFileSystem fs(calls);
        // The window reads through fs: it goes first, and any list still being read with it.
        const auto closeFirst = qScopeGuard([this] { form.reset(); });
        openOn(fs, folder);
        QVERIFY(!QFile::exists(QFile::decodeName(folder)));
        QCOMPARE(control<QLabel>(u"Label11"_s)->text(), u"已处理：30"_s);
        // Facts are read in the folder's own order: which twenty were lost depends on it.
        QList<int> lost;
        for (int i = 0; i < 30; ++i) {
            if (!LineOf(page(), u"f%1.txt"_s.arg(i, 2, 10, QChar(u'0'))).contains(u"字节"_s))
                lost.append(i);
        }
        QCOMPARE(lost.size(), 20);
        verifyAnnotations(30, lost);

        click(u"Check5"_s);
        QCOMPARE(form->session().listError(), ENOENT);
        QCOMPARE(page().count(u"<A HREF"_s), 0);
        QCOMPARE(page().count(u"</HTML>"_s), 1);
        // Another folder opens as usual.
        form->Form_Load(NativeName::fromBytes(makeSizedFolder(u"next"_s, 3)));
        QCOMPARE(page().count(u"<A HREF"_s), 3);
        verifyAnnotations(3, {});
    }

    // Between two builds files come and go. A rebuild keeps to the list the window shows,
    // with no facts for a file that went; reading the folder again brings the list up to date.
    void folderChangesBetweenBuilds()
    {
        const RealFileSystem fs;
        // The window reads through fs: it goes first, and any list still being read with it.
        const auto closeFirst = qScopeGuard([this] { form.reset(); });
        const QByteArray folder = makeSizedFolder(u"changing"_s, 4);
        openOn(fs, folder);
        QCOMPARE(page().count(u"<A HREF"_s), 4);
        const QString path = QFile::decodeName(folder);
        QVERIFY(QFile::remove(path + u"/f01.txt"_s));
        test::WriteFile(path + u"/f04.txt"_s, QByteArray(1004, 'x'));
        test::WriteFile(path + u"/f05.txt"_s, QByteArray(1005, 'x'));

        click(u"Check20"_s);
        QCOMPARE(control<QListView>(u"File1"_s)->model()->rowCount(), 4);
        QCOMPARE(page().count(u"<A HREF"_s), 4);
        verifyAnnotations(4, {1});

        click(u"Check5"_s);
        QCOMPARE(control<QListView>(u"File1"_s)->model()->rowCount(), 5);
        QCOMPARE(page().count(u"<A HREF"_s), 5);
        QVERIFY(LineOf(page(), u"f01.txt"_s).isEmpty());
        QVERIFY(LineOf(page(), u"f05.txt"_s).contains(u"(1005字节)"_s));

        // The folder shrinks to nothing.
        for (const char *name : {"f00.txt", "f02.txt", "f03.txt", "f04.txt", "f05.txt"})
            QVERIFY(QFile::remove(path + u'/' + QLatin1StringView(name)));
        click(u"Check5"_s);
        QCOMPARE(form->session().listError(), 0);
        QCOMPARE(page().count(u"<A HREF"_s), 0);
        QCOMPARE(control<QLabel>(u"Label10"_s)->text(), u"需处理：0"_s);
    }

    void clickDuringHugeBuild_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("mark");
        QTest::newRow("option box") << u"Check8"_s << u"</P><BR>"_s;
        QTest::newRow("type box") << u"Check5"_s << u"</A>&nbsp;"_s;
    }
    // A real click queued while a folder of 100,000 files is read or built is answered while
    // the build still runs, and the page that stands at the end is the nested build's, whole.
    void clickDuringHugeBuild()
    {
        QFETCH(QString, box);
        QFETCH(QString, mark);
        constexpr int kFiles = 100000;
        test::FakeFileSystem fs;
        // The window reads through fs: it goes first, and any list still being read with it.
        const auto closeFirst = qScopeGuard([this] { form.reset(); });
        fs.addFolder("/huge");
        for (int i = 0; i < kFiles; ++i)
            fs.add("/huge", "f" + QByteArray::number(100000 + i) + ".txt", FileFacts{i, 0});
        form = std::make_unique<WeaveForm>(fs, QLocale(QLocale::Chinese, QLocale::China),
                                           QList<Volume>{});

        int postedAt = -1;
        int answeredAt = -1;
        QTimer::singleShot(50, form.get(), [&] {
            postedAt = processed();
            test::PostClick(control(box));
        });
        connect(control<QCheckBox>(box), &QCheckBox::pressed, this,
                [&] { answeredAt = form->session().building() ? processed() : kFiles; });
        form->Form_Load(NativeName::fromBytes("/huge"));

        // Posted while the list was read and sorted, or while the page was built.
        QVERIFY2(postedAt < kFiles, qPrintable(QString::number(postedAt)));
        QVERIFY2(answeredAt >= 0 && answeredAt < kFiles, qPrintable(QString::number(answeredAt)));
        QVERIFY(control<QCheckBox>(box)->isChecked());
        QCOMPARE(page().count(u"<A HREF"_s), kFiles);
        QCOMPARE(page().count(mark), kFiles);
        QCOMPARE(page().count(u"</HTML>"_s), 1);
        QCOMPARE(control<QLabel>(u"Label11"_s)->text(), u"已处理：100000"_s);
    }

    // Command1 in the middle of such a build ends the event loop there, not once the build is
    // done.
    void exitDuringHugeBuild()
    {
        test::FakeFileSystem fs;
        // The window reads through fs: it goes first, and any list still being read with it.
        const auto closeFirst = qScopeGuard([this] { form.reset(); });
        fs.addFolder("/huge");
        for (int i = 0; i < 100000; ++i)
            fs.add("/huge", "f" + QByteArray::number(100000 + i) + ".txt");
        form = std::make_unique<WeaveForm>(fs, QLocale(QLocale::Chinese, QLocale::China),
                                           QList<Volume>{});
        QTimer::singleShot(0, form.get(), [&] { form->Form_Load(NativeName::fromBytes("/huge")); });
        int postedAt = -1;
        QTimer::singleShot(50, form.get(), [&] {
            postedAt = processed();
            test::PostClick(control(u"Command1"_s));
        });
        QCOMPARE(QCoreApplication::exec(), 0);
        const int endedAt = processed();
        QVERIFY2(postedAt < 100000, qPrintable(QString::number(postedAt)));
        QVERIFY2(endedAt < 100000, qPrintable(u"ended after file %1"_s.arg(endedAt)));
        QVERIFY(!form->isVisible());
        QVERIFY(!form->session().building());
        QVERIFY(page().isEmpty());
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
