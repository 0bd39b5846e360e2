// Saving reports, the proposed file name and where the preview file goes.
#include "output/pagefile.h"
#include "output/preview.h"
#include "output/saving.h"
#include "selection/titles.h"
#include "text/gbk.h"

#include "testfiles.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace dirweaver;
using namespace Qt::StringLiterals;

class TestOutput : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(tmp.isValid());
    }
    void cleanup() { qunsetenv("XDG_RUNTIME_DIR"); }

    void proposedFileName_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("root") << u"/"_s << u"根目录"_s;
        QTest::newRow("folder") << u"Photos"_s << u"Photos"_s;
        QTest::newRow("chinese") << u"照片 2002"_s << u"照片 2002"_s;
        QTest::newRow("dotted") << u"v1.06"_s << u"v1.06"_s;
    }
    void proposedFileName()
    {
        QFETCH(QString, title);
        QFETCH(QString, proposed);
        QCOMPARE(ProposedFileName(title), proposed);
    }

    void report_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("saved");
        QTest::newRow("new file") << u"page.htm"_s << true;
        QTest::newRow("missing folder") << u"no/such/page.htm"_s << false;
        QTest::newRow("a folder") << u"."_s << false;
    }
    void report()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, saved);
        const QString path = tmp.filePath(fileName);
        const SaveReport r = SaveAndReport(path, PageFileBytes(u"<HTML>页</HTML>"));
        QCOMPARE(r.saved, saved);
        if (saved) {
            QCOMPARE(r.text, u"Dirweaver文本成功生成！"_s);
            QCOMPARE(test::ReadFile(path), PageFileBytes(u"<HTML>页</HTML>"));
        } else {
            QVERIFY(!r.text.isEmpty());
            QVERIFY(r.text != u"Dirweaver文本成功生成！"_s);
        }
    }

    // Written twice, the second page replaces the first.
    void previewInRuntimeFolder()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QCOMPARE(PreviewFolder(), runtime.path());
        QString error;
        const QString file = WritePreview(PageFileBytes(u"<HTML>一</HTML>"), &error);
        QCOMPARE(file, runtime.path() + u"/Dirweaver~temp.htm"_s);
        QCOMPARE(test::ReadFile(file), QByteArray("<HTML>\xd2\xbb</HTML>\r\n"));
        QCOMPARE(WritePreview(PageFileBytes(u"<HTML>二</HTML>"), &error), file);
        QCOMPARE(test::ReadFile(file), PageFileBytes(u"<HTML>二</HTML>"));
        QVERIFY(error.isEmpty());
    }

    // A runtime folder that another user owns is never written to.
    void foreignRuntimeFolderIsPassedOver()
    {
        if (::geteuid() != 0)
            QSKIP("giving a folder to another user needs root");
        QTemporaryDir runtime;
        QCOMPARE(::chown(QFile::encodeName(runtime.path()).constData(), 65534, 65534), 0);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const QString folder = PreviewFolder();
        QVERIFY(!folder.isEmpty() && folder != runtime.path());
        struct stat st
        {
        };
        QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
        QCOMPARE(st.st_uid, ::geteuid());
        QCOMPARE(st.st_mode & (S_IWGRP | S_IWOTH), 0u);
        QString error;
        QCOMPARE(WritePreview(ToGbk(u"x"), &error), folder + u"/Dirweaver~temp.htm"_s);
        QVERIFY(!QFile::exists(runtime.path() + u"/Dirweaver~temp.htm"_s));
    }

    void previewThatCannotBeWritten()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QVERIFY(QDir(runtime.path()).mkdir(u"Dirweaver~temp.htm"_s));
        QString error;
        QVERIFY(WritePreview(ToGbk(u"x"), &error).isEmpty());
        QVERIFY2(error.contains(runtime.path() + u"/Dirweaver~temp.htm"_s), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestOutput)
#include "tst_output.moc"
