#include "output/commandline.h"
#include "output/writer.h"
#include "page/filetime.h"
#include "selection/filesystem.h"
#include "window.h"

#include <QFile>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <dlfcn.h>
#include <optional>
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
        dirweaver::Say(err, dirweaver::ProgramMessage(QString::fromLocal8Bit(dlerror())));
        return nullptr;
    }
    return reinterpret_cast<RunWindowFunction>(entry);
}

int RunWindow(char *program, const QList<QByteArray> &args, const QByteArray &cwd, QIODevice &err)
{
    const auto parsed = dirweaver::ParseWindowArguments(args);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        dirweaver::Say(err, *problem);
        return 2;
    }
    const dirweaver::RealFileSystem fs;
    const QByteArray &given = std::get<QByteArray>(parsed);
    const QByteArray folder = dirweaver::AbsoluteCleanPath(given.isEmpty() ? cwd : given, cwd);
    if (!given.isEmpty()) {
        if (const int error = fs.subFolders(folder).error) {
            dirweaver::Say(err, dirweaver::FolderErrorMessage(given, error));
            return 2;
        }
    }
    if (!dirweaver::DisplayAvailable()) {
        dirweaver::Say(err, dirweaver::NoDisplayMessage());
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

    QFile out, err;
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);

    const std::optional<QByteArray> cwd = CurrentFolder();
    const int cwdError = errno;
    if (!dirweaver::WantsWriter(args))
        return RunWindow(argv[0], args, cwd.value_or(QByteArrayLiteral("/")), err);

    const auto parsed = dirweaver::ParseWriterArguments(args);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        dirweaver::Say(err, *problem);
        return 2;
    }
    if (!cwd) {
        dirweaver::Say(err, dirweaver::ProgramMessage(dirweaver::ErrorText(cwdError)));
        return 2;
    }
    const dirweaver::RealFileSystem fs;
    return dirweaver::RunWriter(std::get<dirweaver::WriterRequest>(parsed), fs,
                                dirweaver::ProgramLocaleFromEnvironment(), *cwd, out, err);
}
