// The window as its page session sees it: what the controls hold, and what the session
// shows in them.
#include "weaveform.h"

#include "about.h"
#include "layout.h"
#include "listviews.h"
#include "output/preview.h"
#include "output/saving.h"
#include "selection/dropped.h"
#include "version.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QUrl>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// Progress captions are repainted at most once per frame of a 60 Hz screen.
constexpr qint64 kFrameMs = 16;
// Events are handled after a build's first file, then every few milliseconds: often enough
// to paint and to answer a click at once, seldom enough not to cost a million event loops.
constexpr qint64 kYieldMs = 4;

} // namespace

PageOptions WeaveForm::readOptions() const
{
    PageOptions o;
    o.absolutePath = c_.Check1->isChecked();
    o.blankLine = c_.Check8->isChecked();
    o.bullet = c_.Check20->isChecked();
    o.showSize = c_.Check21->isChecked();
    o.showDate = c_.Check22->isChecked();
    o.align = c_.Option1[1]->isChecked()   ? Align::Center
              : c_.Option1[2]->isChecked() ? Align::Right
                                           : Align::Left;
    o.browserTitle = c_.Text2->text();
    o.headerTitle = c_.Text3->text();
    o.footerTitle = c_.Text4->text();
    return o;
}

FilterBoxes WeaveForm::readFilterBoxes() const
{
    FilterBoxes boxes;
    boxes.all = c_.Checkall->isChecked();
    for (std::size_t i = 0; i < c_.typeBoxes.size(); ++i)
        boxes.types[i] = c_.typeBoxes[i]->isChecked();
    return boxes;
}

void WeaveForm::showProgress(const ProgressCaptions &captions)
{
    const std::pair<QLabel *, const QString *> labels[] = {{c_.Label10, &captions.toProcess},
                                                           {c_.Label11, &captions.processed},
                                                           {c_.Label12, &captions.progress}};
    for (const auto &[label, text] : labels) {
        if (label->text() != *text) {
            label->setText(*text);
            label->adjustSize();
        }
    }
    frameClock_.start();
}

void WeaveForm::fileDone(qsizetype done, qsizetype)
{
    if (!frameClock_.isValid() || frameClock_.elapsed() >= kFrameMs) {
        showProgress(session_->progress());
    }
    if (done == 1 || !yieldClock_.isValid() || yieldClock_.elapsed() >= kYieldMs) {
        QCoreApplication::processEvents();
        yieldClock_.start();
    }
}

void WeaveForm::busy()
{
    QCoreApplication::processEvents();
}

void WeaveForm::showTitles(const Titles &titles)
{
    c_.Text3->setText(titles.header);
    c_.Text2->setText(c_.Text3->text());
    // Like the other boxes, show a long title from its start.
    c_.Text2->setCursorPosition(0);
    c_.Text3->setCursorPosition(0);
}

void WeaveForm::showPage(const QString &view)
{
    c_.Text1->setPlainText(view);
}

void WeaveForm::armRefresh()
{
    c_.Timer1->start();
}

void WeaveForm::buildsEnded()
{
    // Out of the handler that ran the build, so the dialog does not open inside it.
    if (savePending_ || previewPending_)
        QTimer::singleShot(0, this, &WeaveForm::runPendingOutput);
}

void WeaveForm::runPendingOutput()
{
    if (session_->building())
        return; // another build began meanwhile; its end comes back here
    if (std::exchange(previewPending_, false))
        Command6_Click();
    if (std::exchange(savePending_, false))
        Command3_Click();
}

} // namespace dirweaver
