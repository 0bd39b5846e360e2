#include "writer.h"

#include "page/builder.h"
#include "pagefile.h"
#include "selection/filelist.h"
#include "selection/prefetch.h"
#include "selection/titles.h"

#include <cerrno>

namespace dirweaver {

int RunWriter(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
              const QByteArray &cwd, QIODevice &out, QIODevice &err)
{
    if (request.action != WriterRequest::Action::Write) {
        const QByteArray text = request.action == WriterRequest::Action::Help
                                    ? WriterHelp().toLocal8Bit()
                                    : VersionText();
        errno = 0;
        if (out.write(text) == text.size())
            return 0;
        Say(err, OutputErrorMessage("-", errno != 0 ? ErrorText(errno) : out.errorString()));
        return 1;
    }

    const QByteArray folderBytes =
        AbsoluteCleanPath(request.folder.isEmpty() ? cwd : request.folder, cwd);
    const FolderListing listing = fs.regularFiles(folderBytes);
    if (listing.error != 0) {
        Say(err, FolderErrorMessage(folderBytes, listing.error));
        return 2;
    }

    PageInput input;
    input.folder = NativeName::fromBytes(folderBytes);
    input.files = SelectFiles(listing, request.types);
    // The files' facts are read on a second core while the list is sorted.
    std::optional<FactsPrefetch> facts;
    if (request.options.showSize || request.options.showDate)
        facts.emplace(fs, FolderPath(input.folder).bytes, input.files);
    std::vector<qsizetype> order = SortFiles(input.files, locale);
    if (facts)
        facts->reorder(std::move(order));
    input.options = request.options;
    const Titles titles = DeriveTitles(input.folder.text);
    input.options.browserTitle = request.browserTitle.value_or(titles.browser);
    input.options.headerTitle = request.headerTitle.value_or(titles.header);

    const FileTimeFormat format(locale);
    const PageBuilder builder(fs, format);
    const PageProducer produce = [&](PageSink &sink) {
        builder.build(input, sink, {}, facts ? &*facts : nullptr);
    };
    QString error;
    const PageEncoding encoding = input.options.encoding;
    const bool written = request.output == "-"
                             ? WritePage(out, produce, encoding, &error)
                             : SavePage(request.output, produce, encoding, &error);
    if (written)
        return 0;
    Say(err, OutputErrorMessage(request.output, error));
    return 1;
}

} // namespace dirweaver
