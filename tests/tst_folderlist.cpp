#include "fakefilesystem.h"
#include "selection/drives.h"
#include "selection/folderlist.h"

#include <QTest>

#include <cerrno>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

NativeName name(const char *path)
{
    return NativeName::fromBytes(QByteArray(path));
}

QStringList shown(const FolderListModel &model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row);
        rows.append(QString::number(model.data(index, FolderListModel::DepthRole).toInt()) +
                    (model.data(index, FolderListModel::OnChainRole).toBool() ? u'+' : u' ') +
                    model.data(index).toString());
    }
    return rows;
}

} // namespace

class TestFolderList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chainThenSortedSubFolders()
    {
        test::FakeFileSystem fs;
        fs.addFolder("/home/u");
        fs.addFolder("/home/u/Zeta");
        fs.addFolder("/home/u/alpha");
        fs.addFolder("/home/u/Beta");
        FolderListModel model;
        QVERIFY(!model.isOpen(name("/home/u")));
        model.setPath(name("/home/u"),
                      ListSubFolders(fs, "/home/u", FileSorter(QLocale(QLocale::English))));
        QVERIFY(model.isOpen(name("/home/u")));
        QCOMPARE(shown(model), (QStringList{u"0+/"_s, u"1+home"_s, u"2+u"_s, u"3 alpha"_s,
                                            u"3 Beta"_s, u"3 Zeta"_s}));
        QCOMPARE(model.openRow(), 2);
        QCOMPARE(model.entryPath(0).bytes, QByteArray("/"));
        QCOMPARE(model.entryPath(1).bytes, QByteArray("/home"));
        QCOMPARE(model.entryPath(4).bytes, QByteArray("/home/u/Beta"));
    }

    // A folder that cannot be read shows its chain and nothing below it.
    void unreadableFolder()
    {
        test::FakeFileSystem fs;
        fs.addFolder("/locked", EACCES);
        FolderListModel model;
        model.setPath(name("/locked"), ListSubFolders(fs, "/locked", FileSorter(QLocale::c())));
        QCOMPARE(model.error(), EACCES);
        QCOMPARE(shown(model), (QStringList{u"0+/"_s, u"1+locked"_s}));
    }

    void volumeOfFolder_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QString>("drive");
        QTest::newRow("root") << QByteArray("/") << u"/"_s;
        QTest::newRow("under root") << QByteArray("/home/u") << u"/"_s;
        QTest::newRow("mount point") << QByteArray("/media/usb") << u"/media/usb [PHOTOS]"_s;
        QTest::newRow("inside a mount")
            << QByteArray("/media/usb/2002") << u"/media/usb [PHOTOS]"_s;
        QTest::newRow("name that only starts alike") << QByteArray("/media/usb2") << u"/"_s;
    }
    void volumeOfFolder()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QString, drive);
        const Drives drives({{name("/media/usb"), u"PHOTOS"_s}, {name("/boot"), {}}});
        const qsizetype index = drives.volumeOf(folder);
        QVERIFY(index >= 0);
        QCOMPARE(DriveText(drives.volumes()[index]), drive);
    }

    void currentFolderPerDrive()
    {
        Drives drives({{name("/media/usb"), {}}});
        const qsizetype usb = drives.volumeOf("/media/usb");
        const qsizetype root = drives.volumeOf("/");
        QCOMPARE(drives.currentFolder(usb).bytes, QByteArray("/media/usb"));
        drives.remember(name("/media/usb/a"));
        drives.remember(name("/home/u"));
        QCOMPARE(drives.currentFolder(usb).bytes, QByteArray("/media/usb/a"));
        QCOMPARE(drives.currentFolder(root).bytes, QByteArray("/home/u"));
    }

    // The volumes change (a disk mounted or taken away): a drive still there keeps the folder
    // last opened on it; one whose folder now lies on another volume starts at its root.
    void drivesUpdated_data()
    {
        QTest::addColumn<QList<QByteArray>>("mounts");
        QTest::addColumn<QByteArray>("drive");
        QTest::addColumn<QByteArray>("current");
        const QList<QByteArray> before = {"/media/usb"};
        QTest::newRow("unchanged")
            << before << QByteArray("/media/usb") << QByteArray("/media/usb/a");
        QTest::newRow("another disk comes") << QList<QByteArray>{"/media/usb", "/media/b"}
                                            << QByteArray("/") << QByteArray("/home/u");
        QTest::newRow("the disk goes, comes back")
            << QList<QByteArray>{} << QByteArray("/") << QByteArray("/home/u");
        QTest::newRow("a disk mounted over the folder")
            << QList<QByteArray>{"/media/usb", "/home"} << QByteArray("/") << QByteArray("/");
    }
    void drivesUpdated()
    {
        QFETCH(QList<QByteArray>, mounts);
        QFETCH(QByteArray, drive);
        QFETCH(QByteArray, current);
        Drives drives({{name("/media/usb"), {}}});
        drives.remember(name("/media/usb/a"));
        drives.remember(name("/home/u"));
        QList<Volume> volumes;
        for (const QByteArray &mount : mounts)
            volumes.append({NativeName::fromBytes(mount), {}});
        drives.update(volumes);
        if (!mounts.contains("/media/usb"))
            drives.update({{name("/media/usb"), {}}}); // back: it starts at its root
        QCOMPARE(drives.currentFolder(drives.volumeOf(drive)).bytes, current);
        if (!mounts.contains("/media/usb"))
            QCOMPARE(drives.currentFolder(drives.volumeOf("/media/usb")).bytes,
                     QByteArray("/media/usb"));
    }
};

QTEST_GUILESS_MAIN(TestFolderList)
#include "tst_folderlist.moc"
