// Dirweaver left alone with other people's folders: --tree run by root over a tree that an
// unprivileged user fills, --write over files in shared folders, and names that would talk
// to the terminal. The tree is owned by a user made for the test; rows that need root are
// skipped without it.
#include "cli/messages.h"
#include "cli/tree.h"
#include "runprogram.h"
#include "testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using namespace dirweaver;
using namespace dirweaver::test;
using namespace Qt::StringLiterals;

namespace {

constexpr const char *kUser = "dirweaver-test";

// The running row's name, which names its folders.
QString tag()
{
    return QString::fromUtf8(QTest::currentDataTag());
}

Run program(const QStringList &arguments)
{
    return RunProgram(QStringLiteral(DIRWEAVER_EXECUTABLE), arguments);
}

QByteArray bytes(const QString &path)
{
    return QFile::encodeName(path);
}

// Gives path (never followed) and everything below it to the test's user.
void giveAway(const QString &path, uid_t uid, gid_t gid)
{
    QVERIFY(::lchown(bytes(path).constData(), uid, gid) == 0);
    QDir dir(path);
    for (const QFileInfo &entry :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.isDir() && !entry.isSymLink())
            giveAway(entry.filePath(), uid, gid);
        else
            QVERIFY(::lchown(bytes(entry.filePath()).constData(), uid, gid) == 0);
    }
}

// A POSIX ACL as the kernel stores it in an extended attribute: the owner, one named user
// (who may read), the group, the mask and the others.
QByteArray aclGivingRead(uid_t user)
{
    QByteArray acl;
    const auto add = [&acl](quint32 value, int size) {
        acl.append(reinterpret_cast<const char *>(&value), size);
    };
    add(2, 4); // version
    const quint16 entries[][2] = {{0x01, 6}, {0x02, 4}, {0x04, 4}, {0x10, 4}, {0x20, 0}};
    for (const auto &entry : entries) {
        add(entry[0], 2);
        add(entry[1], 2);
        add(entry[0] == 0x02 ? user : quint32(-1), 4);
    }
    return acl;
}

// However the test ends, even killed or aborted: the user it made removed, the kernel
// switches it may set as they were, and the folders below dir unmounted. A shell started
// now, which keeps the switches' values and waits until this process is gone (the pipe it
// reads from closes with it).
void startJanitor(bool removeUser, const QByteArray &dir)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return;
    const QByteArray script =
        "cd /proc/sys/fs || exit 0; links=$(cat protected_symlinks); "
        "regular=$(cat protected_regular); cat >/dev/null; "
        "echo \"$links\" >protected_symlinks; echo \"$regular\" >protected_regular; "
        "grep -F \" $1/\" /proc/self/mounts | cut -d' ' -f2 | sort -r | "
        "while read -r point; do umount -l \"$(printf '%b' \"$point\")\"; done; " +
        QByteArray(removeUser ? "userdel dirweaver-test" : "true");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[0], STDIN_FILENO);
    char shell[] = "/bin/sh", dashC[] = "-c", name[] = "janitor";
    QByteArray body = script, folder = dir;
    char *argv[] = {shell, dashC, body.data(), name, folder.data(), nullptr};
    pid_t pid;
    posix_spawn(&pid, shell, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[0]); // pipe[1] stays open, never inherited, until this process is gone
}

// Sets a kernel switch for as long as the guard lives.
class KernelSwitch
{
public:
    KernelSwitch(const QString &name, const QByteArray &value) : file_(u"/proc/sys/fs/"_s + name)
    {
        old_ = ReadFile(file_).trimmed();
        QFile f(file_);
        ok_ = f.open(QIODevice::WriteOnly) && f.write(value) == value.size();
    }
    ~KernelSwitch()
    {
        QFile f(file_);
        if (ok_ && f.open(QIODevice::WriteOnly))
            f.write(old_);
    }
    bool ok() const { return ok_; }

private:
    QString file_;
    QByteArray old_;
    bool ok_ = false;
};

// The slow mirror of a folder (a round trip of 1 ms on every lookup) mounted for a test, and
// unmounted however the test ends; why() says why it could not be.
class Mirror
{
public:
    Mirror(const QString &source, const QString &point) : point_(point)
    {
        const QString mirror = QStringLiteral(DIRWEAVER_SLOWFS);
        if (mirror.isEmpty() || !QFile::exists(u"/dev/fuse"_s)) {
            why_ = u"no slow mirror here (libfuse3-dev, /dev/fuse)"_s;
            return;
        }
        QDir().mkpath(point);
        if (QProcess::execute(mirror, {source, point, u"1000"_s}) != 0)
            why_ = u"this machine does not allow a FUSE mount"_s;
    }
    ~Mirror()
    {
        if (why_.isEmpty())
            QProcess::execute(u"fusermount3"_s, {u"-u"_s, point_});
    }
    Mirror(const Mirror &) = delete;
    Mirror &operator=(const Mirror &) = delete;
    const QString &why() const { return why_; }

private:
    QString point_, why_;
};

} // namespace

