#include "writer.h"

#include "bucketstore.h"
#include "messages.h"

#include "output/pagefile.h"
#include "page/builder.h"
#include "page/folderpage.h"

#include <cerrno>

namespace dirweaver {

using namespace Qt::StringLiterals;

int RunWriter(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
              const QByteArray &cwd, QIODevice &out, QIODevice &err, int terminalColumns)
{
    if (request.action == WriterRequest::Action::Help ||
        request.action == WriterRequest::Action::Version) {
        const QByteArray text = request.action == WriterRequest::Action::Help
                                    ? WriterHelp().toLocal8Bit()
                                    : VersionText();
        errno = 0;
        if (out.write(text) == text.size())
            return 0;
        PrintLine(err, OutputErrorMessage("-", ErrorText(errno != 0 ? errno : EIO)));
        return 1;
    }

    // A bucket's prefix is read through a source of its own, dated by modification.
    std::optional<BucketStore> bucket;
    FolderPageRequest pageRequest = request.page;
    if (IsBucketAddress(request.folder)) {
        if (!SettleBucketRequest(pageRequest, request.dateGiven, err))
            return 2;
        bucket = OpenBucketStore(request.folder, {}, err);
        if (!bucket)
            return 2;
    }
    const FileSystem &source = bucket ? *bucket->source : fs;
    const QByteArray folder = bucket ? bucket->top : AbsoluteCleanPath(request.folder, cwd);
    OpenFolder top = source.openTop(folder);
    if (!top.foreignLink.isEmpty()) {
        PrintLine(err, ForeignLinkMessage(folder, top.foreignLink, top.linkOwner));
        return 1;
    }
    // In someone else's folder a link is followed only to what lies below it, so that the
    // page tells nothing of what its owner could not see.
    if (top.othersFolder)
        top.folder.linksWithin = top.realPath;
    FolderPage page;
    page.error = top.error;
    if (top.error == 0)
        page = PrepareFolderPage(source, top.folder, pageRequest, FileSorter(locale));
    if (page.error != 0) {
        PrintLine(err, FolderErrorMessage(folder, page.error));
        return 2;
    }

    const FileTimeFormat format(locale);
    const PageBuilder builder(source, format);
    // Files hashed take the time of their bytes: a terminal sees how far the page is.
    ProgressLine progress(err, request.page.options.checksum ? terminalColumns : 0);
    const PageBuilder::FileDone done = [&](qsizetype file, qsizetype count) {
        if (progress.due())
            progress.show(u"%1 / %2 个文件 / files"_s.arg(file + 1).arg(count));
        return true;
    };
    const PageProducer produce = [&](PageSink &sink) {
        builder.build(page.model, sink, done, page.facts.get(), true);
        progress.clear();
    };
    QString error;
    const bool written = request.output == "-" ? WritePage(out, produce, &error)
                                               : SavePage(request.output, produce, &error);
    if (written)
        return 0;
    PrintLine(err, OutputErrorMessage(request.output, error));
    return 1;
}

} // namespace dirweaver
