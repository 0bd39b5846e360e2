#include "writer.h"

#include "messages.h"

#include "output/pagefile.h"
#include "page/folderpage.h"

#include <cerrno>

namespace dirweaver {

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
        PrintLine(err, OutputErrorMessage("-", ErrorText(errno != 0 ? errno : EIO)));
        return 1;
    }

    const QByteArray folder = AbsoluteCleanPath(request.folder, cwd);
    const FolderPage page = PrepareFolderPage(fs, folder, request.page, FileSorter(locale));
    if (page.error != 0) {
        PrintLine(err, FolderErrorMessage(folder, page.error));
        return 2;
    }

    const FileTimeFormat format(locale);
    const PageBuilder builder(fs, format);
    const PageProducer produce = [&](PageSink &sink) {
        builder.build(page.input, sink, {}, page.facts.get());
    };
    QString error;
    const PageEncoding encoding = page.input.options.encoding;
    const bool written = request.output == "-"
                             ? WritePage(out, produce, encoding, &error)
                             : SavePage(request.output, produce, encoding, &error);
    if (written)
        return 0;
    PrintLine(err, OutputErrorMessage(request.output, error));
    return 1;
}

} // namespace dirweaver
