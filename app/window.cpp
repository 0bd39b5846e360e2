// The window side of the program, loaded by main only when a window is wanted, so the
// headless writer starts without the widget libraries.
#include "window.h"
#include "cli/catalog.h"
#include "cli/commandline.h"
#include "page/filetime.h"
#include "selection/drives.h"
#include "selection/filesystem.h"
#include "ui/application.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QTimer>

extern "C" __attribute__((visibility("default"))) int dirweaver_run_window(char *program,
                                                                           const char *folder,
                                                                           std::size_t folderLength,
                                                                           int argc, char **argv)
{
    QList<QByteArray> args;
    for (int i = 0; i < argc; ++i)
        args.append(QByteArray(argv[i]));
    const auto parsed = dirweaver::ParseWindowArguments(args);
    const auto *request = std::get_if<dirweaver::WindowRequest>(&parsed);
    if (!request)
        return 2; // main checked them already
    // Qt sees no arguments but the program's name, so no file name is taken for a Qt option.
    int qtArgc = 1;
    char *qtArgv[] = {program, nullptr};
    QApplication app(qtArgc, qtArgv);
    // The window's pages speak its language, in the program locale's dates where it can.
    const dirweaver::PageLanguage language = dirweaver::WindowLanguageFromEnvironment();
    dirweaver::SetUpApplication(app, language);
    const dirweaver::RealFileSystem fs;
    dirweaver::WeaveForm form(
        fs, dirweaver::DateLocale(language, dirweaver::ProgramLocaleFromEnvironment()),
        dirweaver::MountedVolumes(), request->listing);
    form.followMounts();
    // The save dialog's catalogue is the command line's own run.
    const QLocale locale = dirweaver::ProgramLocaleFromEnvironment();
    form.setCatalogueMaker([&fs, locale](const dirweaver::CatalogueJob &job) {
        return dirweaver::MakeCatalogue(job, fs, locale);
    });
    const auto start =
        dirweaver::NativeName::fromBytes(QByteArray(folder, qsizetype(folderLength)));
    // The first page is built inside the event loop, so the exit button works during it.
    QTimer::singleShot(0, &form, [&] { form.Form_Load(start); });
    return app.exec();
}
