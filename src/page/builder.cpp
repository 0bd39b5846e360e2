#include "builder.h"

#include "escape.h"
#include "pagelayout.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

NativeName FolderPath(const NativeName &folder)
{
    if (folder.bytes.endsWith('/'))
        return folder;
    NativeName path = folder;
    path.bytes.append('/');
    path.text.append(u'/');
    return path;
}

namespace {

// The folder as the file system is asked for its facts: by the path of the page's folder,
// or through what the caller holds open.
FolderRef sourceOf(const PageInput &input, const NativeName &folder)
{
    FolderRef source = input.source;
    source.path = folder.bytes;
    return source;
}

} // namespace

QString FolderTarget(const PageInput &input)
{
    const PageOptions &options = input.options;
    QString target;
    if (!options.baseUrl.isEmpty()) {
        // The address as given, then the page folder's own path below it, as targets are.
        AppendHtmlText(target, options.baseUrl);
        if (!target.endsWith(u'/'))
            target += u'/';
        for (const QByteArray &part : input.basePath.split('/')) {
            if (part.isEmpty())
                continue;
            AppendLinkTarget(target, NativeName::fromBytes(part), options.encoding);
            target += u'/';
        }
    } else if (options.absolutePath) {
        AppendLinkTarget(target, FolderPath(input.folder), options.encoding);
    }
    return target;
}

bool PageBuilder::build(const PageInput &input, PageSink &sink, const FileDone &fileDone,
                        const FactsPrefetch *facts) const
{
    const PageOptions &options = input.options;
    const std::unique_ptr<PageLayout> layout = options.style == PageStyle::Table
                                                   ? TableLayout(input, format_)
                                                   : ClassicLayout(input, format_);
    const bool ownTargets = layout->headHoldsFolder();
    const NativeName folder = FolderPath(input.folder);
    const QString folderTarget = ownTargets ? QString() : FolderTarget(input);
    layout->start(sink);

    // Folders first; their lines show a date but no size.
    std::unique_ptr<FolderFacts> folderFacts;
    if (options.showDate && !input.folders.isEmpty())
        folderFacts = fs_.openFacts(sourceOf(input, folder));
    for (const FolderLine &line : input.folders) {
        std::optional<FileFacts> facts = FileFacts{-1, std::nullopt};
        if (folderFacts) {
            facts = folderFacts->facts(line.entry);
            if (facts)
                facts->size = -1;
        }
        layout->entry(sink, line.entry == ".." ? EntryKind::Parent : EntryKind::Folder,
                      ownTargets ? line.ownTarget : line.target, line.text, facts);
    }

    const bool annotate = options.showsFacts();
    const qsizetype count = input.files.size();
    QString target;
    std::optional<FactsPrefetch> ownFacts;
    if (annotate && !facts && count > 0)
        facts = &ownFacts.emplace(fs_, sourceOf(input, folder), input.files);
    for (qsizetype i = 0; i < count; ++i) {
        const NativeName &name = input.files[i];
        std::optional<FileFacts> fileFacts;
        if (annotate)
            fileFacts = facts->factsAt(i);
        target.clear();
        AppendLinkTarget(target, folderTarget, name, options.encoding);
        layout->entry(sink, EntryKind::File, target, name.text, fileFacts);

        if (fileDone && !fileDone(i, count))
            return false;
    }

    layout->finish(sink);
    return true;
}

QString BuildPageText(const PageInput &input, const FileSystem &fs, const FileTimeFormat &format)
{
    QString page;
    StringSink sink(page);
    PageBuilder(fs, format).build(input, sink);
    return page;
}

} // namespace dirweaver
