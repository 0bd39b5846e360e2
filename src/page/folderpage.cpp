#include "folderpage.h"

#include "format.h"
#include "selection/titles.h"

#include <algorithm>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// The folder lines request links: the parent's page, then each sub-folder as itself or
// its page.
QList<FolderEntry> folderLines(const FolderPageRequest &request,
                               const QList<NativeName> &subFolders)
{
    QList<FolderEntry> lines;
    if (request.folderLinks == FolderLinks::Pages && !request.parentPage.isEmpty()) {
        LinkPath up{{NativeName::fromBytes(request.parentPage)}, false, true};
        lines.append({EntryKind::Parent, NativeName::fromBytes(".."), u"../"_s, up, FileFacts{-1}});
    }
    const QByteArrayView suffix = request.options.format->suffix;
    for (const NativeName &sub : subFolders) {
        LinkPath link{{sub}, true, false};
        if (request.folderLinks == FolderLinks::Pages) {
            link.parts.append(NativeName::fromBytes(
                TreePageName(sub.bytes, request.pageName, suffix, request.options.format->data)));
            link.folder = false;
        }
        lines.append({EntryKind::Folder, sub, sub.text + u'/', std::move(link), FileFacts{-1}});
    }
    return lines;
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

// The folder lines in order's order: by their dates when it asks for dates, else by name
// (the order they come in), the parent's page first; their dates read where the page shows
// them or is ordered by them.
void arrangeFolders(const FileSystem &fs, const FolderRef &folder, QList<FolderEntry> &lines,
                    const FolderPageRequest &request, TaskRunner *runner)
{
    if (lines.isEmpty())
        return;
    FileOrder own = request.order;
    if (own.key == SortKey::Size)
        own.key = SortKey::Name;
    if (own.key != SortKey::Name || request.options.showDate) {
        // Read as the files' are: where each answer is a round trip, many at once.
        QList<NativeName> names;
        for (const FolderEntry &line : std::as_const(lines))
            names.append(line.name);
        const FactsPrefetch facts(fs, folder, names, runner);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            lines[i].facts = facts.factsAt(i);
            if (lines[i].facts)
                lines[i].facts->size = -1; // a folder shows no size
        }
    }
    const qsizetype first = lines.front().kind == EntryKind::Parent ? 1 : 0;
    std::vector<std::optional<qint64>> keys;
    for (qsizetype i = first; i < lines.size(); ++i)
        keys.push_back(sortKey(own.key, lines[i].facts));
    QList<FolderEntry> arranged = lines.first(first);
    for (const qsizetype from : own.arrange(keys))
        arranged.append(std::move(lines[first + from]));
    lines = std::move(arranged);
}

} // namespace

Selection SelectionOf(const FolderPageRequest &request, const QList<QByteArray> &leaveOut)
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
                            const FileSorter &sorter, bool wantFacts, const FileOrder &order,
                            TaskRunner *runner)
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
        files.facts = std::make_unique<FactsPrefetch>(fs, source, files.names, runner);
    }
    std::vector<qsizetype> byName = sorter.sort(files.names, order.numeric);
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

