#include "session.h"

#include "builder.h"
#include "progress.h"
#include "selection/filelist.h"
#include "selection/prefetch.h"

#include <optional>

namespace dirweaver {

PageSession::PageSession(const FileSystem &fs, const QLocale &locale, SessionView &view)
    : fs_(fs), locale_(locale), format_(locale),
      view_(view), captions_{IdleToProcessCaption(), IdleProcessedCaption(), IdleProgressCaption()}
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
    captions_ = {IdleToProcessCaption(), IdleProcessedCaption(), IdleProgressCaption()};
    view_.showProgress(captions_);
}

void PageSession::setBullet(bool on)
{
    fragments_.setBullet(on);
}

void PageSession::setAlign(Align align)
{
    fragments_.setAlign(align);
}

ProgressCaptions PageSession::progress() const
{
    if (progressPending_) {
        progressPending_ = false;
        captions_.processed = ProcessedCaption(doneFiles_);
        if (std::optional<QString> text = ProgressText(doneFiles_, doneCount_))
            captions_.progress = *std::move(text);
    }
    return captions_;
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
    input.fragments = fragments_;
    const qsizetype count = input.files.size();
    progress(); // settles the captions of an earlier build before this one starts
    captions_.toProcess = ToProcessCaption(count);
    view_.showProgress(captions_);

    // The facts are read on a second core a little ahead of the lines that need them.
    std::optional<FactsPrefetch> prefetch;
    if (count > 0 && (input.options.showSize || input.options.showDate)) {
        QList<QByteArray> names;
        names.reserve(count);
        for (const NativeName &name : std::as_const(input.files))
            names.append(name.bytes);
        prefetch.emplace(fs_, FolderPath(input.folder).bytes, names);
    }

    QString page;
    StringSink sink(page);
    const auto fileDone = [&](qsizetype index, qsizetype) {
        fileIndex_ = index;
        doneFiles_ = index + 1;
        doneCount_ = files_.files().size();
        progressPending_ = true;
        view_.fileDone();
        if (stopped_)
            return false;
        if (generation_ == generation)
            return true;
        // A nested build ran during the yield and left its complete page. Where the shared
        // index shows the list shrank below this build's next file, the design's deferred
        // refresh is armed; in every case this build stops and writes nothing more.
        const qsizetype next = fileIndex_ + 1;
        if (next <= count - 1 && next > files_.files().size())
            view_.armRefresh();
        return false;
    };
    const bool complete =
        PageBuilder(prefetch ? *prefetch : fs_, format_).build(input, sink, fileDone);
    --depth_;
    if (!complete)
        return;
    fileIndex_ = count;
    pageText_ = std::move(page);
    view_.showPage(AbridgedView(pageText_));
    view_.showProgress(progress());
}

} // namespace dirweaver
