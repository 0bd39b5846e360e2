#pragma once

#include "controls.h"
#include "output/opener.h"
#include "page/catalog.h"
#include "page/session.h"
#include "selection/drives.h"
#include "selection/folderlist.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class QFileDialog;

namespace dirweaver {

class AboutForm;

/// The main window: wires every control to the page session and lays the controls out.
class WeaveForm final : public QWidget, private SessionView
{
    Q_OBJECT

public:
    /// A window reading folders through fs, dating and sorting for locale, offering volumes.
    /// The window reading through fs, dating for locale, offering volumes as drives and
    /// applying listing (what its controls do not choose) to every page.
    WeaveForm(const FileSystem &fs, const QLocale &locale, QList<Volume> volumes,
              const FolderPageRequest &listing = {}, QWidget *parent = nullptr);
    ~WeaveForm() override;

    /// Start-up: shows the window, then opens folder and builds its first page.
    void Form_Load(const NativeName &folder);

    /// The page, file list and progress behind the window.
    const PageSession &session() const { return *session_; }
    /// The open folder of the folder list.
    const NativeName &dirPath() const { return folders_->path(); }
    /// The drives offered and their current folders.
    const Drives &drives() const { return drives_; }
    /// Offers volumes as the drives from now on (a disk mounted or taken away while the
    /// window is open); the open folder stays, and its drive stays chosen.
    void volumesChanged(QList<Volume> volumes);
    /// From now on offers the machine's mounted volumes whenever they change.
    void followMounts();
    /// The save dialog's catalogue type is made by make (the command line's catalogue run);
    /// without one, choosing it says that no catalogue can be made.
    void setCatalogueMaker(CatalogueMaker make) { makeCatalogue_ = std::move(make); }

protected:
    /// Runs Form_Resize.
    void resizeEvent(QResizeEvent *event) override;
    /// Stops any build: nothing it would show is wanted any more.
    void closeEvent(QCloseEvent *event) override;
    /// Takes a dragged folder, or a file for the folder that holds it; refuses the rest.
    void dragEnterEvent(QDragEnterEvent *event) override;
    /// Opens the dropped folder, as opening it in the folder list would.
    void dropEvent(QDropEvent *event) override;

private:
    // SessionView
    PageOptions readOptions() const override;
    FilterBoxes readFilterBoxes() const override;
    void showProgress(const ProgressCaptions &captions) override;
    void fileDone(qsizetype done, qsizetype count) override;
    void busy() override;
    void showTitles(const Titles &titles) override;
    void showPage(const QString &view) override;
    void armRefresh() override;
    void buildsEnded() override;

    void Form_Resize();
    void Drive1_Change();
    void Dir1_Change();
    void Dir1_Open(const QModelIndex &index);
    void Timer1_Timer();
    void Check1_Click();
    void Check8_Click();
    void Check20_Click();
    void Check21_Click();
    void Check22_Click();
    void Check2_Click();
    void Option1_Click(int index);
    void Command5_Click();
    void Command1_Click();
    void Command3_Click();
    QString getfilename();
    void savefileas(const QString &fileName);
    void saveCatalogue(const QString &fileName);
    void Command6_Click();
    void OpenPreview(const QString &fileName);
    void previewNotOpened(const QString &fileName, std::optional<int> status);
    void runPendingOutput();
    void Command4_Click();

    bool openFolder(const NativeName &folder, bool mustRead);
    void showDrive();

    const FileSystem &fs_;
    Drives drives_;
    WeaveControls c_;
    FolderListModel *folders_ = nullptr;
    std::unique_ptr<PageSession> session_;
    QElapsedTimer frameClock_;
    QElapsedTimer yieldClock_;
    // Made on the first save and kept, as the dialog control was.
    QFileDialog *CmD1 = nullptr;
    // Saving and preview asked for during a build wait for its page, so the file always
    // holds the folder whose name it is given.
    bool savePending_ = false;
    // The save dialog's catalogue type was chosen: the tree is listed, not the page saved.
    bool catalogueChosen_ = false;
    CatalogueMaker makeCatalogue_;
    bool previewPending_ = false;
    OpenerWatch *openers_ = nullptr;
    // The mount table, whose change brings the drive list up to date; -1 without one.
    int mounts_ = -1;
    // Deletes itself when it closes, which clears the pointer.
    QPointer<AboutForm> about_;
};

} // namespace dirweaver
