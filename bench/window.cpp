// Times the main window from opening a folder to the end of its first build, per-file
// progress and yields included, with whatever platform QT_QPA_PLATFORM names.
// Then times how long "退出" takes to end the program when clicked 100 ms into a build.
// Usage: bench_window FOLDER RUNS; prints the best seconds of RUNS openings, then the
// seconds from the click to the end of the event loop.
#include "page/filetime.h"
#include "selection/filesystem.h"
#include "ui/application.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

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

    dirweaver::WeaveForm form(fs, dirweaver::ProgramLocaleFromEnvironment(), {});
    QElapsedTimer quitClock;
    QTimer::singleShot(0, &form, [&] { form.Form_Load(dirweaver::NativeName::fromBytes(folder)); });
    QTimer::singleShot(100, &form, [&] {
        // Queued like a real click, so it waits for the build's next yield.
        auto *quit = form.findChild<QPushButton *>(QStringLiteral("Command1"));
        const QPointF at = quit->rect().center();
        quitClock.start();
        QCoreApplication::postEvent(quit, new QMouseEvent(QEvent::MouseButtonPress, at,
                                                          quit->mapToGlobal(at), Qt::LeftButton,
                                                          Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(quit, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                          quit->mapToGlobal(at), Qt::LeftButton,
                                                          Qt::NoButton, Qt::NoModifier));
    });
    QApplication::exec();
    std::printf("%.4f %.4f\n", best, double(quitClock.nsecsElapsed()) / 1e9);
    return 0;
}
