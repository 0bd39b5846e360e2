#pragma once

#include "builder.h"
#include "filetime.h"
#include "folderpage.h"
#include "options.h"
#include "pagetext.h"
#include "progress.h"
#include "selection/filelist.h"
#include "selection/filemodel.h"
#include "selection/filesystem.h"
#include "selection/filter.h"
#include "selection/nativename.h"
#include "selection/prefetch.h"
#include "selection/titles.h"

#include <QLocale>
#include <QString>

#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace dirweaver {

/// How saving and preview write the page: its format and its encoding.
struct OutputForm
{
    /// The classic page, or another format.
    const PageFormat *format = &ClassicFormat();
    /// The bytes' encoding.
    PageEncoding encoding = PageEncoding::Gbk;
};

/// What the session reads from the window's controls and shows in them.
class SessionView
{
public:
    virtual ~SessionView() = default;
    /// The page options as the controls hold them now, titles, bullets and alignment included.
    virtual PageOptions readOptions() const = 0;
    /// The filter boxes as the controls hold them now.
    virtual FilterBoxes readFilterBoxes() const = 0;
    /// Shows the progress captions at once (reset, start and end of a build).
    virtual void showProgress(const ProgressCaptions &captions) = 0;
    /// Called after every file of a build with the files done and the list's length now:
    /// the window may show them, repaint and handle pending events.
    virtual void fileDone(qsizetype done, qsizetype count) = 0;
    /// Called every millisecond or so while a file list that takes long is read and sorted:
    /// the window may repaint and handle pending events.
    virtual void busy() = 0;
    /// Puts derived titles into the title boxes.
    virtual void showTitles(const Titles &titles) = 0;
    /// Shows what the source box holds of a finished page.
    virtual void showPage(const QString &view) = 0;
    /// Asks for a full folder refresh half a second from now.
    virtual void armRefresh() = 0;
    /// The last running build (or reading of a list) has returned: pageBytes() is the page of
    /// the folder shown.
    virtual void buildsEnded() = 0;
};

/// The window-level state of the page and the effect of every handler on it: the open
/// folder, its file list, the page text and the progress of the build.
class PageSession
{
public:
    /// Reads folders and file facts through fs, sorts and dates for locale, talks to view;
    /// fs must outlive the session, which may still be reading a list with it as it ends.
    /// listing holds what the window's controls do not choose (the order, what to leave out,
    /// which date), applied to every page.
    PageSession(const FileSystem &fs, const QLocale &locale, SessionView &view,
                const FolderPageRequest &listing = {});
    /// Waits for lists still being read.
    ~PageSession();
    PageSession(const PageSession &) = delete;
    PageSession &operator=(const PageSession &) = delete;

    /// Reads folder once for both lists of the window, which answers meanwhile: returns its
    /// sub-folders, sorted, and keeps its files for the refresh of folder that follows; nullopt
    /// when a later reading or the end of the window made this one moot.
    std::optional<SubFolderList> readFolder(const NativeName &folder);
    /// The folder refresh: filter, file list of folder, progress reset, titles, page.
    void refreshFolder(const NativeName &folder);
    /// A type box was clicked: filter, file list, progress reset, page; titles stay.
    void filterChanged();
    /// Puts the idle texts back into the progress captions.
    void resetProgress();
    /// Builds the page from the file list and the controls, yielding after every file. A
    /// build interrupted by another one stops without writing anything.
    void BuildPage();
    /// Ends every running build without writing anything; later builds do nothing.
    void stop();

    /// The last complete page's bytes, without the end its file has: made again from the
    /// same list, options and facts, byte for byte the page built.
    QByteArray pageBytes() const;
    /// True once a page is complete.
    bool hasPage() const { return hasPage_; }
    /// The last complete page read back as text, as a browser reads it: a character its
    /// encoding could not hold reads as its reference.
    QString pageText() const;
    /// The last complete page in form, as a file of it holds it: pageBytes() and its end, or
    /// the same page built again from the same list and options in the other format or
    /// encoding.
    QByteArray pageIn(OutputForm form) const;
    /// Chooses the form that saving and preview write; the classic page in GBK until chosen.
    void setOutputForm(OutputForm form) { outputForm_ = form; }
    /// The format and encoding saving and previewing write.
    const OutputForm &outputForm() const { return outputForm_; }
    /// The last complete page in the form chosen for saving and preview.
    QByteArray outputBytes() const;
    /// The open folder that the file list shows.
    const NativeName &folder() const { return folder_; }
    /// The open folder's own name, proposed as the saved file's name.
    const QString &folderTitle() const { return folderTitle_; }
    /// The pattern the file list was last read with.
    const QString &pattern() const { return pattern_; }
    /// The errno value of the last file listing; 0 when the folder was read.
    int listError() const { return listError_; }
    /// The file list, as a model for the window's view.
    FileListModel &fileModel() { return files_; }
    /// The names of the file list, in page order.
    const QList<NativeName> &files() const { return files_.files(); }
    /// The progress captions as of the last file done.
    ProgressCaptions progress() const;
    /// True while a file list is being read or a page built.
    bool building() const { return depth_ > 0; }
    /// The request of a page: the listing options, the window's pattern and controls.
    FolderPageRequest request() const;

private:
    // Runs work on a worker thread while the window answers; false when moot() turned true
    // first, the worker then left to finish unwatched.
    bool runAside(std::function<void()> work, const std::function<bool()> &moot);
    // Reads and sorts the folder's files; false when a later refresh or the end of the window
    // made the list moot while it was being read.
    bool relist();
    // The bytes of model, built from the last page's facts; with the end of a file.
    QByteArray written(const PageModel &model, bool wholeFile) const;
    // Folds the last file's numbers into the captions.
    void settleProgress();
    // Tells the view when no list is being read and no page built any more.
    void workEnded();

    const FileSystem &fs_;
    const QLocale locale_;
    const FolderPageRequest listing_;
    const FileTimeFormat format_;
    SessionView &view_;
    FileListModel files_;
    // Facts of the list relist() made, read for the build that follows it.
    std::shared_ptr<FactsPrefetch> nextFacts_;
    NativeName folder_;
    QString pattern_ = kAllFilesPattern.toString();
    OutputForm outputForm_;
    int listError_ = 0;
    QString folderTitle_;
    // The last complete page: what it was built from, and the facts it showed.
    bool hasPage_ = false;
    PageModel pageModel_;
    std::shared_ptr<FactsPrefetch> pageFacts_;
    ProgressCaptions captions_ = ProgressCaptions::idle();
    // The file index shared by every build, nested ones included, as the abandon test uses it.
    qsizetype fileIndex_ = 0;
    // The latest file's progress, turned into captions only when they are shown.
    qsizetype doneFiles_ = 0, doneCount_ = 0;
    bool progressPending_ = false;
    quint64 generation_ = 0;
    quint64 listGeneration_ = 0;
    quint64 folderGeneration_ = 0;
    // The files of the folder readFolder() read last, until the next listing.
    std::optional<std::pair<QByteArray, FolderListing>> readAhead_;
    std::vector<std::thread> unwatched_; // readers of lists nobody waits for any more
    int depth_ = 0;
    bool stopped_ = false;
};

} // namespace dirweaver
