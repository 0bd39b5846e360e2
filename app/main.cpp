#include "output/headless.h"
#include "page/annotations.h"
#include "selection/filesystem.h"

#include <QFile>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    std::setlocale(LC_ALL, "");
    QList<QByteArray> args;
    for (int i = 1; i < argc; ++i)
        args.append(QByteArray(argv[i]));

    QFile out, err;
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);

    const auto parsed = dirweaver::ParseWriterArguments(args);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        err.write(problem->toLocal8Bit() + '\n');
        return 2;
    }
    QByteArray cwd(4096, '\0');
    while (!getcwd(cwd.data(), size_t(cwd.size()))) {
        if (errno != ERANGE) {
            err.write("dirweaver: " + QByteArray(std::strerror(errno)) + '\n');
            return 2;
        }
        cwd.resize(cwd.size() * 2);
    }
    cwd.truncate(qstrlen(cwd.constData()));

    const dirweaver::RealFileSystem fs;
    return dirweaver::RunWriter(std::get<dirweaver::WriterRequest>(parsed), fs,
                                dirweaver::ProgramLocaleFromEnvironment(), cwd, out, err);
}
