#include "session.h"

#include "builder.h"
#include "folderpage.h"

#include <QStringDecoder>

#include <atomic>
#include <chrono>
#include <malloc.h>
#include <memory>
#include <thread>

namespace dirweaver {

PageSession::PageSession(const FileSystem &fs, const QLocale &locale, SessionView &view,
                         const FolderPageRequest &listing)
    : fs_(fs), locale_(locale), listing_(listing), format_(locale), view_(view)
{
}

FolderPageRequest PageSession::request() const
{
    FolderPageRequest request = listing_;
    request.pattern = pattern_;
    // The window's controls, but for the date they show and the sums, which the listing
    // options choose.
    const FileDate date = request.options.date;
    const bool checksum = request.options.checksum;
    request.options = view_.readOptions();
    request.options.date = date;
    request.options.checksum = checksum;
    request.browserTitle = request.options.browserTitle;
    request.headerTitle = request.options.headerTitle;
    return request;
}

PageSession::~PageSession()
{
    // Lists still being read for nobody use the file system this session was given.
    for (std::thread &worker : unwatched_)
        worker.join();
}

bool PageSession::runAside(std::function<void()> work, const std::function<bool()> &moot)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread worker([work = std::move(work), done] {
        work();
        done->store(true);
    });
    // A folder read at once is not worth an event loop; a long one is answered in between.
    ++depth_;
    const auto started = std::chrono::steady_clock::now();
    while (!done->load() && !moot()) {
        if (std::chrono::steady_clock::now() - started > std::chrono::milliseconds(20))
            view_.busy();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    --depth_;
    if (moot()) {
        // Nobody's any more: left to finish unwatched, and the window goes on (or ends) at once.
        unwatched_.push_back(std::move(worker));
        workEnded();
        return false;
    }
    worker.join();
    return true;
}

std::optional<SubFolderList> PageSession::readFolder(const NativeName &folder)
{
    if (stopped_)
        return std::nullopt;
    const quint64 generation = ++folderGeneration_;
    // What the worker reads, shared so that a reading nobody waits for still has its place.
    struct Read
    {
        FolderEntries entries;
        SubFolderList folders;
    };
    auto read = std::make_shared<Read>();
    const bool aside = runAside(
        [this, read, path = folder.bytes] {
            read->entries = fs_.entries(path);
            read->folders = SortedSubFolders(read->entries.folders, FileSorter(locale_));
        },
        [&] { return stopped_ || generation != folderGeneration_; });
    if (!aside)
        return std::nullopt;
    // A folder that could not be read is read again by its refresh, which reports it.
    if (read->entries.files.error == 0)
        readAhead_ = {folder.bytes, std::move(read->entries.files)};
    return std::move(read->folders);
}

bool PageSession::relist()
{
    const quint64 generation = ++listGeneration_;
    const QByteArray folder = folder_.bytes;
    // The files readFolder() just read, for the refresh that follows it; any later listing
    // reads the folder again.
    std::optional<FolderEntries> readAhead;
    if (readAhead_ && readAhead_->first == folder)
        readAhead = FolderEntries{std::move(readAhead_->second), {}};
    readAhead_.reset();
    // A million names take seconds to read and sort: a worker does it while the window
    // keeps painting and answering.
    auto files = std::make_shared<ListedFolder>();
    const bool aside = runAside(
        [this, files, folder, request = request(), readAhead = std::move(readAhead)] {
            *files = ListFolder(fs_, folder, request, FileSorter(locale_), nullptr, readAhead);
        },
        // Another refresh that ran meanwhile, or the end of the window, makes this list
        // nobody's.
        [&] { return stopped_ || generation != listGeneration_; });
    if (!aside)
        return false;
    // The worker's sort keys are gone, but its heap keeps the holes they left: given back
    // now, the page built next does not stand on top of them.
    if (files->files.size() >= 100000)
        ::malloc_trim(0);
    listError_ = files->error;
    nextFacts_ = std::move(files->facts);
    files_.setFiles(std::move(files->files));
    return true;
}

void PageSession::refreshFolder(const NativeName &folder)
{
    if (stopped_)
        return;
    pattern_ = ApplyFileFilter(view_.readFilterBoxes());
    folder_ = folder;
    if (!relist())
        return;
    resetProgress();
    const Titles titles = DeriveTitles(folder_.text);
    folderTitle_ = titles.folderTitle;
    view_.showTitles(titles);
    BuildPage();
}

void PageSession::filterChanged()
{
    if (stopped_)
        return;
    pattern_ = ApplyFileFilter(view_.readFilterBoxes());
    if (!relist())
        return;
    resetProgress();
    BuildPage();
}

void PageSession::resetProgress()
{
    progressPending_ = false;
    captions_ = ProgressCaptions::idle();
    view_.showProgress(captions_);
}

ProgressCaptions PageSession::progress() const
{
    ProgressCaptions captions = captions_;
    if (progressPending_)
        captions.fileDone(doneFiles_, doneCount_);
    return captions;
}

void PageSession::settleProgress()
{
    if (progressPending_)
        captions_.fileDone(doneFiles_, doneCount_);
    progressPending_ = false;
}

QString PageSession::pageText() const
{
    QStringDecoder decoder(pageModel_.options.encoding == PageEncoding::Gbk ? "GBK" : "UTF-8");
    return decoder.decode(pageBytes());
}

QByteArray PageSession::outputBytes() const
{
    return pageIn(outputForm_);
}

QByteArray PageSession::pageBytes() const
{
    return written(pageModel_, false);
}

QByteArray PageSession::pageIn(OutputForm form) const
{
    PageModel model = pageModel_;
    model.options.encoding = form.encoding;
    model.options.format = form.format;
    return written(model, true);
}

QByteArray PageSession::written(const PageModel &model, bool wholeFile) const
{
    if (!hasPage_)
        return {};
    // The very page the build made: the same list, options and facts.
    QByteArray bytes;
    BytesSink sink(bytes);
    PageBuilder(fs_, format_).build(model, sink, {}, pageFacts_.get(), wholeFile);
    return bytes;
}

void PageSession::stop()
{
    stopped_ = true;
}

void PageSession::BuildPage()
{
    if (stopped_)
        return;
    const quint64 generation = ++generation_;
    ++depth_;

    PageModel model = FolderModel(fs_, folder_.bytes, files_.files(), {}, request());
    model.collation = locale_.bcp47Name();
    model.folder = folder_;
    const qsizetype count = model.files.size();
    settleProgress(); // an earlier build's last file, before this one starts
    captions_.toProcess = ToProcessCaption(count);
    view_.showProgress(captions_);

    // The facts the folder refresh began to read, when this build is the one it asked for;
    // kept with the page, whose bytes are made again from them for saving and preview.
    std::shared_ptr<FactsPrefetch> facts = std::move(nextFacts_);
    if (!facts && model.options.showsFacts() && count > 0) {
        FolderRef source = model.source;
        source.path = FolderPath(model.folder).bytes;
        facts = std::make_shared<FactsPrefetch>(fs_, source, model.files);
    }

    // Only what the source box shows is kept of the text; the bytes are made again when
    // wanted, so that a page of a million lines is never held whole.
    PageText page(model.options.encoding, false);
    const auto fileDone = [&](qsizetype index, qsizetype) {
        fileIndex_ = index;
        doneFiles_ = index + 1;
        doneCount_ = files_.files().size();
        progressPending_ = true;
        view_.fileDone(doneFiles_, doneCount_);
        if (stopped_)
            return false;
        if (generation_ == generation)
            return true;
        // A nested build ran during the yield and left its complete page. Where the shared
        // index shows the list shrank below this build's next file, the deferred refresh is
        // armed; in every case this build stops and writes nothing more.
        const qsizetype next = fileIndex_ + 1;
        if (next <= count - 1 && next > files_.files().size())
            view_.armRefresh();
        return false;
    };
    const bool complete = PageBuilder(fs_, format_).build(model, page, fileDone, facts.get());
    --depth_;
    if (complete) {
        fileIndex_ = count;
        hasPage_ = true;
        pageModel_ = std::move(model);
        pageFacts_ = std::move(facts);
        view_.showPage(page.view());
        settleProgress();
        view_.showProgress(captions_);
    }
    workEnded();
}

void PageSession::workEnded()
{
    if (depth_ == 0 && !stopped_)
        view_.buildsEnded();
}

} // namespace dirweaver
