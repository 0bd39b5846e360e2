#include "output/headless.h"
#include "page/annotations.h"
#include "selection/drives.h"
#include "selection/filesystem.h"
#include "ui/application.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
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

void Say(QIODevice &err, const QString &line)
{
    err.write(line.toLocal8Bit() + '\n');
}

int RunWindow(char *program, const QList<QByteArray> &args, const QByteArray &cwd, QIODevice &err)
{
    const auto parsed = dirweaver::ParseWindowArguments(args);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        Say(err, *problem);
        return 2;
    }
    const dirweaver::RealFileSystem fs;
    const QByteArray &given = std::get<QByteArray>(parsed);
    const QByteArray folder = dirweaver::AbsoluteCleanPath(given.isEmpty() ? cwd : given, cwd);
    if (!given.isEmpty()) {
        if (const int error = fs.subFolders(folder).error) {
            Say(err, dirweaver::FolderErrorMessage(given, error));
            return 2;
        }
    }
    if (!dirweaver::DisplayAvailable()) {
        Say(err, dirweaver::NoDisplayMessage());
        return 1;
    }

    // Qt sees no arguments but the program's name, so no file name is taken for a Qt option.
    int qtArgc = 1;
    char *qtArgv[] = {program, nullptr};
    QApplication app(qtArgc, qtArgv);
    dirweaver::SetUpApplication(app);
    dirweaver::WeaveForm form(fs, dirweaver::ProgramLocaleFromEnvironment(),
                              dirweaver::MountedVolumes());
    // The first page is built inside the event loop, so the exit button works during it.
    QTimer::singleShot(0, &form, [&] { form.Form_Load(dirweaver::NativeName::fromBytes(folder)); });
    return app.exec();
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
        Say(err, *problem);
        return 2;
    }
    if (!cwd) {
        Say(err, QStringLiteral("dirweaver: ") + QString::fromLocal8Bit(std::strerror(cwdError)));
        return 2;
    }
    const dirweaver::RealFileSystem fs;
    return dirweaver::RunWriter(std::get<dirweaver::WriterRequest>(parsed), fs,
                                dirweaver::ProgramLocaleFromEnvironment(), *cwd, out, err);
}
