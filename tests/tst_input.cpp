// The main window used from the keyboard and by dropping folders on it, and its lists drawn
// in full: what a user who never touches the mouse, or whose names hold underscores, meets.
#include "fakefilesystem.h"
#include "formfixture.h"
#include "ui/application.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProxyStyle>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

// A desktop that opens items on a single click, as some are set up to.
class SingleClickStyle final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ItemView_ActivateItemOnSingleClick)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The stops of the keyboard order, from the window's first control to its last. The three
// alignment buttons are one group: Tab stops at the selected one, the arrow keys move within.
const QStringList kTabOrder = {
    u"Drive1"_s,   u"Dir1"_s,      u"File1"_s,    u"Command1"_s, u"Text1"_s,   u"Command3"_s,
    u"Text2"_s,    u"Check1"_s,    u"Text3"_s,    u"Text4"_s,    u"Check2"_s,  u"Check3"_s,
    u"Check4"_s,   u"Check5"_s,    u"Check6"_s,   u"Check7"_s,   u"Check8"_s,  u"Check9"_s,
    u"Checkall"_s, u"Check10"_s,   u"Check11"_s,  u"Check12"_s,  u"Check13"_s, u"Check14"_s,
    u"Check15"_s,  u"Check16"_s,   u"Check17"_s,  u"Check18"_s,  u"Check19"_s, u"Check20"_s,
    u"Command4"_s, u"Option1_0"_s, u"Command5"_s, u"Check21"_s,  u"Check22"_s, u"Command6"_s};

} // namespace

class TestInput : public QObject, public test::FormFixture
{
    Q_OBJECT

    test::FakeFileSystem fs;

    void open(const char *folder, QList<Volume> volumes = {})
    {
        openOn(fs, folder, std::move(volumes));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    // What the row of a list showing text looks like.
    static QImage row(QListView *list, int row)
    {
        return list->viewport()->grab(list->visualRect(list->model()->index(row, 0))).toImage();
    }

private Q_SLOTS:
    void initTestCase()
    {
        SetUpApplication(*qApp, PageLanguage::Chinese);
        fs.addFolder("/");
        fs.add("/docs", "IMG_0012.jpg");
        fs.add("/docs", "IMG 0012.jpg");
        fs.addFolder("/docs/sub_g");
        fs.add("/docs/sub_g", "c.txt");
        fs.addFolder("/empty");
    }
    void cleanup() { form.reset(); }

    // Tab and Shift+Tab walk the stops in order, each stop drawn differently with the focus.
    void tabOrder_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QString>("alignment");
        QTest::addColumn<QByteArray>("folder");
        QTest::newRow("Tab") << true << u"Option1_0"_s << QByteArray("/docs");
        QTest::newRow("Shift+Tab") << false << u"Option1_0"_s << QByteArray("/docs");
        QTest::newRow("Tab, right aligned") << true << u"Option1_2"_s << QByteArray("/docs");
        QTest::newRow("Shift+Tab, right aligned") << false << u"Option1_2"_s << QByteArray("/docs");
        QTest::newRow("Tab, no files") << true << u"Option1_0"_s << QByteArray("/empty");
    }
    void tabOrder()
    {
        QFETCH(bool, forward);
        QFETCH(QString, alignment);
        QFETCH(QByteArray, folder);
        open(folder.constData());
        QTest::mouseClick(control(alignment), Qt::LeftButton);
        QStringList expected = kTabOrder;
        expected.replace(expected.indexOf(u"Option1_0"_s), alignment);
        if (!forward)
            std::reverse(expected.begin(), expected.end());
        control(expected.last())->setFocus(Qt::OtherFocusReason);
        QStringList walked;
        for (const QString &name : std::as_const(expected)) {
            QWidget *next = control(name);
            const QImage before = next->grab().toImage();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                            forward ? Qt::NoModifier : Qt::ShiftModifier);
            QWidget *focus = QApplication::focusWidget();
            walked.append(focus ? focus->objectName() : u"(none)"_s);
            if (focus == next)
                QVERIFY2(next->grab().toImage() != before, qPrintable(name + u" shows no focus"_s));
        }
        QCOMPARE(walked, expected);

