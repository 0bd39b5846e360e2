// The main window on a large folder, with whatever platform QT_QPA_PLATFORM names.
//   bench_window build FOLDER RUNS   seconds from opening FOLDER to the end of its first build,
//                                    per-file progress and yields included (the best of RUNS),
//                                    and the peak memory of the first window in KiB
//   bench_window quit FOLDER         seconds "结束程序" takes to end the program when clicked
//                                    100 ms after the folder list shows, while the files are
//                                    read and the page built; a window too busy to run the
//                                    click's timer is counted as late as it is
#include "page/filetime.h"
#include "selection/filesystem.h"
#include "ui/application.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <sys/resource.h>

namespace {

void postClick(QWidget *target)
{
    const QPointF at = target->rect().center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            target,
            new QMouseEvent(type, at, target->mapToGlobal(at), Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
}

} // namespace

int main(int argc, char *argv[])
{
    // As the program's main sets it up for the window.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    const bool build = argc == 4 && std::strcmp(argv[1], "build") == 0;
    const bool quit = argc == 3 && std::strcmp(argv[1], "quit") == 0;
    if (!build && !quit) {
        std::fputs("usage: bench_window build FOLDER RUNS | quit FOLDER\n", stderr);
        return 2;
    }
    const QByteArray folder(argv[2]);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    dirweaver::SetUpApplication(app, dirweaver::PageLanguage::Chinese);
    const dirweaver::RealFileSystem fs;

    if (build) {
        double best = 1e9;
        long firstPeak = 0; // the peak memory of the first window, as a user opening it sees
        for (int i = 0; i < std::atoi(argv[3]); ++i) {
            QElapsedTimer clock;
            clock.start();
            dirweaver::WeaveForm form(fs, dirweaver::ProgramLocaleFromEnvironment(), {});
            form.Form_Load(dirweaver::NativeName::fromBytes(folder));
            best = std::min(best, double(clock.nsecsElapsed()) / 1e9);
            if (!form.session().hasPage())
                return 1;
            if (i == 0) {
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                firstPeak = usage.ru_maxrss;
            }
        }
        std::printf("%.4f %ld\n", best, firstPeak);
        return 0;
    }

    dirweaver::WeaveForm form(fs, dirweaver::ProgramLocaleFromEnvironment(), {});
    QElapsedTimer clock;
    qint64 meant = -1;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        if (form.findChild<QListView *>(QStringLiteral("Dir1"))->model()->rowCount() == 0)
            return;
        watch.stop();
        meant = clock.elapsed() + 100;
        QTimer::singleShot(100, &form, [&] {
            postClick(form.findChild<QPushButton *>(QStringLiteral("Command1")));
        });
    });
    QTimer::singleShot(0, &form, [&] {
        clock.start();
        watch.start();
        form.Form_Load(dirweaver::NativeName::fromBytes(folder));
    });
    QApplication::exec();
    std::printf("%.4f\n", double(clock.elapsed() - meant) / 1000.0);
    return 0;
}
