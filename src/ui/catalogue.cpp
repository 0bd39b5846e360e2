// The window's catalogue: the open folder's whole tree walked on a worker thread, a progress
// bar and a stop button shown meanwhile, the window answering.
#include "weaveform.h"
#include "windowtext.h"

#include "page/words.h"

#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace dirweaver {

using namespace Qt::StringLiterals;

void WeaveForm::saveCatalogue(const QString &fileName)
{
    const QString caption = u"Dirweaver"_s;
    if (!makeCatalogue_) {
        QMessageBox::warning(this, caption, WindowText::tr("这里不能生成目录总览。"));
        return;
    }
    std::atomic<bool> stop{false};
    std::atomic<qint64> folders{0}, files{0};
    CatalogueJob job;
    job.file = QFile::encodeName(fileName);
    job.folder = session_->folder().bytes;
    job.listing = session_->request();
    job.language = WindowLanguageFromEnvironment();
    job.progress = [&](qint64 listedFolders, qint64 listedFiles) {
        folders = listedFolders;
        files = listedFiles;
    };
    job.stopped = [&stop] { return stop.load(); };

    QProgressDialog progress(WindowText::tr("正在生成目录总览……"), WindowText::tr("停止"), 0, 0,
                             this);
    progress.setObjectName(u"catalogueProgress"_s);
    progress.setWindowTitle(caption);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    connect(&progress, &QProgressDialog::canceled, &progress, [&stop] { stop = true; });
    QTimer tick;
    connect(&tick, &QTimer::timeout, &progress, [&] {
        progress.setLabelText(WindowText::tr("正在生成目录总览：%1 个文件夹，%2 个文件")
                                  .arg(folders.load())
                                  .arg(files.load()));
    });
    tick.start(100);
    progress.show();

    CatalogueResult result;
    QEventLoop loop;
    std::thread worker([&] {
        result = makeCatalogue_(job);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    tick.stop();
    progress.close();
    // Stopped: nothing was written, and the user knows why.
    if (result.stopped)
        return;
    QString text = result.written ? WindowText::tr("目录总览已生成：%1").arg(fileName)
                                  : WindowText::tr("目录总览没有生成：%1").arg(fileName);
    if (!result.messages.isEmpty())
        text += u"\n\n"_s + result.messages;
    QMessageBox box(result.written && result.messages.isEmpty() ? QMessageBox::NoIcon
                                                                : QMessageBox::Warning,
                    caption, text, QMessageBox::Ok, this);
    box.exec();
}

} // namespace dirweaver