class TestTreeGuard : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;

    // A fresh tree "name" with a file and a sub-folder, owned by the test's user.
    QString userTree(const QString &name)
    {
        const QString top = dir_.filePath(name);
        QDir().mkpath(top + u"/sub"_s);
        WriteFile(top + u"/a.txt"_s, "a");
        WriteFile(top + u"/sub/b.txt"_s, "b");
        return top;
    }
    void needRoot()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to run as root over another user's tree");
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        // Root's temporary folder is open to the test's user below it.
        QVERIFY(::chmod(bytes(dir_.path()).constData(), 0755) == 0);
        if (::geteuid() != 0)
            return;
        const bool made = !::getpwnam(kUser);
        if (made)
            QProcess::execute(u"useradd"_s, {u"--system"_s, u"--no-create-home"_s, u"--shell"_s,
                                             u"/usr/sbin/nologin"_s, QString::fromLatin1(kUser)});
        startJanitor(made, bytes(dir_.path()));
        const passwd *user = ::getpwnam(kUser);
        QVERIFY2(user, "cannot make the test's user");
        uid_ = user->pw_uid;
        gid_ = user->pw_gid;
    }

    // Trees deeper than a path may be long are beyond what QTemporaryDir can remove.
    void cleanupTestCase() { QProcess::execute(u"rm"_s, {u"-rf"_s, dir_.path()}); }

    // What the user leaves at a page's name: nothing there is followed, opened unless a regular
    // file, or replaced unless a tree run wrote it; the run goes on and says so.
    void pageName_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("said");
        const QByteArray notRegular = "not a regular file";
        QTest::newRow("link to root's file") << u"link"_s << QStringList() << 1 << notRegular;
        QTest::newRow("dangling link") << u"dangling"_s << QStringList() << 1 << notRegular;
        QTest::newRow("link to a device") << u"device link"_s << QStringList() << 1 << notRegular;
        QTest::newRow("FIFO without a reader") << u"fifo"_s << QStringList() << 1 << notRegular;
        QTest::newRow("socket") << u"socket"_s << QStringList() << 1 << notRegular;
        QTest::newRow("folder") << u"folder"_s << QStringList() << 1 << notRegular;
        QTest::newRow("link, even with --force")
            << u"link"_s << QStringList{u"--force"_s} << 1 << notRegular;
        QTest::newRow("hand-made page")
            << u"hand-made"_s << QStringList() << 1 << QByteArray("not a page of --tree");
        QTest::newRow("hand-made page, --force")
            << u"hand-made"_s << QStringList{u"--force"_s} << 0 << QByteArray("0 skipped");
    }
    void pageName()
    {
        needRoot();
        QFETCH(QString, planted);
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QByteArray, said);
        const QString top = userTree(u"planted "_s + tag());
        const QString victim = dir_.filePath(u"root.conf "_s + tag());
        WriteFile(victim, "root's own\n");
        const QByteArray page = bytes(top + u"/sub/sub.htm"_s);
        if (planted == u"link")
            QVERIFY(::symlink(bytes(victim).constData(), page.constData()) == 0);
        else if (planted == u"dangling")
            QVERIFY(::symlink(bytes(victim + u".new"_s).constData(), page.constData()) == 0);
        else if (planted == u"device link")
            QVERIFY(::symlink("/dev/null", page.constData()) == 0);
        else if (planted == u"fifo")
            QVERIFY(::mkfifo(page.constData(), 0666) == 0);
        else if (planted == u"folder")
            QVERIFY(::mkdir(page.constData(), 0755) == 0);
        else if (planted == u"hand-made")
            WriteFile(QFile::decodeName(page), "my notes\n");
        if (planted == u"socket") {
            const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            QVERIFY(size_t(page.size()) < sizeof address.sun_path);
            std::memcpy(address.sun_path, page.constData(), size_t(page.size()));
            QVERIFY(::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
            ::close(s);
        }
        giveAway(top, uid_, gid_);

        const Run run = program(QStringList{u"--tree"_s} + options + QStringList{top});
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(said), run.err.constData());
        QCOMPARE(ReadFile(victim), QByteArray("root's own\n"));
        QVERIFY(!QFile::exists(victim + u".new"_s));
        // The rest of the tree has its pages.
        QVERIFY(ReadFile(top + u"/planted "_s + tag() + u".htm"_s).contains("a.txt"));
        if (planted == u"hand-made")
            QCOMPARE(ReadFile(QFile::decodeName(page)).contains("b.txt"), status == 0);
    }

    void swappedFolders_data()
    {
        QTest::addColumn<bool>("slow"); // through a mirror with a round trip on every lookup
        QTest::newRow("local") << false;
        QTest::newRow("slow storage, looked into ahead") << true;
    }
    // Folders swapped for links to a root-only folder while the tree is walked, and files
    // appearing and vanishing: no page lands outside the tree, none lists the secret folder,
    // and the status tells whether anything was skipped. On slow storage the run looks into
    // sub-folders ahead on other threads and writes many pages at once.
    void swappedFolders()
    {
        QFETCH(bool, slow);
        needRoot();
        const QString top = userTree(u"swapped "_s + tag());
        const QString secret = dir_.filePath(u"secret"_s);
        QDir().mkpath(secret);
        WriteFile(secret + u"/salary.xlsx"_s, "private");
        QVERIFY(::chmod(bytes(secret).constData(), 0700) == 0);
        QVERIFY(::symlink(bytes(secret).constData(), bytes(top + u"/x"_s).constData()) == 0);
        giveAway(top, uid_, gid_);

        QString walked = top;
        std::optional<Mirror> mirror;
        if (slow) {
            walked = dir_.filePath(u"mirror "_s + tag());
            mirror.emplace(top, walked);
            if (!mirror->why().isEmpty())
                QSKIP(qPrintable(mirror->why()));
        }
        std::atomic<bool> done{false};
        std::atomic<int> swaps{0};
        // On slow storage the user swaps through the share, as a server that knows a folder
        // by its handle, not its path, sees it: this mirror resolves paths afresh on every
        // request, so a swap behind its back would send its own writes elsewhere.
        std::thread attacker([&] {
            const QByteArray a = bytes(walked + u"/sub"_s), x = bytes(walked + u"/x"_s);
            const QByteArray churn = bytes(walked + u"/churn.txt"_s);
            while (!done.load() || swaps.load() < 1000) {
                if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, x.constData(),
                                RENAME_EXCHANGE) == 0)
                    ++swaps;
                const int fd = ::open(churn.constData(), O_CREAT | O_WRONLY, 0644);
                if (fd >= 0)
                    ::close(fd);
                ::unlink(churn.constData());
            }
        });
        // Stopped however the test ends: a thread still running when it returns ends the
        // program.
        const auto stop = [&] {
            done = true;
            if (attacker.joinable())
                attacker.join();
        };
        const auto stopAttacker = qScopeGuard(stop);
        for (int round = 0; round < 20 || swaps.load() < 1000; ++round) {
            const Run run = program({u"--tree"_s, walked});
            QVERIFY2(run.status == 0 || run.status == 1, run.err.constData());
            // Only the summary when the run says all went well.
            QCOMPARE(run.err.count('\n') == 1, run.status == 0);
        }
        stop();
        QCOMPARE(QDir(secret).entryList(QDir::Files | QDir::Hidden), QStringList{u"salary.xlsx"_s});
        const QString own = u'/' + QFileInfo(walked).fileName() + u".htm"_s;
        for (const QString &page : {own, u"/sub/sub.htm"_s, u"/x/x.htm"_s})
            QVERIFY(!ReadFile(top + page).contains("salary"));
    }

    // A link in someone else's folder is followed only to what lies below the folder listed:
    // one to a file outside shows the link's own facts, one that leads nowhere is not listed
    // (--tree and --write alike); in a folder of the person running, a link shows its
    // target's facts, as always.
    void linkedFiles_data()
    {
        QTest::addColumn<QString>("target"); // relative to the tree's folder, or absolute
        QTest::addColumn<QString>("run");    // --tree, or --write of the user's or root's folder
        QTest::addColumn<qint64>("size");    // what the page says; -1 the link's own length,
                                             // -2 not listed
        const QString outside = u"/secret"_s, missing = u"/missing.xlsx"_s, inside = u"real.txt"_s;
        QTest::newRow("root-only file outside, --tree") << outside << u"tree"_s << qint64(-1);
        QTest::newRow("root-only file outside, --write of the user's folder")
            << outside << u"write"_s << qint64(-1);
        QTest::newRow("root-only file outside, --write of root's own folder")
            << outside << u"write own"_s << qint64(12345);
        QTest::newRow("missing file outside, --tree") << missing << u"tree"_s << qint64(-2);
        QTest::newRow("missing file outside, --write") << missing << u"write"_s << qint64(-2);
        QTest::newRow("file inside, --tree") << inside << u"tree"_s << qint64(6);
        QTest::newRow("file inside, --write") << inside << u"write"_s << qint64(6);
    }
    void linkedFiles()
    {
        needRoot();
        QFETCH(QString, target);
        QFETCH(QString, run);
        QFETCH(qint64, size);
        const QString top = userTree(u"linked "_s + tag());
        WriteFile(top + u"/real.txt"_s, "inside");
        const QString outside = dir_.filePath(u"outside "_s + tag());
        QDir().mkpath(outside);
        WriteFile(outside + u"/secret"_s, QByteArray(12345, 's'));
        QVERIFY(::chmod(bytes(outside).constData(), 0700) == 0);
        const QByteArray pointed = bytes(target.startsWith(u'/') ? outside + target : target);
        QVERIFY(::symlink(pointed.constData(), bytes(top + u"/salary.xlsx"_s).constData()) == 0);
        if (run != u"write own")
            giveAway(top, uid_, gid_);
        QByteArray written;
        if (run == u"tree") {
            QCOMPARE(program({u"--tree"_s, top}).status, 0);
            written = ReadFile(top + u"/linked "_s + tag() + u".htm"_s);
        } else {
            const Run wrote = program({u"--write"_s, u"-"_s, u"--folders"_s, top});
            QCOMPARE(wrote.status, 0);
            written = wrote.out;
        }
        QStringDecoder gbk("GBK");
        const QString page = gbk.decode(written);
        QCOMPARE(page.contains(u">salary.xlsx<"_s), size != -2);
        QVERIFY(!page.contains(u"missing.xlsx"_s));
        if (size == -2)
            return;
        QString line = page.mid(page.indexOf(u">salary.xlsx<"_s));
        line.truncate(line.indexOf(u'\n'));
        const qint64 shown = size == -1 ? pointed.size() : size;
        QVERIFY2(line.contains(u"(%1字节)"_s.arg(shown)), qPrintable(line));
    }

    // Links whose targets the user swaps between a file inside and a link to a root-only
    // file, while root lists the folder: a link's facts come from what was judged, so no
    // page ever shows the root-only file's size.
    void swappedTargets_data()
    {
        QTest::addColumn<bool>("tree");
        QTest::newRow("--tree") << true;
        QTest::newRow("--write of the user's folder") << false;
    }
    void swappedTargets()
    {
        QFETCH(bool, tree);
        needRoot();
        const QString top = userTree(u"targets "_s + tag());
        const QString outside = dir_.filePath(u"outside "_s + tag());
        QDir().mkpath(outside);
        WriteFile(outside + u"/secret"_s, QByteArray(12345, 's'));
        QVERIFY(::chmod(bytes(outside).constData(), 0700) == 0);
        constexpr int kLinks = 500;
        for (int i = 0; i < kLinks; ++i) {
            const QByteArray at = bytes(top) + '/';
            const QByteArray n = QByteArray::number(i);
            const QByteArray t = at + "t" + n, l = at + "l" + n, e = at + "e" + n;
            WriteFile(QFile::decodeName(t), "x");
            QVERIFY(::symlink(QByteArray("t" + n).constData(), l.constData()) == 0);
            QVERIFY(::symlink(bytes(outside + u"/secret"_s).constData(), e.constData()) == 0);
        }
        giveAway(top, uid_, gid_);
        std::atomic<bool> done{false};
        std::atomic<int> swaps{0};
        std::thread attacker([&] {
            for (int i = 0; !done.load() || swaps.load() < 5000; i = (i + 1) % kLinks) {
                const QByteArray at = bytes(top) + '/', n = QByteArray::number(i);
                const QByteArray t = at + "t" + n, e = at + "e" + n;
                if (::renameat2(AT_FDCWD, t.constData(), AT_FDCWD, e.constData(),
                                RENAME_EXCHANGE) == 0)
                    ++swaps;
            }
        });
        const auto stop = qScopeGuard([&] {
            done = true;
            attacker.join();
        });
        for (int round = 0; round < 10 || swaps.load() < 5000; ++round) {
            const Run run =
                tree ? program({u"--tree"_s, top}) : program({u"--write"_s, u"-"_s, top});
            QVERIFY2(run.status == 0, run.err.constData());
            const QByteArray page =
                tree ? ReadFile(top + u"/targets "_s + tag() + u".htm"_s) : run.out;
            QVERIFY2(!page.contains("(12345"), "a page shows the root-only file's size");
        }
    }

    // A top folder reached through a link of someone other than root or the person running
    // is refused in one line: nothing listed, nothing written. Root's own links and the
    // real folder named are followed as always.
    void topThroughLink_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("tree");
        QTest::addColumn<int>("status");
        QTest::newRow("the user's link as the top, --tree") << u"top"_s << true << 1;
        QTest::newRow("the user's link as the top, --write") << u"top"_s << false << 1;
        QTest::newRow("the user's link above the top, --tree") << u"above"_s << true << 1;
        QTest::newRow("root's own link, --tree") << u"root"_s << true << 0;
        QTest::newRow("the real folder named, --tree") << u"real"_s << true << 0;
    }
    void topThroughLink()
    {
        needRoot();
        QFETCH(QString, how);
        QFETCH(bool, tree);
        QFETCH(int, status);
        const QString secret = dir_.filePath(u"private "_s + tag());
        QDir().mkpath(secret + u"/inner"_s);
        WriteFile(secret + u"/salary.xlsx"_s, "private");
        QVERIFY(::chmod(bytes(secret).constData(), 0711) == 0);
        const QString home = userTree(u"home "_s + tag());
        QString given = secret;
        if (how == u"top" || how == u"above") {
            const QString link = home + (how == u"top" ? u"/public_html"_s : u"/link"_s);
            QVERIFY(::symlink(bytes(secret).constData(), bytes(link).constData()) == 0);
            given = how == u"top" ? link : link + u"/inner"_s;
        } else if (how == u"root") {
            given = dir_.filePath(u"root link "_s + tag());
            QVERIFY(::symlink(bytes(secret).constData(), bytes(given).constData()) == 0);
        }
        giveAway(home, uid_, gid_);
        const Run run =
            tree ? program({u"--tree"_s, given}) : program({u"--write"_s, u"-"_s, given});
        QCOMPARE(run.status, status);
        if (status == 0) {
            QVERIFY(QFile::exists(secret + u'/' + QFileInfo(given).fileName() + u".htm"_s));
            return;
        }
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY2(run.err.contains(QByteArray("link of user " + QByteArray::number(uid_))),
                 run.err.constData());
        QVERIFY(!run.out.contains("salary"));
        QCOMPARE(QDir(secret).entryList(QDir::Files), QStringList{u"salary.xlsx"_s});
        QCOMPARE(QDir(secret + u"/inner"_s).entryList(QDir::Files), QStringList());
    }

    // A mount in the tree: another user's (a FUSE mount whose lookups never answer here) is
    // never entered, and under -x no other file system is; the summary counts them.
    void mounts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("entered");
        QTest::newRow("another user's mount that never answers")
            << u"fuse"_s << QStringList() << false;
        QTest::newRow("a tmpfs, -x") << u"tmpfs"_s << QStringList{u"-x"_s} << false;
        QTest::newRow("a tmpfs") << u"tmpfs"_s << QStringList() << true;
    }
    void mounts()
    {
        needRoot();
        QFETCH(QString, kind);
        QFETCH(QStringList, options);
        QFETCH(bool, entered);
        const QString top = userTree(u"mounts "_s + tag());
        const QString point = top + u"/mnt"_s;
        QDir().mkpath(point);
        giveAway(top, uid_, gid_);
        QProcess mirror;
        const auto unmount = qScopeGuard([&] {
            mirror.kill();
            mirror.waitForFinished();
            ::umount2(bytes(point).constData(), MNT_DETACH);
        });
        if (kind == u"tmpfs") {
            if (::mount("tmpfs", bytes(point).constData(), "tmpfs", 0, "size=1m") != 0)
                QSKIP("cannot mount a tmpfs here");
            WriteFile(point + u"/inside.txt"_s, "x");
        } else {
            const QString slowfs = QStringLiteral(DIRWEAVER_SLOWFS);
            if (slowfs.isEmpty() || !QFile::exists(u"/dev/fuse"_s))
                QSKIP("no slow mirror here (libfuse3-dev, /dev/fuse)");
            const QString source = dir_.filePath(u"mirrored "_s + tag());
            QDir().mkpath(source);
            WriteFile(source + u"/inside.txt"_s, "x");
            // The user mounts it (as fusermount3 would let them with user_allow_other); every
            // lookup then waits ten minutes.
            mirror.start(u"setpriv"_s,
                         {u"--reuid=%1"_s.arg(uid_), u"--regid=%1"_s.arg(gid_), u"--clear-groups"_s,
                          u"--inh-caps=+sys_admin,+dac_override"_s,
                          u"--ambient-caps=+sys_admin,+dac_override"_s, slowfs, source, point,
                          u"600000000"_s, u"-f"_s, u"-o"_s, u"allow_other"_s});
            // Mounted once the point is on another device, asked without waiting for it.
            const auto mounted = [&] {
                struct statx at, above;
                return ::statx(AT_FDCWD, bytes(point).constData(), AT_STATX_DONT_SYNC, STATX_TYPE,
                               &at) == 0 &&
                       ::statx(AT_FDCWD, bytes(top).constData(), 0, STATX_TYPE, &above) == 0 &&
                       at.stx_dev_minor != above.stx_dev_minor;
            };
            QElapsedTimer clock;
            clock.start();
            while (!mounted() && clock.elapsed() < 10000 && mirror.state() != QProcess::NotRunning)
                QTest::qWait(50);
            if (!mounted())
                QSKIP(qPrintable(u"cannot mount as another user here: "_s +
                                 QString::fromLocal8Bit(mirror.readAllStandardError())));
        }
        QProcess run;
        run.start(QStringLiteral(DIRWEAVER_EXECUTABLE),
                  QStringList{u"--tree"_s} + options + QStringList{top});
        if (!run.waitForFinished(60000)) {
            mirror.kill(); // lets the run's lookups fail, so that it can end
            run.kill();
            run.waitForFinished();
            QFAIL("the run waited on the mount");
        }
        const QByteArray err = run.readAllStandardError();
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(err.contains("1 folders not entered"), !entered);
        QCOMPARE(ReadFile(top + u"/mounts "_s + tag() + u".htm"_s).contains("mnt/"), entered);
        // (Nothing is asked of the mount that never answers.)
        if (kind == u"tmpfs")
            QCOMPARE(QFile::exists(point + u"/mnt.htm"_s), entered);
    }

    // Under a limit on address space a run that cannot start a thread goes on with fewer,
    // and one that cannot have memory says so in a line: never an abort, never a temporary
    // file left. On slow storage it asks for many threads at once.
    void memoryLimits_data()
    {
        QTest::addColumn<int>("megabytes");
        QTest::addColumn<bool>("slow");
        for (const int megabytes : {80, 150, 300, 1024}) {
            for (const bool slow : {false, true})
                QTest::addRow("%d MB%s", megabytes, slow ? ", slow storage" : "")
                    << megabytes << slow;
        }
    }
    void memoryLimits()
    {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("a sanitizer's shadow memory needs more address space than any limit here");
#endif
        QFETCH(int, megabytes);
        QFETCH(bool, slow);
        const QString source = dir_.filePath(u"limited"_s);
        if (!QDir(source).exists()) {
            for (int folder = 0; folder < 60; ++folder) {
                const QString at = source + u"/folder %1"_s.arg(folder);
                QDir().mkpath(at);
                for (int file = 0; file < 40; ++file)
                    WriteFile(at + u"/file %1.txt"_s.arg(file), "x");
            }
        }
        QString walked = source;
        std::optional<Mirror> mirror;
        if (slow) {
            walked = dir_.filePath(u"limited mirror"_s);
            mirror.emplace(source, walked);
            if (!mirror->why().isEmpty())
                QSKIP(qPrintable(mirror->why()));
        }
        QProcess run;
        const rlim_t limit = rlim_t(megabytes) << 20;
        run.setChildProcessModifier([limit] {
            const rlimit space{limit, limit};
            ::setrlimit(RLIMIT_AS, &space);
        });
        // A new footer each time, so that every page is written anew.
        run.start(QStringLiteral(DIRWEAVER_EXECUTABLE),
                  {u"--tree"_s, u"--footer-title"_s, QString::fromLatin1(QTest::currentDataTag()),
                   walked});
        QVERIFY(run.waitForFinished(120000));
        const QByteArray err = run.readAllStandardError();
        QVERIFY2(run.exitStatus() == QProcess::NormalExit, err.constData());
        QVERIFY2(run.exitCode() == 0 || run.exitCode() == 1, err.constData());
        QVERIFY2(run.exitCode() == 0 || err.contains("dirweaver: "), err.constData());
        QProcess find;
        find.start(u"find"_s, {source, u"-name"_s, u".dirweaver-*"_s});
        QVERIFY(find.waitForFinished());
        QCOMPARE(find.readAllStandardOutput(), QByteArray());
    }

    // Ended by a signal while many pages are written at once on storage that makes no
    // unnamed files (the slow mirror), a run leaves no temporary file behind.
    void killedMidTree_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void killedMidTree()
    {
        QFETCH(int, signal);
        const QString source = dir_.filePath(u"signalled"_s);
        if (!QDir(source).exists()) {
            for (int folder = 0; folder < 400; ++folder) {
                const QString at = source + u"/folder %1"_s.arg(folder);
                QDir().mkpath(at);
                WriteFile(at + u"/file.txt"_s, "x");
            }
        }
        const QString point = dir_.filePath(u"signalled mirror"_s);
        const Mirror mirror(source, point);
        if (!mirror.why().isEmpty())
            QSKIP(qPrintable(mirror.why()));
        for (const int after : {100, 300, 600, 1000, 1500}) {
            QProcess run;
            // A new footer each time, so that every page is written anew.
            run.start(QStringLiteral(DIRWEAVER_EXECUTABLE),
                      {u"--tree"_s, u"--footer-title"_s, QString::number(after), point});
            QVERIFY(run.waitForStarted());
            QThread::msleep(ulong(after));
            if (run.processId() > 0)
                ::kill(pid_t(run.processId()), signal);
            QVERIFY(run.waitForFinished(60000));
            QProcess find;
            find.start(u"find"_s, {source, u"-name"_s, u".dirweaver-*"_s});
            QVERIFY(find.waitForFinished());
            QVERIFY2(find.readAllStandardOutput().isEmpty(),
                     qPrintable(u"after %1 ms"_s.arg(after)));
        }
    }

    // A folder met again through a bind mount gets no second page and no link from the place
    // where no page of it is written.
    void bindMountLoop()
    {
        needRoot();
        const QString top = userTree(u"looped"_s);
        const QByteArray loop = bytes(top + u"/sub/loop"_s);
        QVERIFY(::mkdir(loop.constData(), 0755) == 0);
        if (::mount(bytes(top).constData(), loop.constData(), nullptr, MS_BIND, nullptr) != 0)
            QSKIP("cannot bind-mount here");
        const auto unmount = qScopeGuard([&] { ::umount2(loop.constData(), MNT_DETACH); });
        const Run run = program({u"--tree"_s, top});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains("2 pages written"), run.err.constData());
        QVERIFY(!ReadFile(top + u"/sub/sub.htm"_s).contains("loop/"));
    }

    // Deep trees cost time and memory in proportion to their folders.
    void deepTree_data()
    {
        QTest::addColumn<int>("levels");
        QTest::addColumn<int>("nameLength");
        QTest::newRow("10,000 levels") << 10000 << 1;
        QTest::newRow("1,000 levels of 250-byte names") << 1000 << 250;
        QTest::newRow("a 255-byte name, its page's cut") << 1 << 255;
    }
    void deepTree()
    {
        QFETCH(int, levels);
        QFETCH(int, nameLength);
        const QString top = dir_.filePath(u"deep "_s + QString::number(levels));
        QDir().mkpath(top);
        const QByteArray name(nameLength, 'd');
        int fd = ::open(bytes(top).constData(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < levels; ++i) {
            QVERIFY(::mkdirat(fd, name.constData(), 0755) == 0);
            const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        ::close(fd);
        const Run run = program({u"--tree"_s, top});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains(QByteArray(QByteArray::number(levels + 1) + " pages written")),
                 run.err.constData());
    }

    // Names that hold control characters reach the terminal escaped, in messages and in the
    // progress line, which is cut to the terminal's columns, CJK counting two.
    void terminal_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("retitle and clear")
            << QByteArray("x\033]0;PWNED\007\033[2J") << QByteArray("x\\e]0;PWNED\\x07\\e[2J");
        QTest::newRow("carriage return")
            << QByteArray("a\rdirweaver: forged") << QByteArray("a\\rdirweaver: forged");
        QTest::newRow("backspace") << QByteArray("ok\b\bno") << QByteArray("ok\\x08\\x08no");
        QTest::newRow("C1 control") << QByteArray("c\xc2\x9b"
                                                  "2J")
                                    << QByteArray("c\\x9b2J");
        QTest::newRow("delete") << QByteArray("d\x7f") << QByteArray("d\\x7f");
        QTest::newRow("backslash") << QByteArray("b\\e") << QByteArray("b\\\\e");
    }
    void terminal()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, shown);
        const QString top = dir_.filePath(u"terminal "_s + tag());
        QDir().mkpath(top);
        const QByteArray folder = bytes(top) + '/' + name;
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        // A FIFO at its page's name makes the run name the folder.
        QVERIFY(::mkfifo(QByteArray(folder + '/' + name + ".htm").constData(), 0644) == 0);
        const Run run = program({u"--tree"_s, top});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(shown), run.err.constData());
        for (const char c : run.err)
            QVERIFY2(uchar(c) >= 0x20 || c == '\n', run.err.toPercentEncoding().constData());
        QVERIFY(!run.err.contains("\xc2\x9b"));
    }
    void progressColumns()
    {
        const QString top = dir_.filePath(u"宽字符的文件夹名字很长很长很长很长"_s);
        QDir().mkpath(top + u"/子文件夹也很长很长很长很长很长"_s);
        const auto parsed = ParseWriterArguments({"--tree", bytes(top)});
        QByteArray said;
        QBuffer err(&said);
        err.open(QIODevice::WriteOnly);
        const RealFileSystem fs;
        QCOMPARE(RunTree(std::get<WriterRequest>(parsed), fs, QLocale(u"zh_CN"_s), "/", err, 30),
                 0);
        for (const QByteArray &line : said.split('\r')) {
            const QString text = QString::fromUtf8(line).remove(u"\033[K"_s);
            if (!text.startsWith(u"dirweaver: "_s))
                QVERIFY2(TerminalWidth(text) < 30, qPrintable(text));
        }
    }

    // A second run writes nothing: every page keeps its inode and time.
    void unchangedPages()
    {
        const QString top = userTree(u"unchanged"_s);
        QCOMPARE(program({u"--tree"_s, top}).status, 0);
        struct stat before;
        QVERIFY(::stat(bytes(top + u"/sub/sub.htm"_s).constData(), &before) == 0);
        const Run again = program({u"--tree"_s, top});
        QCOMPARE(again.status, 0);
        QVERIFY2(again.err.contains("0 pages written, 2 unchanged"), again.err.constData());
        struct stat after;
        QVERIFY(::stat(bytes(top + u"/sub/sub.htm"_s).constData(), &after) == 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    }

    // --write refuses what "> path" would be refused, keeps what ">" keeps, and follows links
    // only as the kernel does.
    void writeLikeRedirection_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("user's link in a sticky folder, protected")
            << u"sticky link"_s << 1 << QByteArray("Permission denied");
        QTest::newRow("link loop") << u"loop"_s << 1 << QByteArray("Too many levels");
        QTest::newRow("two hard links: written in place") << u"hard links"_s << 0 << QByteArray();
        QTest::newRow("group, mode and attributes kept") << u"kept"_s << 0 << QByteArray();
        QTest::newRow("an ACL kept") << u"acl"_s << 0 << QByteArray();
        QTest::newRow("a new page under a default ACL") << u"default acl"_s << 0 << QByteArray();
    }
    void writeLikeRedirection()
    {
        needRoot();
        QFETCH(QString, planted);
        QFETCH(int, status);
        QFETCH(QByteArray, said);
        const QString shared = dir_.filePath(u"shared "_s + tag());
        QDir().mkpath(shared);
        QVERIFY(::chmod(bytes(shared).constData(), 01777) == 0);
        const QString victim = dir_.filePath(u"victim "_s + tag());
        WriteFile(victim, "root's own\n");
        const QByteArray out = bytes(shared + u"/page.htm"_s);
        std::optional<KernelSwitch> protect;
        if (planted == u"sticky link") {
            protect.emplace(u"protected_symlinks"_s, "1");
            if (!protect->ok())
                QSKIP("cannot switch on fs.protected_symlinks here");
            QVERIFY(::symlink(bytes(victim).constData(), out.constData()) == 0);
            QVERIFY(::lchown(out.constData(), uid_, gid_) == 0);
        } else if (planted == u"loop") {
            QVERIFY(::symlink(out.constData(), out.constData()) == 0);
        } else if (planted == u"hard links") {
            WriteFile(QFile::decodeName(out), "old page\n");
            QVERIFY(::link(out.constData(), bytes(shared + u"/other.htm"_s).constData()) == 0);
        } else if (planted == u"acl" || planted == u"default acl") {
            const QByteArray acl = aclGivingRead(uid_);
            const bool ok = planted == u"acl"
                                ? (WriteFile(QFile::decodeName(out), "old page\n"),
                                   ::setxattr(out.constData(), "system.posix_acl_access",
                                              acl.constData(), size_t(acl.size()), 0) == 0)
                                : ::setxattr(bytes(shared).constData(), "system.posix_acl_default",
                                             acl.constData(), size_t(acl.size()), 0) == 0;
            if (!ok)
                QSKIP("no ACLs on this file system");
        } else {
            WriteFile(QFile::decodeName(out), "old page\n");
            QVERIFY(::chown(out.constData(), 0, gid_) == 0);
            QVERIFY(::chmod(out.constData(), 02640) == 0);
            if (::setxattr(out.constData(), "user.origin", "mirror", 6, 0) != 0)
                QSKIP("no user attributes on this file system");
        }
        const Run run = program({u"--write"_s, QFile::decodeName(out), dir_.path()});
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(said), run.err.constData());
        QCOMPARE(ReadFile(victim), QByteArray("root's own\n"));
        if (planted == u"hard links")
            QVERIFY(ReadFile(shared + u"/other.htm"_s).startsWith("<HTML>"));
        if (planted == u"acl" || planted == u"default acl") {
            // The named user reads the page, as the ACL says.
            QByteArray acl(256, '\0');
            const ssize_t size = ::getxattr(out.constData(), "system.posix_acl_access", acl.data(),
                                            size_t(acl.size()));
            QVERIFY2(size > 0, "the page has no ACL");
            QVERIFY(acl.left(size).contains(
                QByteArray::fromRawData(reinterpret_cast<const char *>(&uid_), sizeof uid_)));
        }
        if (planted == u"kept") {
            struct stat st;
            QVERIFY(::stat(out.constData(), &st) == 0);
            QCOMPARE(st.st_gid, gid_);
            QCOMPARE(st.st_mode & 07777, mode_t(02640));
            char value[16] = {};
            QCOMPARE(::getxattr(out.constData(), "user.origin", value, sizeof value), ssize_t(6));
            QVERIFY(ReadFile(QFile::decodeName(out)).startsWith("<HTML>"));
        }
    }

    // Ended by a signal in the middle of a large page, a run leaves no temporary file.
    void killedMidWrite_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGKILL") << SIGKILL;
    }
    void killedMidWrite()
    {
        QFETCH(int, signal);
        const QString big = dir_.filePath(u"big"_s);
        if (!QDir(big).exists()) {
            QDir().mkpath(big);
            for (int i = 0; i < 20000; ++i)
                WriteFile(big + u"/file %1 with a long name to make the page large.txt"_s.arg(i),
                          QByteArray());
        }
        const QString out = dir_.filePath(u"killed "_s + tag());
        QDir().mkpath(out);
        QProcess p;
        p.start(QStringLiteral(DIRWEAVER_EXECUTABLE), {u"--write"_s, out + u"/page.htm"_s, big});
        QVERIFY(p.waitForStarted());
        // Killed once it holds a file open in the output folder: the page being written.
        const QString fds = u"/proc/%1/fd"_s.arg(p.processId());
        const auto writing = [&] {
            for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System)) {
                if (QFile::symLinkTarget(fds + u'/' + fd).startsWith(out + u'/'))
                    return true;
            }
            return false;
        };
        while (!writing() && !QFile::exists(out + u"/page.htm"_s)) {
        }
        const qint64 pid = p.processId(); // 0 once it has ended: never the whole group
        QVERIFY2(pid > 0, "the page was written before it could be killed");
        ::kill(pid_t(pid), signal);
        QVERIFY(p.waitForFinished());
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).filter(u".dirweaver"_s),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(TestTreeGuard)
#include "tst_treeguard.moc"
