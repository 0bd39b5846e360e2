#include "cli/commandline.h"
#include "cli/messages.h"
#include "cli/tree.h"
#include "cli/writer.h"
#include "output/pagefile.h"
#include "page/filetime.h"
#include "selection/filesystem.h"
#include "window.h"

#include <QFile>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <optional>
#include <sys/ioctl.h>
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

// True when a window can be shown: an X11 or Wayland display, or a platform chosen through
// QT_QPA_PLATFORM (tests choose offscreen).
bool DisplayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
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

int RunWindow(char *program, const QList<QByteArray> &args, const std::optional<QByteArray> &cwd,
              int cwdError, QIODevice &err)
{
    const auto parsed = dirweaver::ParseWindowArguments(args);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        dirweaver::PrintLine(err, *problem);
        return 2;
    }
    const dirweaver::RealFileSystem fs;
    const QByteArray &given = std::get<QByteArray>(parsed);
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
    return run ? run(program, folder.constData(), size_t(folder.size())) : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    std::setlocale(LC_ALL, "");
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
        return RunWindow(argv[0], args, cwd, cwdError, err);

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
    const auto &request = std::get<dirweaver::WriterRequest>(parsed);
    for (const QString &warning : request.warnings)
        dirweaver::PrintLine(err, warning);
    const QLocale locale = dirweaver::ProgramLocaleFromEnvironment();
    if (request.action == dirweaver::WriterRequest::Action::Tree)
        return dirweaver::RunTree(request, fs, locale, *cwd, err, TerminalColumns(STDERR_FILENO));
    return dirweaver::RunWriter(request, fs, locale, *cwd, out, err);
}
