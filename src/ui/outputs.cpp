// The window's outputs: saving the page, previewing it, the about window.
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

} // namespace

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
    if (catalogueChosen_)
        saveCatalogue(OutputFileName);
    else
        savefileas(OutputFileName);
}

QString WeaveForm::getfilename()
{
    CmD1->selectFile(ProposedFileName(session_->folderTitle()));
    if (CmD1->exec() != QDialog::Accepted)
        return {};
    // A catalogue is no form of the page: the page's own stays for the preview.
    catalogueChosen_ = CmD1->selectedNameFilter() == CatalogueFileType();
    if (!catalogueChosen_)
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
    const QString fileName =
        WritePreview(session_->outputBytes(), &error, session_->outputForm().format->suffix);
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
