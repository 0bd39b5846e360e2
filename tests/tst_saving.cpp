// Saving and previewing from the window, through the real save dialog and message boxes.
#include "findcontrol.h"
#include "modal.h"
#include "output/pagefile.h"
#include "selection/filesystem.h"
#include "ui/application.h"
#include "ui/weaveform.h"
#include "urlcatcher.h"

#include "testfiles.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <cstring>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

// What a message box of the window said.
struct Message
{
    bool shown = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
};

} // namespace

class TestSaving : public QObject
{
    Q_OBJECT

    RealFileSystem fs;
    QTemporaryDir tmp;
    std::unique_ptr<WeaveForm> form;
    std::unique_ptr<QObject> answers;
    test::UrlCatcher catcher;
    Message message;

    template <typename T = QWidget> T *control(const QString &name) const
    {
        return test::FindControl<T>(*form, name);
    }
    QString makeFolder(const QString &relative, int files)
    {
        const QString path = tmp.filePath(relative);
        QDir().mkpath(path);
        for (int i = 0; i < files; ++i)
            test::WriteFile(path + u"/file%1.txt"_s.arg(i, 4, 10, QChar(u'0')), QByteArray(i, 'x'));
        return path;
    }
    void open(const QString &folder)
    {
        form = std::make_unique<WeaveForm>(fs, QLocale(QLocale::Chinese, QLocale::China),
                                           QList<Volume>{});
        form->Form_Load(NativeName::fromBytes(QFile::encodeName(folder)));
    }
    QByteArray pageBytes() const { return PageFileBytes(form->session().pageText()); }
    // Records the next message box of the window itself and closes it with OK.
    void expectMessage()
    {
        message = {};
        test::WhenModal<QMessageBox>(answers.get(), [this](QMessageBox *box) {
            if (box->parentWidget() != form.get())
                return false;
            message = {true, box->icon(), box->windowTitle(), box->text()};
            box->button(QMessageBox::Ok)->click();
            return true;
        });
    }
    // Presses the save button and lets inDialog work the dialog.
    void save(std::function<void(QFileDialog *)> inDialog)
    {
        bool seen = false;
        test::WhenModal<QFileDialog>(answers.get(), [&seen, inDialog](QFileDialog *d) {
            seen = true;
            inDialog(d);
            return true;
        });
        QTest::mouseClick(control(u"Command3"_s), Qt::LeftButton);
        QVERIFY(seen);
    }
    static void accept(QFileDialog *d)
    {
        QTest::keyClick(d->findChild<QLineEdit *>(u"fileNameEdit"_s), Qt::Key_Return);
    }
    // Answers the dialog's question about replacing a file.
    void answerReplace(QMessageBox::StandardButton answer, QString *question)
    {
        test::WhenModal<QMessageBox>(answers.get(), [answer, question](QMessageBox *box) {
            if (!qobject_cast<QFileDialog *>(box->parentWidget()))
                return false;
            *question = box->text();
            box->button(answer)->click();
            return true;
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(tmp.isValid());
        SetUpApplication(*qApp);
        QDesktopServices::setUrlHandler(u"file"_s, &catcher, "open");
    }
    void init() { answers = std::make_unique<QObject>(); }
    void cleanup()
    {
        answers.reset();
        form.reset();
        catcher.urls.clear();
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"file"_s); }

    // The dialog's fixed settings and the name it proposes in the folder listed.
    void dialogProposal_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("folder") << u"Work/Photos"_s << u"Photos"_s;
        QTest::newRow("chinese") << u"Work/照片 2002"_s << u"照片 2002"_s;
        QTest::newRow("root") << u"/"_s << u"根目录"_s;
    }
    void dialogProposal()
    {
        QFETCH(QString, folder);
        QFETCH(QString, proposed);
        if (folder != u"/")
            folder = makeFolder(folder, 2);
        open(folder);
        expectMessage();
        save([&](QFileDialog *d) {
            QCOMPARE(d->objectName(), u"CmD1"_s);
            QCOMPARE(d->windowTitle(), u"生成Dirweaver文本"_s);
            QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
            QVERIFY(d->testOption(QFileDialog::DontUseNativeDialog));
            QVERIFY(!d->testOption(QFileDialog::DontConfirmOverwrite));
            QCOMPARE(d->defaultSuffix(), u"htm"_s);
            QCOMPARE(d->nameFilters(), QStringList{u"超文本文件 (*.htm)"_s});
            QCOMPARE(d->directory().absolutePath(), folder);
            QCOMPARE(d->findChild<QLineEdit *>(u"fileNameEdit"_s)->text(), proposed);
            d->reject();
        });
        // Cancel writes nothing and says nothing.
        QVERIFY(!message.shown);
        if (folder != u"/")
            QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
    }

