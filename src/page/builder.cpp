#include "builder.h"

#include <limits>

namespace dirweaver {

bool PageOptions::showsFacts() const
{
    return showSize || showDate || checksum || format->data;
}

NativeName FolderPath(const NativeName &folder)
{
    if (folder.bytes.endsWith('/'))
        return folder;
    NativeName path = folder;
    path.bytes.append('/');
    path.text.append(u'/');
    return path;
}

bool PageBuilder::build(const PageModel &model, PageSink &sink, const FileDone &fileDone,
                        const FactsPrefetch *facts, bool wholeFile) const
{
    const PageFormat &format = *model.options.format;
    const std::unique_ptr<PageWriter> writer = format.writer(model, format_, sink);
    writer->start();
    PageTotals totals;
    for (const FolderEntry &folder : model.folders) {
        totals.folders += folder.kind == EntryKind::Folder ? 1 : 0;
        writer->entry({folder.kind, folder.name, folder.shown, folder.link, folder.facts});
    }

    const bool annotate = model.options.showsFacts();
    const qsizetype count = model.files.size();
    std::optional<FactsPrefetch> ownFacts;
    if (annotate && !facts && count > 0) {
        FolderRef source = model.source;
        source.path = FolderPath(model.folder).bytes;
        facts = &ownFacts.emplace(fs_, source, model.files);
    }
    // A file links as itself.
    static const LinkPath kOwnName;
    constexpr qsizetype kSampleLines = 512;
    std::optional<FileFacts> fileFacts;
    for (qsizetype i = 0; i < count; ++i) {
        const NativeName &name = model.files[i];
        if (annotate)
            fileFacts = facts->factsAt(i);
        ++totals.files;
        if (fileFacts && fileFacts->size > 0) {
            // A made-up or sparse file may be huge: the total stops at the largest count.
            const qint64 room = std::numeric_limits<qint64>::max() - totals.bytes;
            totals.bytes = fileFacts->size > room ? std::numeric_limits<qint64>::max()
                                                  : totals.bytes + fileFacts->size;
        }
        writer->entry({EntryKind::File, name, name.text, kOwnName, fileFacts});
        // Enough lines to know what a line weighs.
        if (i + 1 == kSampleLines && count > 2 * kSampleLines)
            sink.entriesWritten(i + 1, count);
        if (fileDone && !fileDone(i, count))
            return false;
    }
    writer->finish(totals);
    if (wholeFile)
        sink.append(format.fileEnd);
    return true;
}

QString BuildPageText(const PageModel &model, const FileSystem &fs, const FileTimeFormat &format)
{
    QString page;
    StringSink sink(page);
    PageBuilder(fs, format).build(model, sink);
    return page;
}

} // namespace dirweaver
