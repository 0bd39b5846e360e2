// The browser preview from the window: where the page is written, and what the user is told
// when no browser takes it.
#include "formfixture.h"
#include "ui/application.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

using namespace dirweaver;
using namespace dirweaver::test;
using namespace Qt::StringLiterals;

namespace {

// Opens files the way a desktop does: it starts its opener detached and returns at once.
class DetachedOpener : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    void open(const QUrl &url) { QProcess::startDetached(u"xdg-open"_s, {url.toLocalFile()}); }
};

} // namespace

class TestPreview : public QObject, public FormFixture
{
    Q_OBJECT

    DetachedOpener detached;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(tmp.isValid());
        SetUpApplication(*qApp, PageLanguage::Chinese);
    }
    void init() { QDesktopServices::setUrlHandler(u"file"_s, &catcher, "open"); }
    void cleanup()
    {
        answers = std::make_unique<QObject>();
        form.reset();
        catcher.urls.clear();
        QDesktopServices::unsetUrlHandler(u"file"_s);
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
        QCOMPARE(ReadFile(file), pageBytes());
        QVERIFY(ReadFile(file).endsWith("\r\n"));
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(file)});

        const QByteArray first = pageBytes();
        QTest::mouseClick(control(u"Check8"_s), Qt::LeftButton);
        QVERIFY(pageBytes() != first);
        QTest::mouseClick(control(u"Command6"_s), Qt::LeftButton);
        QCOMPARE(ReadFile(file), pageBytes());
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
        QCOMPARE(ReadFile(catcher.urls[0].toLocalFile()), pageBytes());
    }

    // When the page reaches no browser the user is told where it is, to open it by hand; a
    // browser that starts and keeps running is success.
    void notOpened_data()
    {
        QTest::addColumn<QByteArray>("opener"); // the stand-in xdg-open; empty: none at all
        QTest::addColumn<bool>("warned");
        QTest::newRow("no opener") << QByteArray() << true;
        QTest::newRow("opener finds no method") << QByteArray("exit 3") << true;
        QTest::newRow("opener hands it on") << QByteArray("exit 0") << false;
        QTest::newRow("browser keeps running")
            << QByteArray("exec sleep 6 >/dev/null 2>&1") << false;
    }
    void notOpened()
    {
        QFETCH(QByteArray, opener);
        QFETCH(bool, warned);
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QTemporaryDir bin;
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()) + ":/usr/bin:/bin");
        const auto restore = qScopeGuard([&] {
            qunsetenv("XDG_RUNTIME_DIR");
            qputenv("PATH", oldPath);
        });
        if (opener.isEmpty()) {
            // No handler and, offscreen, no desktop: the desktop says it cannot open it.
            QDesktopServices::unsetUrlHandler(u"file"_s);
        } else {
            const QString script = bin.filePath(u"xdg-open"_s);
            WriteFile(script, "#!/bin/sh\n" + opener + "\n");
            QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
            QDesktopServices::setUrlHandler(u"file"_s, &detached, "open");
        }
        open(makeFolder(u"NotOpened/Docs"_s, 2));
        expectMessage();
        QTest::mouseClick(control(u"Command6"_s), Qt::LeftButton);
        const QString file = runtime.path() + u"/Dirweaver~temp.htm"_s;
        QCOMPARE(ReadFile(file), pageBytes());
        if (warned) {
            QTRY_VERIFY_WITH_TIMEOUT(message.shown, 5000);
            QCOMPARE(message.icon, QMessageBox::Warning);
            QCOMPARE(message.caption, u"Dirweaver"_s);
            QVERIFY2(message.text.contains(file), qPrintable(message.text));
        } else {
            QTest::qWait(OpenerWatch::kGraceMs + 300);
            QVERIFY(!message.shown);
        }
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
