// Times the main window from opening a folder to the end of its first build, per-file
// progress and yields included, with whatever platform QT_QPA_PLATFORM names.
// Usage: bench_window FOLDER RUNS; prints the best seconds of RUNS openings.
#include "page/annotations.h"
#include "selection/filesystem.h"
#include "ui/application.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fputs("usage: bench_window FOLDER RUNS\n", stderr);
        return 2;
    }
    const QByteArray folder(argv[1]);
    const int runs = std::atoi(argv[2]);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    dirweaver::SetUpApplication(app);
    const dirweaver::RealFileSystem fs;
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        dirweaver::WeaveForm form(fs, dirweaver::ProgramLocaleFromEnvironment(), {});
        form.Form_Load(dirweaver::NativeName::fromBytes(folder));
        best = std::min(best, double(clock.nsecsElapsed()) / 1e9);
        if (form.session().pageText().isEmpty())
            return 1;
    }
    std::printf("%.4f\n", best);
    return 0;
}
