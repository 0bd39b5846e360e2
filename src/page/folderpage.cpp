#include "folderpage.h"

#include "escape.h"
#include "selection/titles.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// The link target of entry name inside the page's folder: the folder part when the page's
// targets are absolute, then the escaped name and suffix.
QString entryTarget(const PageInput &input, const NativeName &name, QStringView suffix)
{
    QString folderTarget;
    if (input.options.absolutePath)
        AppendLinkTarget(folderTarget, FolderPath(input.folder), input.options.encoding);
    return LinkTarget(folderTarget, name, input.options.encoding) + suffix;
}

void addFolderLines(PageInput &input, const FolderPageRequest &request,
                    const QList<NativeName> &subFolders)
{
    const PageEncoding encoding = input.options.encoding;
    if (request.folderLinks == FolderLinks::Pages && !request.parentPage.isEmpty())
        input.folders.append(
            {"..", u"上一级/"_s,
             LinkTarget(u"../", NativeName::fromBytes(request.parentPage), encoding)});
    for (const NativeName &sub : subFolders) {
        QString target = entryTarget(input, sub, u"/");
        if (request.folderLinks == FolderLinks::Pages)
            target = LinkTarget(
                target, NativeName::fromBytes(TreePageName(sub.bytes, request.pageName)), encoding);
        input.folders.append({sub.bytes, sub.text + u'/', target});
    }
}

} // namespace

Selection SelectionOf(const FolderPageRequest &request, const QByteArray &leaveOut)
{
    Selection selection(request.pattern);
    selection.exclude = request.exclude;
    selection.hidden = request.hidden;
    selection.leaveOut = leaveOut;
    return selection;
}

FolderFiles ListFolderFiles(const FileSystem &fs, const FolderRef &folder,
                            const Selection &selection, const FileSorter &sorter, bool wantFacts)
{
    FolderFiles files;
    const FolderListing listing = fs.regularFiles(folder);
    files.error = listing.error;
    if (listing.error != 0)
        return files;
    files.names = SelectFiles(listing, selection);
    // The facts are read on a second core while the list is sorted.
    if (wantFacts) {
        FolderRef source = folder;
        source.path = FolderPath(NativeName::fromBytes(folder.path)).bytes;
        files.facts = std::make_unique<FactsPrefetch>(fs, source, files.names);
    }
    std::vector<qsizetype> order = sorter.sort(files.names);
    if (files.facts)
        files.facts->reorder(std::move(order));
    return files;
}

FolderPage PrepareFolderPage(const FileSystem &fs, const FolderRef &folder,
                             const FolderPageRequest &request, const FileSorter &sorter,
                             const QList<NativeName> *subFolders)
{
    FolderPage page;
    // A page in a tree does not list itself.
    const QByteArray self = request.folderLinks == FolderLinks::Pages
                                ? TreePageName(folder.path, request.pageName)
                                : QByteArray();
    FolderFiles files = ListFolderFiles(fs, folder, SelectionOf(request, self), sorter,
                                        request.options.showsFacts());
    page.error = files.error;
    if (files.error != 0)
        return page;
    PageInput &input = page.input;
    input.folder = NativeName::fromBytes(folder.path);
    input.source = folder;
    input.files = std::move(files.names);
    page.facts = std::move(files.facts);
    input.options = request.options;
    const Titles titles = DeriveTitles(input.folder.text);
    input.options.browserTitle = request.browserTitle.value_or(titles.header);
    input.options.headerTitle = request.headerTitle.value_or(titles.header);
    if (request.folderLinks == FolderLinks::None)
        return page;
    if (subFolders)
        addFolderLines(input, request, *subFolders);
    else
        addFolderLines(input, request,
                       ListSubFolders(fs, folder, sorter, true, SelectionOf(request)).names);
    return page;
}

QByteArray TreePageName(const QByteArray &folder, const QByteArray &pageName)
{
    if (!pageName.isEmpty())
        return pageName;
    // The root's own name is empty: it takes the name the save dialog proposes for it.
    QByteArray own = folder.mid(folder.lastIndexOf('/') + 1);
    if (own.isEmpty())
        own = ProposedFileName(u"/").toUtf8();
    // A name the file system would refuse with its suffix is cut, before a whole character.
    constexpr qsizetype kNameMax = 255, kSuffix = 4;
    if (own.size() > kNameMax - kSuffix) {
        qsizetype cut = kNameMax - kSuffix;
        while (cut > 0 && (uchar(own[cut]) & 0xc0) == 0x80)
            --cut;
        own.truncate(cut);
    }
    return own + ".htm";
}

} // namespace dirweaver
