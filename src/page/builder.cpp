#include "builder.h"

#include "annotations.h"
#include "escape.h"
#include "fragments.h"

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
    const PageFragments f = PageFragments::forOptions(options);
    const NativeName folder = FolderPath(input.folder);
    const QString folderTarget = FolderTarget(input);

    QString text = f.pageStart + options.browserTitle + f.titleToHeading + options.headerTitle +
                   f.headingClose + u"\r\n"_s;
    if (!options.blankLine)
        text += f.paraOpen + u"\r\n"_s;
    sink.append(text);

    const bool annotate = options.showsFacts();
    const auto appendLine = [&](const QString &target, QStringView shown,
                                const std::optional<FileFacts> &facts) {
        text.clear();
        text += f.bulletOpen;
        if (options.blankLine)
            text += f.paraOpen;
        text += f.linkOpen + target + f.targetClose;
        AppendLinkText(text, shown);
        text += f.linkClose;
        AppendAnnotations(text, shown, facts, options.showSize, options.showDate, format_,
                          options.date);
        if (options.blankLine)
            text += f.paraClose;
        text += f.lineBreak + f.bulletClose + u"\r\n"_s;
        sink.append(text);
    };

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
        appendLine(line.target, line.text, facts);
    }

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
        appendLine(target, name.text, fileFacts);

        if (fileDone && !fileDone(i, count))
            return false;
    }

    if (options.blankLine)
        text = u"\r\n"_s + f.footerOpen + options.footerTitle + f.pageClose;
    else
        text = f.paraClose + f.footerOpen + options.footerTitle + f.pageClose;
    sink.append(text);
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
