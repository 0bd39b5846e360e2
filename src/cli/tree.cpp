#include "tree.h"

#include "messages.h"

#include "bucketstore.h"
#include "treewalk.h"

#include "output/bucketpages.h"
#include "page/format.h"

#include <QElapsedTimer>
#include <QSet>

#include <sys/resource.h>

namespace dirweaver {

using namespace Qt::StringLiterals;

// A deep tree holds a folder open per level: as many as the system lets this process have.
void AllowManyFolders()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

TreeReporter::TreeReporter(QIODevice &err, int terminalColumns)
    : err_(err), progress_(err, terminalColumns)
{
}

TreeWalk::Report TreeReporter::report(std::function<void(const TreeCounts &)> also)
{
    TreeWalk::Report report;
    report.skipped = [this](const QString &message) {
        progress_.clear();
        PrintLine(err_, message);
    };
    report.progress = [this, also](const TreeCounts &counts,
                                   const std::function<QByteArray()> &folder) {
        if (also)
            also(counts);
        if (progress_.due())
            progress_.show(u"%1 个文件夹，%2 个文件 / %1 folders, %2 files: "_s
                               .arg(counts.written + counts.unchanged)
                               .arg(counts.files) +
                           TerminalText(folder()));
    };
    return report;
}

std::variant<TreeCounts, int> WalkTop(const FolderPageRequest &request, const QByteArray &top,
                                      const FileSystem &fs, TreeTarget &target,
                                      const QLocale &locale, const TreeWalk::Report &report,
                                      QIODevice &err, bool *stopped)
{
    OpenFolder folder = fs.openTop(top);
    if (!folder.foreignLink.isEmpty()) {
        PrintLine(err, ForeignLinkMessage(top, folder.foreignLink, folder.linkOwner));
        return 1;
    }
    if (folder.error != 0) {
        PrintLine(err, FolderErrorMessage(top, folder.error));
        return 2;
    }
    TreeWalk walk(request, fs, target, locale, report);
    if (!walk.run(top, std::move(folder))) {
        PrintLine(err, FolderErrorMessage(top, walk.topError()));
        return 2;
    }
    if (stopped)
        *stopped = walk.stopped();
    return walk.counts();
}

namespace {

// A walk for each style, each leaving the others' pages out of its listings.
QList<FolderPageRequest> StyleWalks(const WriterRequest &request)
{
    QList<const PageFormat *> styles = request.styles;
    if (styles.isEmpty())
        styles.append(request.page.options.format);
    // Sums come with a SHA256SUMS file in every folder, written last: the sums are kept by
    // then, and read back rather than made again.
    if (request.page.options.checksum)
        styles.append(&Sha256SumsFormat());
    QList<FolderPageRequest> walks;
    for (const PageFormat *style : std::as_const(styles)) {
        FolderPageRequest page = request.page;
        page.options.format = style;
        if (!request.encodingGiven || style->data)
            page.options.encoding = style->encoding;
        page.pageName = style == &Sha256SumsFormat()
                            ? QByteArray("SHA256SUMS")
                            : StylePageName(request.page.pageName, *style, styles.size() > 1);
        walks.append(page);
    }
    for (FolderPageRequest &page : walks) {
        for (const FolderPageRequest &other : std::as_const(walks)) {
            if (&other != &page)
                page.siblingPages.append({other.pageName, other.options.format});
        }
    }
    return walks;
}

using TargetFor = std::function<std::unique_ptr<TreeTarget>(const FolderPageRequest &walk)>;

// Walks top once a style, each into its own target; the exit status when the top could not
// be read.
std::variant<TreeCounts, int> WalkStyles(const QList<FolderPageRequest> &walks,
                                         const QByteArray &top, const FileSystem &fs,
                                         const TargetFor &targetFor, const QLocale &locale,
                                         const TreeWalk::Report &report, QIODevice &err)
{
    TreeCounts counts;
    for (const FolderPageRequest &page : walks) {
        // Each walk opens the top itself, judged anew.
        const std::unique_ptr<TreeTarget> target = targetFor(page);
        const auto walked = WalkTop(page, top, fs, *target, locale, report, err);
        if (const int *status = std::get_if<int>(&walked))
            return *status;
        const TreeCounts &one = std::get<TreeCounts>(walked);
        if (one.written + one.removed > 0)
            target->settle(top);
        counts.written += one.written;
        counts.unchanged += one.unchanged;
        counts.removed += one.removed;
        counts.skipped += one.skipped;
        counts.notEntered = std::max(counts.notEntered, one.notEntered);
        counts.files = std::max(counts.files, one.files);
    }
    return counts;
}

// The pages of a bucket's prefixes, as objects beside the others.
std::variant<TreeCounts, int> WalkBucket(WriterRequest request, const QLocale &locale,
                                         const TreeWalk::Report &report, QIODevice &err)
{
    if (!SettleBucketRequest(request.page, request.dateGiven, err))
        return 2;
    // No gateway's index rule is needed: every page links its sub-folders' by their key.
    const bool oneDataStyle = request.styles.size() <= 1 && request.page.options.format->data;
    if (request.page.pageName.isEmpty() && !oneDataStyle)
        request.page.pageName = "index.html";
    const QList<FolderPageRequest> walks = StyleWalks(request);
    QSet<QByteArray> pageNames;
    for (const FolderPageRequest &walk : walks) {
        pageNames.insert(TreePageName({}, walk.pageName, walk.options.format->suffix,
                                      walk.options.format->data));
    }
    const std::optional<BucketStore> opened = OpenBucketStore(request.folder, pageNames, err);
    if (!opened)
        return 2;
    const BucketStore &store = *opened;
    const TargetFor targetFor = [&store](const FolderPageRequest &walk) {
        const PageFormat &format = *walk.options.format;
        return std::make_unique<BucketPages>(
            *store.source,
            PageContentType(format.mediaType, walk.options.encoding == PageEncoding::Utf8),
            format.name.toByteArray());
    };
    auto walked = WalkStyles(walks, store.top, *store.source, targetFor, locale, report, err);
    if (TreeCounts *counts = std::get_if<TreeCounts>(&walked)) {
        counts->skipped += ReportUnlinkable(*store.source, err);
        const S3Client &client = *store.client;
        counts->requests = {client.sent("GET"), client.sent("PUT"), client.sent("HEAD"),
                            client.sent("DELETE")};
    }
    return walked;
}

} // namespace

int RunTree(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
            const QByteArray &cwd, QIODevice &err, int terminalColumns)
{
    QElapsedTimer clock;
    clock.start();
    TreeReporter reporter(err, terminalColumns);
    const TreeWalk::Report report = reporter.report();
    std::variant<TreeCounts, int> walked;
    if (IsBucketAddress(request.folder)) {
        walked = WalkBucket(request, locale, report, err);
    } else {
        AllowManyFolders();
        walked = WalkStyles(
            StyleWalks(request), AbsoluteCleanPath(request.folder, cwd), fs,
            [](const FolderPageRequest &) { return std::make_unique<FolderPages>(); }, locale,
            report, err);
    }
    if (const int *status = std::get_if<int>(&walked))
        return *status;
    const TreeCounts &counts = std::get<TreeCounts>(walked);
    reporter.clear();
    QString extra;
    if (counts.removed > 0)
        extra += u"，撤下 %1 页 / %1 removed"_s.arg(counts.removed);
    if (const auto &[lists, puts, looks, deletes] = counts.requests; lists > 0) {
        extra += u"，请求：列出 %1、上传 %2、查看 %3、删除 %4 / requests: %1 listings, %2 "
                 u"uploads, %3 looks, %4 deletions"_s.arg(lists)
                     .arg(puts)
                     .arg(looks)
                     .arg(deletes);
    }
    if (counts.notEntered > 0)
        extra += u"，%1 个文件夹未进入（别人的挂载或其他文件系统）/ %1 folders not entered "
                 u"(another user's mount or another file system)"_s.arg(counts.notEntered);
    PrintLine(err,
              ProgramMessage(u"写出 %1 页，%2 页未变，列出 %3 个文件，跳过 %4 处，用时 %5 秒 / "
                             u"%1 pages written, %2 unchanged, %3 files listed, %4 skipped, "
                             u"%5 s"_s.arg(counts.written)
                                 .arg(counts.unchanged)
                                 .arg(counts.files)
                                 .arg(counts.skipped)
                                 .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 2) +
                             extra));
    return counts.skipped > 0 ? 1 : 0;
}

} // namespace dirweaver
