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

// The caption of every message box of the window.
constexpr QStringView kMessageCaption = u"Dirweaver";
// Progress captions are repainted at most once per frame of a 60 Hz screen.
constexpr qint64 kFrameMs = 16;
// Events are handled after a build's first file, then every few milliseconds: often enough
// to paint and to answer a click at once, seldom enough not to cost a million event loops.
constexpr qint64 kYieldMs = 4;

// Shows the folder list with indented folder icons: open ones down to the open folder.
class FolderIcons final : public QIdentityProxyModel
{
public:
    FolderIcons(const QStyle *style, QObject *parent)
        : QIdentityProxyModel(parent), open_(style->standardIcon(QStyle::SP_DirOpenIcon)),
          closed_(style->standardIcon(QStyle::SP_DirClosedIcon))
    {
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DecorationRole)
            return QIdentityProxyModel::data(index, FolderListModel::OnChainRole).toBool()
                       ? open_
                       : closed_;
        if (role == Qt::DisplayRole) {
            const int depth = QIdentityProxyModel::data(index, FolderListModel::DepthRole).toInt();
            return QString(QString(qMin(depth, 40) * 2, u' ') +
                           QIdentityProxyModel::data(index, role).toString());
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    QIcon open_, closed_;
};

} // namespace

WeaveForm::WeaveForm(const FileSystem &fs, const QLocale &locale, QList<Volume> volumes,
                     const FolderPageRequest &listing, QWidget *parent)
    : QWidget(parent), fs_(fs), drives_(std::move(volumes))
{
    setObjectName(u"WeaveForm"_s);
    setWindowTitle(QStringLiteral("Dirweaver V" DIRWEAVER_VERSION));
    c_ = CreateControls(this);
    folders_ = new FolderListModel(this);
    session_ =
        std::make_unique<PageSession>(fs, locale, static_cast<SessionView &>(*this), listing);
    openers_ = new OpenerWatch(this);
    setAcceptDrops(true);

    auto *icons = new FolderIcons(style(), this);
    icons->setSourceModel(folders_);
    c_.Dir1->setModel(icons);
    c_.File1->setModel(&session_->fileModel());
    for (const Volume &volume : drives_.volumes())
        c_.Drive1->addItem(DriveText(volume));

    setMinimumSize(TwipsToWholePixels(kMinimumOuterSize - kDesignFrame, logicalDpiX()));
    resize(minimumSize());

    connect(c_.Drive1, &QComboBox::currentIndexChanged, this, &WeaveForm::Drive1_Change);
    // Opened on a double-click or Enter, never on the single click some desktops activate on.
    connect(c_.Dir1, &ListBox::opened, this, &WeaveForm::Dir1_Open);
    connect(c_.Timer1, &QTimer::timeout, this, &WeaveForm::Timer1_Timer);
    connect(c_.Check1, &QCheckBox::clicked, this, &WeaveForm::Check1_Click);
    connect(c_.Check8, &QCheckBox::clicked, this, &WeaveForm::Check8_Click);
    connect(c_.Check20, &QCheckBox::clicked, this, &WeaveForm::Check20_Click);
    connect(c_.Check21, &QCheckBox::clicked, this, &WeaveForm::Check21_Click);
    connect(c_.Check22, &QCheckBox::clicked, this, &WeaveForm::Check22_Click);
    for (QCheckBox *box : c_.typeBoxes)
        connect(box, &QCheckBox::clicked, this, &WeaveForm::Check2_Click);
    connect(c_.Checkall, &QCheckBox::clicked, this, &WeaveForm::Check2_Click);
    for (int i = 0; i < 3; ++i)
        connect(c_.Option1[size_t(i)], &QRadioButton::clicked, this,
                [this, i] { Option1_Click(i); });
    connect(c_.Command5, &QPushButton::clicked, this, &WeaveForm::Command5_Click);
    connect(c_.Command1, &QPushButton::clicked, this, &WeaveForm::Command1_Click);
    connect(c_.Command3, &QPushButton::clicked, this, &WeaveForm::Command3_Click);
    connect(c_.Command4, &QPushButton::clicked, this, &WeaveForm::Command4_Click);
    connect(c_.Command6, &QPushButton::clicked, this, &WeaveForm::Command6_Click);
}

WeaveForm::~WeaveForm()
{
    session_->stop();
    delete about_;
}

void WeaveForm::Form_Load(const NativeName &folder)
{
    show();
    openFolder(folder, false);
    Dir1_Change();
}

bool WeaveForm::openFolder(const NativeName &folder, bool mustRead)
{
    if (folders_->isOpen(folder))
        return false;
    std::optional<SubFolderList> listing = session_->readFolder(folder);
    if (!listing || (mustRead && listing->error != 0))
        return false;
    folders_->setPath(folder, std::move(*listing));
    drives_.remember(folders_->path());
    c_.Dir1->setCurrentIndex(c_.Dir1->model()->index(folders_->openRow(), 0));
    showDrive();
    return true;
}

void WeaveForm::showDrive()
{
    // The drive list follows a folder opened on another volume without raising its change.
    const QSignalBlocker blocker(c_.Drive1);
    c_.Drive1->setCurrentIndex(int(drives_.volumeOf(folders_->path().bytes)));
}

void WeaveForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void WeaveForm::closeEvent(QCloseEvent *event)
{
    session_->stop();
    c_.Timer1->stop();
    QWidget::closeEvent(event);
}

void WeaveForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (DroppedFolder(event->mimeData()->urls()))
        event->acceptProposedAction();
}

