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
#include <QSocketNotifier>
#include <QStyle>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

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
    c_ = CreateControls(this, LanguageOfLocale(locale));
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
    if (mounts_ >= 0)
        ::close(mounts_);
}

void WeaveForm::followMounts()
{
    if (mounts_ >= 0)
        return;
    mounts_ = OpenMountTable();
    if (mounts_ < 0)
        return;
    auto *mounts = new QSocketNotifier(mounts_, QSocketNotifier::Exception, this);
    connect(mounts, &QSocketNotifier::activated, this,
            [this] { volumesChanged(MountedVolumes()); });
}

void WeaveForm::volumesChanged(QList<Volume> volumes)
{
    drives_.update(std::move(volumes));
    const QSignalBlocker blocker(c_.Drive1);
    c_.Drive1->clear();
    for (const Volume &volume : drives_.volumes())
        c_.Drive1->addItem(DriveText(volume));
    c_.Drive1->setCurrentIndex(int(drives_.volumeOf(folders_->path().bytes)));
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
    // The alignment buttons' circles and captions as the font draws them, which a
    // translation may widen.
    QHash<QString, qreal> textWidths;
    for (QRadioButton *option : c_.Option1) {
        const int px = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, option) +
                       style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, option) +
                       option->fontMetrics().horizontalAdvance(option->text());
        textWidths.insert(option->objectName(), PixelsToTwips(QSizeF(px, 0), dpi).width());
    }
    const QList<ControlRect> rects =
        LayoutControls(PixelsToTwips(size(), dpi) + kDesignFrame, textWidths);
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

} // namespace dirweaver
