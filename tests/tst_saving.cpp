// Saving from the window, through the real save dialog and message boxes.
#include "cli/catalog.h"
#include "cli/commandline.h"
#include "formfixture.h"
#include "ui/application.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace dirweaver;
using namespace dirweaver::test;
using namespace Qt::StringLiterals;

class TestSaving : public QObject, public FormFixture
{
    Q_OBJECT

    // Presses the save button and lets inDialog work the dialog.
    void save(std::function<void(QFileDialog *)> inDialog)
    {
        bool seen = false;
        WhenModal<QFileDialog>(answers.get(), [&seen, inDialog](QFileDialog *d) {
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
        WhenModal<QMessageBox>(answers.get(), [answer, question](QMessageBox *box) {
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
        SetUpApplication(*qApp, PageLanguage::Chinese);
        QDesktopServices::setUrlHandler(u"file"_s, &catcher, "open");
    }
    void cleanup()
    {
        answers = std::make_unique<QObject>();
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
            QCOMPARE(d->nameFilters(),
                     (QStringList{u"超文本文件 (*.htm)"_s, u"超文本文件 UTF-8 编码 (*.htm)"_s,
                                  u"超文本表格 (*.htm)"_s, u"JSON 数据 (*.json)"_s,
                                  u"目录总览 (*.htm)"_s}));
            QCOMPARE(d->selectedNameFilter(), u"超文本文件 (*.htm)"_s);
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
        QCOMPARE(ReadFile(folder + u"/Photos.htm"_s), pageBytes());
        QVERIFY(pageBytes().endsWith("</HTML>\r\n"));
        QVERIFY(message.shown);
        QCOMPARE(message.icon, QMessageBox::NoIcon);
        QCOMPARE(message.caption, u"Dirweaver"_s);
        QCOMPARE(message.text, u"Dirweaver文本成功生成！"_s);
    }

    void saveInOtherForms_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<const PageFormat *>("format");
        QTest::addColumn<QByteArray>("link");
        QTest::newRow("UTF-8") << u"超文本文件 UTF-8 编码 (*.htm)"_s << &ClassicFormat()
                               << u"表 😀.txt\">表 😀.txt</A>"_s.toUtf8();
        QTest::newRow("table") << u"超文本表格 (*.htm)"_s << &TableFormat()
                               << u"<tr><td><a href=\"表%20😀.txt\">表 😀.txt</a>"_s.toUtf8();
        QTest::newRow("JSON") << u"JSON 数据 (*.json)"_s << &JsonFormat()
                              << u"{\"name\":\"表 😀.txt\",\"target\":\"表%20😀.txt\""_s.toUtf8();
    }

    // The other file types save the same list and options as a UTF-8 page, a table or a JSON
    // listing, under the type's suffix, and the preview follows that choice.
    void saveInOtherForms()
    {
        QFETCH(QString, type);
        QFETCH(const PageFormat *, format);
        QFETCH(QByteArray, link);
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const auto restore = qScopeGuard([] { qunsetenv("XDG_RUNTIME_DIR"); });
        const QString folder =
            makeFolder(u"Forms/"_s + QString::fromLatin1(QTest::currentDataTag()) + u"/文档"_s, 2);
        WriteFile(folder + u"/表 😀.txt"_s, "x");
        open(folder);
        expectMessage();
        save([&type](QFileDialog *d) {
            // Chosen as a user chooses it, with the keys on the dialog's type box.
            auto *types = d->findChild<QComboBox *>(u"fileTypeCombo"_s);
            QVERIFY(types);
            for (int i = 0; i < types->count() && types->currentText() != type; ++i)
                QTest::keyClick(types, Qt::Key_Down);
            QCOMPARE(d->selectedNameFilter(), type);
            accept(d);
        });
        QCOMPARE(message.text, u"Dirweaver文本成功生成！"_s);
        const QString suffix = QString::fromLatin1(format->suffix);
        const QByteArray saved = ReadFile(folder + u"/文档"_s + suffix);
        QCOMPARE(saved, form->session().pageIn({format, PageEncoding::Utf8}));
        QVERIFY(saved.contains("charset=utf-8") || saved.contains("charset=\"utf-8\"") ||
                format->data);
        QVERIFY2(saved.contains(link), saved.constData());
        QVERIFY(pageBytes().contains("charset=gbk")); // the window's page stays classic GBK
        QVERIFY(pageBytes().contains("<A HREF="));

        QTest::mouseClick(control(u"Command6"_s), Qt::LeftButton);
        QCOMPARE(ReadFile(runtime.path() + u"/Dirweaver~temp"_s + suffix), saved);
    }

    void catalogue_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("written") << false;
        QTest::newRow("stopped") << true;
    }

    // The catalogue type writes the open folder's whole tree as the command line's catalogue
    // does, a progress bar showing meanwhile; its stop button stops it, with nothing written
    // and nothing more said.
    void catalogue()
    {
        QFETCH(bool, stop);
        const QString folder =
            makeFolder(u"Catalogue/"_s + QString::fromLatin1(QTest::currentDataTag()), 2);
        makeFolder(folder.mid(tmp.path().size() + 1) + u"/内层"_s, 1);
        open(folder);
        form->setCatalogueMaker([this, stop](const CatalogueJob &job) {
            // A stopped run waits for the stop button, which the test presses.
            while (stop && !job.stopped())
                QThread::msleep(1);
            return MakeCatalogue(job, disk, locale);
        });
        if (stop) {
            WhenModal<QProgressDialog>(answers.get(), [](QProgressDialog *d) {
                QTest::mouseClick(d->findChild<QPushButton *>(), Qt::LeftButton);
                return true;
            });
        }
        expectMessage();
        save([](QFileDialog *d) {
            d->selectNameFilter(u"目录总览 (*.htm)"_s);
            d->findChild<QLineEdit *>(u"fileNameEdit"_s)->setText(u"全部.htm"_s);
            accept(d);
        });
        const QString file = folder + u"/全部.htm"_s;
        if (stop) {
            QVERIFY(!QFile::exists(file));
            QVERIFY(!message.shown);
            return;
        }
        QCOMPARE(message.text, u"目录总览已生成："_s + file);
        const QByteArray written = ReadFile(file);
        QVERIFY(written.contains("content=\"Dirweaver --catalog\""));
        QVERIFY(written.contains("\n内层\n") || written.contains("/内层\n"));
        QVERIFY(written.contains("\nfile0000.txt\n"));
        // The window's own page stays what it was, for the preview.
        QVERIFY(pageBytes().contains("charset=gbk"));
    }

    // Opened with listing options, the window shows, saves and previews the page that
    // --write gives with them.
    void listingOptions()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const auto restore = qScopeGuard([] { qunsetenv("XDG_RUNTIME_DIR"); });
        const QString folder = tmp.filePath(u"Listing/文档"_s);
        QDir().mkpath(folder);
        WriteFile(folder + u"/large.txt"_s, QByteArray(3000, 'x'));
        WriteFile(folder + u"/small.txt"_s, "x");
        WriteFile(folder + u"/part.tmp"_s, "x");
        const QStringList options = {u"--sort"_s, u"size"_s,       u"--reverse"_s, u"--exclude"_s,
                                     u"*.tmp"_s,  u"--checksum"_s, u"sha256"_s};
        const auto parsed = ParseWindowArguments(
            {"--sort", "size", "--reverse", "--exclude", "*.tmp", "--checksum", "sha256"});
        openOn(disk, QFile::encodeName(folder), {}, std::get<WindowRequest>(parsed).listing);
        const QString shown = page();
        QVERIFY(shown.indexOf(u"small.txt"_s) < shown.indexOf(u"large.txt"_s));
        QVERIFY(!shown.contains(u"part.tmp"_s));
        // sha256("x"), its first sixteen digits shown.
        QVERIFY(shown.contains(u"2d711642b726b044…"_s));
        QProcess writer;
        writer.start(QStringLiteral(DIRWEAVER_EXECUTABLE),
                     QStringList{u"--write"_s, u"-"_s} + options + QStringList{folder});
        QVERIFY(writer.waitForFinished());
        const QByteArray written = writer.readAllStandardOutput();
        expectMessage();
        save(accept);
        QCOMPARE(ReadFile(folder + u"/文档.htm"_s), written);
        QTest::mouseClick(control(u"Command6"_s), Qt::LeftButton);
        QCOMPARE(ReadFile(runtime.path() + u"/Dirweaver~temp.htm"_s), written);
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
        WriteFile(target, "old page");
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
        QCOMPARE(ReadFile(target), replace ? pageBytes() : QByteArray("old page"));
        QCOMPARE(message.shown, replace);
    }

    // A write that fails half-way leaves the old file and nothing else behind.
    void failedSaveKeepsOldFile()
    {
        const QString folder = makeFolder(u"Full/Docs"_s, 20);
        const QString target = folder + u"/Docs.htm"_s;
        WriteFile(target, "old page");
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
        // The file and the reason.
        QVERIFY2(message.text.contains(target) &&
                     message.text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(message.text));
        QCOMPARE(ReadFile(target), QByteArray("old page"));
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
        WriteFile(target, "old page");
        WriteFile(mountPoint + u"/filler"_s, QByteArray(40 * 1024, 'f'));

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
        QVERIFY2(message.text.contains(target) &&
                     message.text.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
                 qPrintable(message.text));
        QCOMPARE(ReadFile(target), QByteArray("old page"));
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
        const QByteArray saved = ReadFile(folder + u"/Many.htm"_s);
        QCOMPARE(saved, pageBytes());
        QVERIFY(saved.contains("file0399.txt"));
        QVERIFY(!saved.contains("HANDEDIT"));
        QVERIFY(text1->toPlainText().startsWith(u"HANDEDIT"_s));
    }

    // Saving or previewing while another folder's page is still being built waits for that
    // page: the file holds the folder whose name it is given.
    void outputDuringBuild_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("save") << u"Command3"_s;
        QTest::newRow("preview") << u"Command6"_s;
    }
    void outputDuringBuild()
    {
        QFETCH(QString, button);
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const auto restore = qScopeGuard([] { qunsetenv("XDG_RUNTIME_DIR"); });
        const QString outer = makeFolder(u"During/Outer"_s, 2);
        const QString inner = makeFolder(u"During/Outer/Inner"_s, 50);
        open(outer);
        expectMessage();
        WhenModal<QFileDialog>(answers.get(), [](QFileDialog *d) {
            accept(d);
            return true;
        });

        // The click waits in the queue until the build of Inner yields for the first time.
        PostClick(control(button));
        auto *dir = control<QListView>(u"Dir1"_s);
        const QModelIndex entry = dir->model()
                                      ->match(dir->model()->index(0, 0), Qt::DisplayRole,
                                              u"Inner"_s, 1, Qt::MatchEndsWith)
                                      .value(0);
        QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, dir->visualRect(entry).center());

        const QString written = button == u"Command3"_s ? inner + u"/Inner.htm"_s
                                                        : runtime.path() + u"/Dirweaver~temp.htm"_s;
        QTRY_VERIFY(QFile::exists(written));
        QCOMPARE(ReadFile(written), pageBytes());
        QVERIFY(pageBytes().contains("/Inner/file0049.txt"));
    }
};

QTEST_MAIN(TestSaving)
#include "tst_saving.moc"