void WeaveForm::dropEvent(QDropEvent *event)
{
    const std::optional<NativeName> folder = DroppedFolder(event->mimeData()->urls());
    if (!folder)
        return;
    event->acceptProposedAction();
    if (openFolder(*folder, false))
        Dir1_Change();
}

void WeaveForm::Form_Resize()
{
    if (isMinimized())
        return;
    const qreal dpi = logicalDpiX();
    const QSizeF outer = PixelsToTwips(size(), dpi) + kDesignFrame;
    const QSizeF wanted = EnforceMinimumSize(outer);
    if (wanted.height() != outer.height())
        resize(width(), minimumHeight());
    if (wanted.width() != outer.width())
        resize(minimumWidth(), height());
    const QList<ControlRect> rects = LayoutControls(PixelsToTwips(size(), dpi) + kDesignFrame);
    for (const ControlRect &r : rects) {
        QWidget *w = c_.byName.value(r.name);
        const QRect px = TwipsToPixels(r.rect, dpi);
        if (auto *label = qobject_cast<QLabel *>(w)) {
            // Labels size themselves to their caption.
            label->move(px.topLeft());
            label->adjustSize();
        } else if (w) {
            w->setGeometry(px);
        }
    }
}

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

void WeaveForm::Drive1_Change()
{
    const NativeName target = drives_.currentFolder(c_.Drive1->currentIndex());
    if (openFolder(target, true)) {
        Dir1_Change();
        return;
    }
    if (folders_->path().bytes == target.bytes)
        return;
    // The volume cannot be read: back to the drive of the folder shown, without a word.
    // Setting it raises this handler once more, which finds that folder already open.
    c_.Drive1->setCurrentIndex(int(drives_.volumeOf(folders_->path().bytes)));
}

void WeaveForm::Dir1_Change()
{
    session_->refreshFolder(folders_->path());
}

void WeaveForm::Dir1_Open(const QModelIndex &index)
{
    if (openFolder(folders_->entryPath(index.row()), false))
        Dir1_Change();
}

void WeaveForm::Timer1_Timer()
{
    session_->resetProgress();
    Dir1_Change();
    c_.Timer1->stop();
}

void WeaveForm::Check1_Click()
{
    session_->BuildPage();
}

void WeaveForm::Check8_Click()
{
    session_->BuildPage();
}

void WeaveForm::Check21_Click()
{
    session_->BuildPage();
}

void WeaveForm::Check22_Click()
{
    session_->BuildPage();
}

void WeaveForm::Check20_Click()
{
    const bool on = c_.Check20->isChecked();
    // The buttons show where the lines stand; the page is built once, after they are set.
    c_.Option1[size_t(readOptions().lineAlign())]->setChecked(true);
    for (QRadioButton *option : c_.Option1)
        option->setEnabled(!on);
    session_->BuildPage();
}

void WeaveForm::Option1_Click(int)
{
    session_->BuildPage();
}

void WeaveForm::Check2_Click()
{
    session_->filterChanged();
}

void WeaveForm::Command5_Click()
{
    session_->BuildPage();
}

void WeaveForm::Command1_Click()
{
    // Ends at once: running builds stop where they are and nothing is saved.
    session_->stop();
    c_.Timer1->stop();
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}

void WeaveForm::Command3_Click()
{
    if (session_->building()) {
        savePending_ = true;
        return;
    }
    if (!CmD1)
        CmD1 = CreateSaveDialog(this);
    // The page is offered to be saved in the folder it lists.
    CmD1->setDirectory(QFile::decodeName(session_->folder().bytes));
    const QString OutputFileName = getfilename();
    if (OutputFileName.isEmpty())
        return;
    savefileas(OutputFileName);
}

QString WeaveForm::getfilename()
{
    CmD1->selectFile(ProposedFileName(session_->folderTitle()));
    if (CmD1->exec() != QDialog::Accepted)
        return {};
    session_->setOutputForm(ChosenForm(*CmD1));
    return CmD1->selectedFiles().value(0);
}

void WeaveForm::savefileas(const QString &fileName)
{
    // The whole page is saved, never the abridged or hand-edited view in Text1.
    const SaveReport report = SaveAndReport(fileName, session_->outputBytes());
    QMessageBox box(report.saved ? QMessageBox::NoIcon : QMessageBox::Warning,
                    kMessageCaption.toString(), report.text, QMessageBox::Ok, this);
    box.exec();
}

void WeaveForm::Command6_Click()
{
    if (session_->building()) {
        previewPending_ = true;
        return;
    }
    QString error;
    const QString fileName = WritePreview(session_->outputBytes(), &error);
    if (fileName.isEmpty()) {
        QMessageBox::warning(this, kMessageCaption.toString(), error);
        return;
    }
    OpenPreview(fileName);
}

void WeaveForm::OpenPreview(const QString &fileName)
{
    // The browser shows the file's new content when handed it again, so no key is sent.
    const QUrl url = QUrl::fromLocalFile(fileName);
    const Launch launch = LaunchAdopting([&url] { return QDesktopServices::openUrl(url); });
    if (!launch.started) {
        previewNotOpened(fileName, std::nullopt);
        return;
    }
    openers_->watch(launch.openers,
                    [this, fileName](int status) { previewNotOpened(fileName, status); });
}

void WeaveForm::previewNotOpened(const QString &fileName, std::optional<int> status)
{
    QMessageBox::warning(this, kMessageCaption.toString(), PreviewNotOpenedText(fileName, status));
}

void WeaveForm::Command4_Click()
{
    if (about_) {
        // Already open: only brought to the front, neither placed again nor given more time.
        about_->raise();
        about_->activateWindow();
        return;
    }
    about_ = new AboutForm(ContactAddress());
    about_->Form_Load(*this);
    about_->show();
}

} // namespace dirweaver