        // The other alignments are one arrow key away, and choosing one rebuilds the page.
        control(alignment)->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(control(alignment),
                        alignment == u"Option1_0"_s ? Qt::Key_Right : Qt::Key_Left);
        QCOMPARE(QApplication::focusWidget(), control(u"Option1_1"_s));
        QVERIFY(form->session().pageText().contains(u"<P align=\"center\">"_s));
    }

    // A folder opens on a double-click or Enter only, also where the desktop asks for
    // single-click activation; a single click only selects.
    void foldersOpen_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("opens");
        QTest::newRow("single click") << u"click"_s << false;
        QTest::newRow("double click") << u"double"_s << true;
        QTest::newRow("Enter") << u"enter"_s << true;
    }
    void foldersOpen()
    {
        QFETCH(QString, action);
        QFETCH(bool, opens);
        open("/docs");
        auto *dir = control<QListView>(u"Dir1"_s);
        SingleClickStyle style;
        dir->setStyle(&style);
        const QModelIndexList found = dir->model()->match(
            dir->model()->index(0, 0), Qt::DisplayRole, u"sub_g"_s, 1, Qt::MatchEndsWith);
        QCOMPARE(found.size(), 1);
        const QPoint at = dir->visualRect(found[0]).center();
        QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, at);
        if (action == u"double"_s)
            QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, at);
        else if (action == u"enter"_s)
            QTest::keyClick(dir, Qt::Key_Return);
        QCOMPARE(form->dirPath().bytes, opens ? QByteArray("/docs/sub_g") : QByteArray("/docs"));
        QCOMPARE(form->session().pageText().contains(u"c.txt"_s), opens);
        dir->setStyle(nullptr);
    }

    // A dropped folder opens as if chosen in the folder list; a dropped file opens the folder
    // that holds it; anything else is refused without a word.
    void drops_data()
    {
        QTest::addColumn<QString>("dropped"); // relative to the temporary folder, or a URL
        QTest::addColumn<QString>("opens");   // empty: refused
        QTest::newRow("folder") << u"Dropped/inner"_s << u"Dropped/inner"_s;
        QTest::newRow("file") << u"Dropped/inner/f.txt"_s << u"Dropped/inner"_s;
        QTest::newRow("web address") << u"https://example.org/x/"_s << QString();
        QTest::newRow("gone") << u"Dropped/gone"_s << QString();
    }
    void drops()
    {
        QFETCH(QString, dropped);
        QFETCH(QString, opens);
        QTemporaryDir tmp;
        QDir().mkpath(tmp.filePath(u"Dropped/inner"_s));
        QFile f(tmp.filePath(u"Dropped/inner/f.txt"_s));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const RealFileSystem real;
        const auto closeFirst = qScopeGuard([this] { form.reset(); }); // before real goes
        form = std::make_unique<WeaveForm>(real, QLocale(QLocale::Chinese, QLocale::China),
                                           QList<Volume>{});
        form->Form_Load(NativeName::fromBytes(QFile::encodeName(tmp.filePath(u"Dropped"_s))));

        QMimeData data;
        data.setUrls(
            {dropped.contains(u':') ? QUrl(dropped) : QUrl::fromLocalFile(tmp.filePath(dropped))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(form.get(), &enter);
        QCOMPARE(enter.isAccepted(), !opens.isEmpty());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(form.get(), &drop);
        const QString open = opens.isEmpty() ? u"Dropped"_s : opens;
        QCOMPARE(form->dirPath().bytes, QFile::encodeName(tmp.filePath(open)));
        QCOMPARE(form->session().pageText().contains(u"f.txt"_s), !opens.isEmpty());
        // The whole refresh chain ran: the titles follow the folder opened.
        QCOMPARE(control<QLineEdit>(u"Text3"_s)->text(),
                 opens.isEmpty() ? u"Dropped"_s : u"Inner"_s);
    }

    // The source box stays editable: pasting from an empty clipboard or selection does
    // nothing, and a folder or file dropped on it opens as anywhere else on the window.
    void sourceBox_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Ctrl+V, empty clipboard") << u"paste"_s;
        QTest::newRow("middle click, empty selection") << u"middle"_s;
        QTest::newRow("folder dropped") << u"drop"_s;
        // On a real X server, with another program owning the selection.
        QTest::newRow("middle click, an owner that answers") << u"answers"_s;
        QTest::newRow("middle click, an owner that answers once") << u"once"_s;
        QTest::newRow("middle click, an owner that never answers") << u"never"_s;
    }
    void sourceBox()
    {
        QFETCH(QString, how);
        QTemporaryDir tmp;
        QDir().mkpath(tmp.filePath(u"Box/inner"_s));
        const RealFileSystem real;
        const auto closeFirst = qScopeGuard([this] { form.reset(); }); // before real goes
        openOn(real, QFile::encodeName(tmp.filePath(u"Box"_s)));
        auto *box = control<QPlainTextEdit>(u"Text1"_s);
        const QString before = box->toPlainText();
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        QGuiApplication::clipboard()->clear(QClipboard::Selection);
        QProcess owner;
        // Signals go to the owner alone, never to a whole group (a process id of 0).
        const auto signalOwner = [&owner](int signal) {
            if (owner.processId() > 0)
                ::kill(pid_t(owner.processId()), signal);
        };
        const auto endOwner = qScopeGuard([&] {
            signalOwner(SIGCONT);
            owner.kill();
            owner.waitForFinished();
        });
        if (how == u"answers" || how == u"once" || how == u"never") {
            if (QGuiApplication::platformName() != u"xcb"_s ||
                QStandardPaths::findExecutable(u"xclip"_s).isEmpty())
                QSKIP("needs a real X server and xclip");
            QSignalSpy taken(QGuiApplication::clipboard(), &QClipboard::selectionChanged);
            // In the foreground (-quiet), so that it is the process started.
            owner.start(u"xclip"_s, how == u"once"
                                        ? QStringList{u"-quiet"_s, u"-loops"_s, u"1"_s,
                                                      u"-selection"_s, u"primary"_s}
                                        : QStringList{u"-quiet"_s, u"-selection"_s, u"primary"_s});
            QVERIFY(owner.waitForStarted());
            owner.write("pasted");
            owner.closeWriteChannel();
            QVERIFY(taken.wait(5000));
            if (how == u"never")
                signalOwner(SIGSTOP);
            // Its one answer goes to the first question, as a desktop's clipboard manager asks.
            if (how == u"once")
                QGuiApplication::clipboard()->mimeData(QClipboard::Selection)->formats();
            QTest::mouseClick(box->viewport(), Qt::MiddleButton, {}, QPoint(5, 5));
            // Plain text where it was clicked, or nothing at all.
            const QString after = box->toPlainText();
            if (how == u"answers")
                QCOMPARE(after, u"pasted"_s + before);
            else if (how == u"once")
                QVERIFY(after == before || after == u"pasted"_s + before);
            else
                QCOMPARE(after, before);
            return;
        }
        if (how == u"paste") {
            box->setFocus();
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        } else if (how == u"middle") {
            QTest::mouseClick(box->viewport(), Qt::MiddleButton, {}, QPoint(20, 20));
        } else {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(tmp.filePath(u"Box/inner"_s))});
            QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(box->viewport(), &enter);
            QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(box->viewport(), &drop);
            QCOMPARE(form->dirPath().bytes, QFile::encodeName(tmp.filePath(u"Box/inner"_s)));
            QVERIFY(!box->toPlainText().contains(u"file://"_s));
            return;
        }
        QCOMPARE(box->toPlainText(), before);
    }

    // Rows show their whole text: an underscore is not cut off below the row.
    void rowsShowUnderscores()
    {
        open("/docs", {{NativeName::fromBytes("/media/a_g"), {}},
                       {NativeName::fromBytes("/media/a g"), {}}});
        auto *files = control<QListView>(u"File1"_s);
        QCOMPARE(files->model()->data(files->model()->index(0, 0)).toString(), u"IMG 0012.jpg"_s);
        QVERIFY(row(files, 0) != row(files, 1));
        auto *drives = control<QComboBox>(u"Drive1"_s);
        drives->showPopup();
        auto *popup = qobject_cast<QListView *>(drives->view());
        QVERIFY(popup);
        const int withSpace = drives->findText(u"/media/a g"_s);
        const int withUnderscore = drives->findText(u"/media/a_g"_s);
        QVERIFY(row(popup, withSpace) != row(popup, withUnderscore));
        drives->hidePopup();
    }
};

QTEST_MAIN(TestInput)
#include "tst_input.moc"
