#include "writer.h"

#include "messages.h"

#include "page/escape.h"
#include "pagefile.h"
#include "selection/titles.h"

#include <cerrno>

namespace dirweaver {

using namespace Qt::StringLiterals;

std::unique_ptr<FolderPage> PrepareFolderPage(const FileSystem &fs, const QByteArray &folder,
                                              const WriterRequest &request,
                                              const FileSorter &sorter, const QByteArray &leaveOut)
{
    auto page = std::make_unique<FolderPage>();
    FolderListing listing = fs.regularFiles(folder);
    page->error = listing.error;
    if (listing.error != 0)
        return page;
    if (!leaveOut.isEmpty())
        listing.names.removeAll(leaveOut);
    PageInput &input = page->input;
    input.folder = NativeName::fromBytes(folder);
    input.files = SelectFiles(listing, request.types);
    // The files' facts are read on a second core while the list is sorted.
    if (request.options.showSize || request.options.showDate)
        page->facts.emplace(fs, FolderPath(input.folder).bytes, input.files);
    std::vector<qsizetype> order = sorter.sort(input.files);
    if (page->facts)
        page->facts->reorder(std::move(order));
    input.options = request.options;
    const Titles titles = DeriveTitles(input.folder.text);
    input.options.browserTitle = request.browserTitle.value_or(titles.browser);
    input.options.headerTitle = request.headerTitle.value_or(titles.header);
    return page;
}

QString EntryTarget(const PageInput &input, const NativeName &name, QStringView suffix)
{
    QString folderTarget;
    if (input.options.absolutePath)
        AppendLinkTarget(folderTarget, FolderPath(input.folder), input.options.encoding);
    return LinkTarget(folderTarget, name, input.options.encoding) + suffix;
}

int RunWriter(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
              const QByteArray &cwd, QIODevice &out, QIODevice &err)
{
    if (request.action == WriterRequest::Action::Help ||
        request.action == WriterRequest::Action::Version) {
        const QByteArray text = request.action == WriterRequest::Action::Help
                                    ? WriterHelp().toLocal8Bit()
                                    : VersionText();
        errno = 0;
        if (out.write(text) == text.size())
            return 0;
        Say(err, OutputErrorMessage("-", errno != 0 ? ErrorText(errno) : out.errorString()));
        return 1;
    }

    const QByteArray folder =
        AbsoluteCleanPath(request.folder.isEmpty() ? cwd : request.folder, cwd);
    const FileSorter sorter(locale);
    const std::unique_ptr<FolderPage> page = PrepareFolderPage(fs, folder, request, sorter);
    if (page->error != 0) {
        Say(err, FolderErrorMessage(folder, page->error));
        return 2;
    }
    if (request.folders) {
        // The folders the folder list shows, as "name/" before the files.
        const FolderListing listing = fs.subFolders(folder);
        QList<NativeName> names;
        for (const QByteArray &name : listing.names)
            names.append(NativeName::fromBytes(name));
        sorter.sort(names);
        for (const NativeName &name : std::as_const(names))
            page->input.folders.append(
                {name.bytes, name.text + u'/', EntryTarget(page->input, name, u"/")});
    }

    const FileTimeFormat format(locale);
    const PageBuilder builder(fs, format);
    const PageProducer produce = [&](PageSink &sink) {
        builder.build(page->input, sink, {}, page->facts ? &*page->facts : nullptr);
    };
    QString error;
    const PageEncoding encoding = page->input.options.encoding;
    const bool written = request.output == "-"
                             ? WritePage(out, produce, encoding, &error)
                             : SavePage(request.output, produce, encoding, &error);
    if (written)
        return 0;
    Say(err, OutputErrorMessage(request.output, error));
    return 1;
}

} // namespace dirweaver