ListedFolder ListFolder(const FileSystem &fs, const FolderRef &folder,
                        const FolderPageRequest &request, const FileSorter &sorter,
                        const QList<NativeName> *subFolders, std::optional<FolderEntries> entries,
                        TaskRunner *runner)
{
    const bool tree = request.folderLinks == FolderLinks::Pages;
    // A page in a tree does not list itself, nor the pages of other styles beside it.
    QList<QByteArray> self;
    if (tree) {
        self.append(TreePageName(folder.path, request.pageName, request.options.format->suffix,
                                 request.options.format->data));
        for (const auto &[pageName, format] : request.siblingPages)
            self.append(TreePageName(folder.path, pageName, format->suffix, format->data));
    }
    // Sub-folders not handed over come from the same reading of the folder as the files:
    // where a reading is a round trip, a large folder is not read twice.
    const bool listsFolders = request.folderLinks != FolderLinks::None && !subFolders;
    if (!entries)
        entries = listsFolders ? fs.entries(folder) : FolderEntries{fs.regularFiles(folder), {}};
    // A format whose script orders names with their numbers by value is written in that order.
    FileOrder order = request.order;
    order.numeric = request.options.format->numericNames;
    FolderRef source = folder;
    source.checksums = request.options.checksum;
    FolderFiles files = ListFolderFiles(fs, source, entries->files, SelectionOf(request, self),
                                        sorter, request.options.showsFacts(), order, runner);
    ListedFolder listed;
    listed.error = files.error;
    if (files.error != 0)
        return listed;
    listed.files = std::move(files.names);
    listed.facts = std::move(files.facts);
    if (subFolders)
        listed.subFolders = *subFolders;
    else if (listsFolders)
        listed.subFolders =
            SortedSubFolders(entries->folders, sorter, true, SelectionOf(request), order.numeric)
                .names;
    if (tree) {
        for (const QByteArray &name : entries->files.names) {
            if (IsTemporaryName(name))
                listed.leftovers.append(name);
        }
    }
    return listed;
}

PageModel FolderModel(const FileSystem &fs, const FolderRef &folder, QList<NativeName> files,
                      const QList<NativeName> &subFolders, const FolderPageRequest &request,
                      TaskRunner *runner)
{
    PageModel model;
    model.folder = NativeName::fromBytes(folder.path);
    model.source = folder;
    model.source.checksums = request.options.checksum;
    model.basePath = request.basePath;
    model.order = request.order;
    model.ancestors = request.ancestors;
    model.files = std::move(files);
    model.options = request.options;
    const Titles titles = DeriveTitles(model.folder.text);
    model.options.browserTitle = request.browserTitle.value_or(titles.header);
    model.options.headerTitle = request.headerTitle.value_or(titles.header);
    if (request.folderLinks != FolderLinks::None) {
        model.folders = folderLines(request, subFolders);
        arrangeFolders(fs, folder, model.folders, request, runner);
    }
    return model;
}

FolderPage PrepareFolderPage(const FileSystem &fs, const FolderRef &folder,
                             const FolderPageRequest &request, const FileSorter &sorter,
                             const QList<NativeName> *subFolders, TaskRunner *runner,
                             std::optional<FolderEntries> entries)
{
    ListedFolder listed =
        ListFolder(fs, folder, request, sorter, subFolders, std::move(entries), runner);
    FolderPage page;
    page.error = listed.error;
    if (listed.error != 0)
        return page;
    page.model =
        FolderModel(fs, folder, std::move(listed.files), listed.subFolders, request, runner);
    page.model.collation = sorter.collation();
    page.facts = std::move(listed.facts);
    page.leftovers = std::move(listed.leftovers);
    return page;
}

QByteArray StylePageName(const QByteArray &pageName, const PageFormat &style, bool several)
{
    if (pageName.isEmpty() || !several)
        return pageName;
    const qsizetype dot = pageName.lastIndexOf('.');
    return (dot > 0 ? pageName.left(dot) : pageName) + style.suffix.toByteArray();
}

QByteArray TreePageName(const QByteArray &folder, const QByteArray &pageName, QByteArrayView suffix,
                        bool index)
{
    if (!pageName.isEmpty())
        return pageName;
    if (index)
        return "index" + suffix.toByteArray();
    // The root's own name is empty: it takes the name the save dialog proposes for it.
    QByteArray own = folder.mid(folder.lastIndexOf('/') + 1);
    if (own.isEmpty())
        own = ProposedFileName(u"/").toUtf8();
    // A name the file system would refuse with its suffix is cut, before a whole character.
    constexpr qsizetype kNameMax = 255;
    if (own.size() > kNameMax - suffix.size()) {
        qsizetype cut = kNameMax - suffix.size();
        while (cut > 0 && (uchar(own[cut]) & 0xc0) == 0x80)
            --cut;
        own.truncate(cut);
    }
    return own + suffix;
}

} // namespace dirweaver
