#include "folderpage.h"

#include "escape.h"
#include "selection/titles.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

void addFolderLines(PageInput &input, const FolderPageRequest &request,
                    const QList<NativeName> &subFolders)
{
    const PageEncoding encoding = input.options.encoding;
    if (request.folderLinks == FolderLinks::Pages && !request.parentPage.isEmpty()) {
        const QString parent =
            LinkTarget(u"../", NativeName::fromBytes(request.parentPage), encoding);
        input.folders.append({"..", u"上一级/"_s, parent, parent});
    }
    const QString folderTarget = FolderTarget(input);
    for (const NativeName &sub : subFolders) {
        QStringList targets = {LinkTarget(folderTarget, sub, encoding) + u'/',
                               LinkTarget(QString(), sub, encoding) + u'/'};
        if (request.folderLinks == FolderLinks::Pages) {
            const NativeName page =
                NativeName::fromBytes(TreePageName(sub.bytes, request.pageName));
            for (QString &target : targets)
                target = LinkTarget(target, page, encoding);
        }
        input.folders.append({sub.bytes, sub.text + u'/', targets[0], targets[1]});
    }
}

// What an entry is ordered by under key, from its facts.
std::optional<qint64> sortKey(SortKey key, const std::optional<FileFacts> &facts)
{
    if (!facts)
        return std::nullopt;
    switch (key) {
    case SortKey::Modified:
        return facts->modifiedTime;
    case SortKey::Created:
        return facts->birthTime;
    case SortKey::Size:
        return facts->size;
    case SortKey::Name:
        break;
    }
    return std::nullopt;
}

// The sub-folders (in name order) in order's order: by their dates when it asks for dates,
// else by name.
QList<NativeName> arrangeFolders(const FileSystem &fs, const FolderRef &folder,
                                 QList<NativeName> subFolders, const FileOrder &order)
{
    FileOrder own = order;
    if (own.key == SortKey::Size)
        own.key = SortKey::Name;
    std::vector<std::optional<qint64>> keys(size_t(subFolders.size()));
    if (own.key != SortKey::Name) {
        const std::unique_ptr<FolderFacts> facts = fs.openFacts(folder);
        for (qsizetype i = 0; i < subFolders.size(); ++i)
            keys[size_t(i)] = sortKey(own.key, facts->facts(subFolders[i].bytes));
    }
    QList<NativeName> arranged;
    arranged.reserve(subFolders.size());
    for (const qsizetype from : own.arrange(keys))
        arranged.append(std::move(subFolders[from]));
    return arranged;
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
                            const Selection &selection, const FileSorter &sorter, bool wantFacts,
                            const FileOrder &order)
{
    return ListFolderFiles(fs, folder, fs.regularFiles(folder), selection, sorter, wantFacts,
                           order);
}

FolderFiles ListFolderFiles(const FileSystem &fs, const FolderRef &folder,
                            const FolderListing &listing, const Selection &selection,
                            const FileSorter &sorter, bool wantFacts, const FileOrder &order)
{
    FolderFiles files;
    files.error = listing.error;
    if (listing.error != 0)
        return files;
    files.names = SelectFiles(listing, selection);
    // The facts are read on a second core while the list is sorted.
    const bool byFacts = order.key != SortKey::Name;
    if (wantFacts || byFacts) {
        FolderRef source = folder;
        source.path = FolderPath(NativeName::fromBytes(folder.path)).bytes;
        files.facts = std::make_unique<FactsPrefetch>(fs, source, files.names);
    }
    std::vector<qsizetype> byName = sorter.sort(files.names);
    if (!byFacts && order.reverse) {
        std::reverse(files.names.begin(), files.names.end());
        std::reverse(byName.begin(), byName.end());
    }
    if (files.facts)
        files.facts->reorder(std::move(byName));
    if (!byFacts)
        return files;
    // Ordered by their facts, all of which are needed first: this thread reads them too.
    files.facts->readAlongside();
    std::vector<std::optional<qint64>> keys;
    keys.reserve(size_t(files.names.size()));
    for (qsizetype i = 0; i < files.names.size(); ++i)
        keys.push_back(sortKey(order.key, files.facts->factsAt(i)));
    const std::vector<qsizetype> moved = order.arrange(keys);
    QList<NativeName> names;
    names.reserve(files.names.size());
    for (const qsizetype from : moved)
        names.append(std::move(files.names[from]));
    files.names = std::move(names);
    files.facts->moved(moved);
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
    // Sub-folders not handed over come from the same reading of the folder as the files:
    // where a reading is a round trip, a large folder is not read twice.
    const bool listsFolders = request.folderLinks != FolderLinks::None && !subFolders;
    FolderEntries entries =
        listsFolders ? fs.entries(folder) : FolderEntries{fs.regularFiles(folder), {}};
    FolderFiles files = ListFolderFiles(fs, folder, entries.files, SelectionOf(request, self),
                                        sorter, request.options.showsFacts(), request.order);
    page.error = files.error;
    if (files.error != 0)
        return page;
    if (request.folderLinks == FolderLinks::Pages) {
        for (const QByteArray &name : entries.files.names) {
            if (IsTemporaryName(name))
                page.leftovers.append(name);
        }
    }
    PageInput &input = page.input;
    input.folder = NativeName::fromBytes(folder.path);
    input.source = folder;
    input.basePath = request.basePath;
    input.order = request.order;
    input.files = std::move(files.names);
    page.facts = std::move(files.facts);
    input.options = request.options;
    const Titles titles = DeriveTitles(input.folder.text);
    input.options.browserTitle = request.browserTitle.value_or(titles.header);
    input.options.headerTitle = request.headerTitle.value_or(titles.header);
    if (request.folderLinks == FolderLinks::None)
        return page;
    QList<NativeName> subs =
        subFolders ? *subFolders
                   : SortedSubFolders(entries.folders, sorter, true, SelectionOf(request)).names;
    addFolderLines(input, request, arrangeFolders(fs, folder, std::move(subs), request.order));
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