    void saveNewFile()
    {
        const QString folder = makeFolder(u"New/Photos"_s, 3);
        open(folder);
        expectMessage();
        save(accept);
        QCOMPARE(test::ReadFile(folder + u"/Photos.htm"_s), pageBytes());
        QVERIFY(pageBytes().endsWith("</HTML>\r\n"));
        QVERIFY(message.shown);
        QCOMPARE(message.icon, QMessageBox::NoIcon);
        QCOMPARE(message.caption, u"Dirweaver"_s);
        QCOMPARE(message.text, u"Dirweaver文本成功生成！"_s);
    }

    void saveOverExistingFile_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("replace") << true;
        QTest::newRow("keep") << false;
    }
    void saveOverExistingFile()
    {
        QFETCH(bool, replace);
        const QString folder = makeFolder(u"Over/Docs"_s, 3);
        const QString target = folder + u"/Docs.htm"_s;
        test::WriteFile(target, "old page");
        open(folder);
        expectMessage();
        QString question;
        save([&](QFileDialog *d) {
            answerReplace(replace ? QMessageBox::Yes : QMessageBox::No, &question);
            accept(d);
            // Declined, the dialog stays open for another name.
            if (!replace && d->isVisible())
                d->reject();
        });
        QVERIFY2(question.contains(u"Docs.htm"_s), qPrintable(question));
        QCOMPARE(test::ReadFile(target), replace ? pageBytes() : QByteArray("old page"));
        QCOMPARE(message.shown, replace);
    }

    // A write that fails half-way leaves the old file and nothing else behind.
    void failedSaveKeepsOldFile()
    {
        const QString folder = makeFolder(u"Full/Docs"_s, 20);
        const QString target = folder + u"/Docs.htm"_s;
        test::WriteFile(target, "old page");
        open(folder);
        QVERIFY(pageBytes().size() > 100);
        expectMessage();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 100;
        QString question;
        save([&](QFileDialog *d) {
            // The limit is set only for the write itself.
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
            answerReplace(QMessageBox::Yes, &question);
            accept(d);
        });
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
        QVERIFY(message.shown);
        QCOMPARE(message.icon, QMessageBox::Warning);
        QCOMPARE(message.caption, u"Dirweaver"_s);
        QVERIFY2(message.text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(message.text));
        QCOMPARE(test::ReadFile(target), QByteArray("old page"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 21);
    }

    // A file system that fills up during the write: the old file stays as it was.
    void saveOnFullFileSystem()
    {
        if (geteuid() != 0)
            QSKIP("mounting a small file system needs root; the write limit test covers this");
        const QString mountPoint = tmp.filePath(u"small"_s);
        QVERIFY(QDir().mkpath(mountPoint));
        if (mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP(qPrintable(u"cannot mount a tmpfs here: "_s +
                             QString::fromLocal8Bit(std::strerror(errno))));
        const auto unmount =
            qScopeGuard([&] { umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH); });
        const QString target = mountPoint + u"/Docs.htm"_s;
        test::WriteFile(target, "old page");
        test::WriteFile(mountPoint + u"/filler"_s, QByteArray(40 * 1024, 'f'));

        open(makeFolder(u"Huge/Docs"_s, 400));
        QVERIFY(pageBytes().size() > 64 * 1024);
        expectMessage();
        QString question;
        save([&](QFileDialog *d) {
            answerReplace(QMessageBox::Yes, &question);
            d->findChild<QLineEdit *>(u"fileNameEdit"_s)->setText(target);
            accept(d);
        });
        QVERIFY(message.shown);
        QCOMPARE(message.icon, QMessageBox::Warning);
        QVERIFY(!message.text.isEmpty());
        QCOMPARE(test::ReadFile(target), QByteArray("old page"));
        QCOMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // The file gets the whole page, never the abridged or edited source view.
    void longPageSavedWhole()
    {
        const QString folder = makeFolder(u"Long/Many"_s, 400);
        open(folder);
        auto *text1 = control<QPlainTextEdit>(u"Text1"_s);
        QVERIFY(form->session().pageText().size() > text1->toPlainText().size());
        text1->moveCursor(QTextCursor::Start);
        QTest::keyClicks(text1, QStringLiteral("HANDEDIT"));
        expectMessage();
        save(accept);
        QCOMPARE(message.icon, QMessageBox::NoIcon);
        const QByteArray saved = test::ReadFile(folder + u"/Many.htm"_s);
        QCOMPARE(saved, pageBytes());
        QVERIFY(saved.contains("file0399.txt"));
        QVERIFY(!saved.contains("HANDEDIT"));
        QVERIFY(text1->toPlainText().startsWith(u"HANDEDIT"_s));
    }

    // The preview file sits in the private runtime folder and each preview replaces it.
    void previewWritesAndReplaces()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const QString folder = makeFolder(u"Preview/Docs"_s, 2);
        open(folder);
        const QString file = runtime.path() + u"/Dirweaver~temp.htm"_s;

        QTest::mouseClick(control(u"Command6"_s), Qt::LeftButton);
        QCOMPARE(test::ReadFile(file), pageBytes());
        QVERIFY(test::ReadFile(file).endsWith("\r\n"));
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(file)});

        const QByteArray first = pageBytes();
        QTest::mouseClick(control(u"Check8"_s), Qt::LeftButton);
        QVERIFY(pageBytes() != first);
        QTest::mouseClick(control(u"Command6"_s), Qt::LeftButton);
        QCOMPARE(test::ReadFile(file), pageBytes());
        QCOMPARE(catcher.urls.size(), 2);
        QCOMPARE(QDir(runtime.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void previewThatCannotBeWrittenWarns_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("file cannot be made") << false;
        QTest::newRow("read-only folder") << true;
    }
    void previewThatCannotBeWrittenWarns()
    {
        QFETCH(bool, readOnly);
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const auto restore = qScopeGuard([] { qunsetenv("XDG_RUNTIME_DIR"); });
        const QByteArray folder = QFile::encodeName(runtime.path());
        if (readOnly) {
            if (geteuid() != 0)
                QSKIP("mounting a read-only folder needs root");
            if (mount("tmpfs", folder.constData(), "tmpfs", MS_RDONLY, "mode=0700") != 0)
                QSKIP(qPrintable(u"cannot mount a tmpfs here: "_s +
                                 QString::fromLocal8Bit(std::strerror(errno))));
        } else {
            // A folder where the file should go: no file can take its place.
            QVERIFY(QDir(runtime.path()).mkdir(u"Dirweaver~temp.htm"_s));
        }
        const auto unmount = qScopeGuard([&] {
            if (readOnly)
                umount2(folder.constData(), MNT_DETACH);
        });
        open(makeFolder(u"Blocked/Docs"_s, 2));
        expectMessage();
        QTest::mouseClick(control(u"Command6"_s), Qt::LeftButton);
        QVERIFY(message.shown);
        QCOMPARE(message.icon, QMessageBox::Warning);
        QCOMPARE(message.caption, u"Dirweaver"_s);
        QVERIFY2(message.text.contains(u"Dirweaver~temp.htm"_s), qPrintable(message.text));
        QVERIFY(catcher.urls.isEmpty());
    }

    // A runtime folder that has gone is made again, or another private folder is used.
    void previewFolderMissing()
    {
        QTemporaryDir runtime;
        const QString gone = runtime.filePath(u"gone"_s);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(gone));
        const auto restore = qScopeGuard([] { qunsetenv("XDG_RUNTIME_DIR"); });
        open(makeFolder(u"Missing/Docs"_s, 2));
        QTest::mouseClick(control(u"Command6"_s), Qt::LeftButton);
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(test::ReadFile(catcher.urls[0].toLocalFile()), pageBytes());
    }
};

QTEST_MAIN(TestSaving)
#include "tst_saving.moc"
