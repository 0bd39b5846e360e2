#include "session.h"

#include "builder.h"
#include "progress.h"
#include "selection/filelist.h"

namespace dirweaver {

PageSession::PageSession(const FileSystem &fs, const QLocale &locale, SessionView &view)
    : fs_(fs), locale_(locale), format_(locale), view_(view)
{
}

void PageSession::relist()
{
    FileListing listing = ListFiles(fs_, folder_.bytes, pattern_, locale_);
    listError_ = listing.error;
    files_.setFiles(std::move(listing.names));
}

void PageSession::refreshFolder(const NativeName &folder)
{
    if (stopped_)
        return;
    pattern_ = ApplyFileFilter(view_.readFilterBoxes());
    folder_ = folder;
    relist();
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
    relist();
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

QString PageSession::pageIn(PageEncoding encoding) const
{
    if (encoding == pageInput_.options.encoding || pageText_.isEmpty())
        return pageText_;
    PageInput input = pageInput_;
    input.options.encoding = encoding;
    return BuildPageText(input, fs_, format_);
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

    PageInput input;
    input.folder = folder_;
    input.files = files_.files();
    input.options = view_.readOptions();
    const qsizetype count = input.files.size();
    settleProgress(); // an earlier build's last file, before this one starts
    captions_.toProcess = ToProcessCaption(count);
    view_.showProgress(captions_);

    QString page;
    StringSink sink(page);
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
    const bool complete = PageBuilder(fs_, format_).build(input, sink, fileDone);
    --depth_;
    if (complete) {
        fileIndex_ = count;
        pageText_ = std::move(page);
        pageInput_ = std::move(input);
        view_.showPage(AbridgedView(pageText_));
        settleProgress();
        view_.showProgress(captions_);
    }
    if (depth_ == 0 && !stopped_)
        view_.buildsEnded();
}

} // namespace dirweaver
