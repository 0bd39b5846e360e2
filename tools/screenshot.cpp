// Draws the main window at its design size, opened on FOLDER, into a PNG file, and the
// about window into another when asked.
// Usage: dirweaver_screenshot FOLDER OUT.png [ABOUT.png] (with QT_QPA_PLATFORM=offscreen)
#include "page/filetime.h"
#include "selection/drives.h"
#include "selection/filesystem.h"
#include "ui/application.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QPixmap>
#include <QPushButton>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3 && argc != 4) {
        std::fputs("usage: dirweaver_screenshot FOLDER OUT.png [ABOUT.png]\n", stderr);
        return 2;
    }
    const QByteArray folder(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    // The window's language as the environment asks, in that language's usual dates.
    const dirweaver::PageLanguage language = dirweaver::WindowLanguageFromEnvironment();
    dirweaver::SetUpApplication(app, language);
    const dirweaver::RealFileSystem fs;
    // One drive only, so the picture does not show the mounts of the machine it was made on.
    dirweaver::WeaveForm form(fs, dirweaver::LanguageLocale(language),
                              {{dirweaver::NativeName::fromBytes("/"), {}}});
    form.Form_Load(dirweaver::NativeName::fromBytes(folder));
    // DIRWEAVER_SHOT_SIZE=WxH draws the window at that size, as maximised on such a screen.
    const QList<QByteArray> size = qgetenv("DIRWEAVER_SHOT_SIZE").split('x');
    if (size.size() == 2)
        form.resize(size[0].toInt(), size[1].toInt());
    QApplication::processEvents();
    if (!form.grab().save(out)) {
        std::fputs("dirweaver_screenshot: cannot write the picture\n", stderr);
        return 1;
    }
    if (argc == 4) {
        form.findChild<QPushButton *>(QStringLiteral("Command4"))->click();
        QApplication::processEvents();
        QWidget *about = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == u"about" && w->isVisible())
                about = w;
        }
        if (!about || !about->grab().save(QString::fromLocal8Bit(argv[3]))) {
            std::fputs("dirweaver_screenshot: cannot draw the about window\n", stderr);
            return 1;
        }
    }
    return 0;
}
