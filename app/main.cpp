#include "cli/catalog.h"
#include "cli/commandline.h"
#include "cli/messages.h"
#include "cli/tree.h"
#include "cli/writer.h"
#include "output/newfile.h"
#include "page/filetime.h"
#include "selection/filesystem.h"
#include "window.h"

#include <QFile>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <optional>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The process's current folder as bytes; nullopt with errno set when it cannot be read.
std::optional<QByteArray> CurrentFolder()
{
    QByteArray cwd(4096, '\0');
    while (!getcwd(cwd.data(), size_t(cwd.size()))) {
        if (errno != ERANGE)
            return std::nullopt;
        cwd.resize(cwd.size() * 2);
    }
    cwd.truncate(qstrlen(cwd.constData()));
    return cwd;
}

// The width of the terminal on fd; 0 when fd is no terminal, which then shows no progress.
int TerminalColumns(int fd)
{
    if (!isatty(fd))
        return 0;
    winsize size{};
    return ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// True when a socket at address answers.
bool Answers(const sockaddr_un &address, socklen_t length)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answered =
        fd >= 0 && connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0;
    if (fd >= 0)
        close(fd);
    return answered;
}

// True when the local X server of DISPLAY (":N", "unix:N", with or without ".S") answers on
// its socket, abstract or in /tmp/.X11-unix; a display on another host is taken on trust.
bool XServerAnswers(const QByteArray &display)
{
    const qsizetype colon = display.lastIndexOf(':');
    const QByteArray host = display.left(qMax<qsizetype>(colon, 0));
    if (colon < 0 || (!host.isEmpty() && host != "unix"))
        return true;
    const QByteArray number = display.mid(colon + 1).split('.').value(0);
    const QByteArray path = "/tmp/.X11-unix/X" + number;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) + 1 >= sizeof address.sun_path)
        return false;
    // The abstract name first (a leading NUL), then the file.
    std::memcpy(address.sun_path + 1, path.constData(), size_t(path.size()));
    if (Answers(address, socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(path.size()))))
        return true;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()) + 1);
    return Answers(address, sizeof address);
}

// True when a window can be shown: a platform chosen through QT_QPA_PLATFORM (tests choose
// offscreen), a Wayland display, or an X display whose server answers. Without one, Qt would
// abort where a line of our own does better.
bool DisplayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return true;
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && platform.isEmpty())
        return true;
    const QByteArray display = qgetenv("DISPLAY");
    return !display.isEmpty() && XServerAnswers(display);
}

// The window module lies next to the executable in the build tree and in the library
// folder once installed.
RunWindowFunction LoadWindow(QIODevice &err)
{
    const QByteArray self =
        QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    const QByteArray dir = self.left(self.lastIndexOf('/') + 1);
    const QByteArray installed = dir + DIRWEAVER_WINDOW_MODULE_INSTALLED;
    QByteArray path = dir + DIRWEAVER_WINDOW_MODULE;
    if (access(path.constData(), F_OK) != 0)
        path = installed;
    void *module = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    void *entry = module ? dlsym(module, DIRWEAVER_RUN_WINDOW) : nullptr;
    if (!entry) {
        dirweaver::PrintLine(err, dirweaver::ProgramMessage(QString::fromLocal8Bit(dlerror())));
        return nullptr;
    }
    return reinterpret_cast<RunWindowFunction>(entry);
}

int RunWindow(int argc, char **argv, const QList<QByteArray> &args,
              const std::optional<QByteArray> &cwd, int cwdError, QIODevice &err)
{
    const auto parsed = dirweaver::ParseWindowArguments(args);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        dirweaver::PrintLine(err, *problem);
        return 2;
    }
    const dirweaver::RealFileSystem fs;
    const QByteArray &given = std::get<dirweaver::WindowRequest>(parsed).folder;
    // A current folder that is gone (or cannot be named) is an error like any other
    // folder that cannot be read; "/" is never opened in its place.
    if (!cwd && !given.startsWith('/')) {
        dirweaver::PrintLine(
            err, dirweaver::FolderErrorMessage(given.isEmpty() ? "." : given, cwdError));
        return 2;
    }
    const QByteArray folder = dirweaver::AbsoluteCleanPath(given, cwd.value_or(QByteArray()));
    if (const int error = fs.subFolders(folder).error) {
        dirweaver::PrintLine(
            err, dirweaver::FolderErrorMessage(given.isEmpty() ? folder : given, error));
        return 2;
    }
    if (!DisplayAvailable()) {
        dirweaver::PrintLine(err, dirweaver::NoDisplayMessage());
        return 1;
    }
    const RunWindowFunction run = LoadWindow(err);
    return run ? run(argv[0], folder.constData(), size_t(folder.size()), argc - 1, argv + 1) : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    std::setlocale(LC_ALL, "");
    // Pages and lists of many files are large blocks: each is given back when it goes,
    // rather than kept by a heap that moved its threshold up after the first.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    QList<QByteArray> args;
    for (int i = 1; i < argc; ++i)
        args.append(QByteArray(argv[i]));

    // Past a file-size limit a write fails with EFBIG, reported, instead of a silent kill.
    std::signal(SIGXFSZ, SIG_IGN);
    // Interrupted, the program leaves no half-written page behind.
    dirweaver::RemoveTemporariesOnSignals();
    // A closed standard output keeps its number taken, read-only, so that no file opened later
    // lands there and every write meant for it fails as it should (EBADF).
    if (fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF) {
        const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && fd != STDOUT_FILENO) {
            dup2(fd, STDOUT_FILENO);
            close(fd);
        }
    }
    // Straight to the descriptors: every write is the system's own, and checked.
    QFile out, err;
    out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered,
             QFileDevice::DontCloseHandle);
    err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered,
             QFileDevice::DontCloseHandle);

    const std::optional<QByteArray> cwd = CurrentFolder();
    const int cwdError = errno;
    if (!dirweaver::WantsWriter(args))
        return RunWindow(argc, argv, args, cwd, cwdError, err);

    const auto parsed = dirweaver::ParseWriterArguments(args);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        dirweaver::PrintLine(err, *problem);
        return 2;
    }
    if (!cwd) {
        dirweaver::PrintLine(err, dirweaver::ProgramMessage(dirweaver::ErrorText(cwdError)));
        return 2;
    }
    const dirweaver::RealFileSystem fs;
    auto request = std::get<dirweaver::WriterRequest>(parsed);
    for (const QString &warning : request.warnings)
        dirweaver::PrintLine(err, warning);
    const QLocale locale =
        dirweaver::SettlePageLanguage(request, dirweaver::ProgramLocaleFromEnvironment());
    try {
        if (request.action == dirweaver::WriterRequest::Action::Tree)
            return dirweaver::RunTree(request, fs, locale, *cwd, err,
                                      TerminalColumns(STDERR_FILENO));
        if (request.action == dirweaver::WriterRequest::Action::Catalog)
            return dirweaver::RunCatalog(request, fs, locale, *cwd, out, err,
                                         TerminalColumns(STDERR_FILENO));
        return dirweaver::RunWriter(request, fs, locale, *cwd, out, err,
                                    TerminalColumns(STDERR_FILENO));
    } catch (const std::bad_alloc &) {
        // Under a memory limit: what was being written is gone again, and one line says why.
        dirweaver::PrintLine(err, dirweaver::ProgramMessage(dirweaver::ErrorText(ENOMEM)));
        return 1;
    }
}
