// Draws the main window at its design size, opened on FOLDER, into a PNG file.
// Usage: dirweaver_screenshot FOLDER OUT.png (run with QT_QPA_PLATFORM=offscreen)
#include "page/annotations.h"
#include "selection/drives.h"
#include "selection/filesystem.h"
#include "ui/application.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fputs("usage: dirweaver_screenshot FOLDER OUT.png\n", stderr);
        return 2;
    }
    const QByteArray folder(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    dirweaver::SetUpApplication(app);
    const dirweaver::RealFileSystem fs;
    // One drive only, so the picture does not show the mounts of the machine it was made on.
    dirweaver::WeaveForm form(fs, QLocale(QLocale::Chinese, QLocale::China),
                              {{dirweaver::NativeName::fromBytes("/"), {}}});
    form.Form_Load(dirweaver::NativeName::fromBytes(folder));
    QApplication::processEvents();
    if (!form.grab().save(out)) {
        std::fputs("dirweaver_screenshot: cannot write the picture\n", stderr);
        return 1;
    }
    return 0;
}
