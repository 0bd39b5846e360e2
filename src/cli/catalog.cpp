#include "catalog.h"

#include "bucketstore.h"

#include "messages.h"
#include "tree.h"
#include "treewalk.h"

#include "output/pagefile.h"
#include "output/records.h"
#include "page/catalog.h"
#include "selection/titles.h"

#include <QBuffer>
#include <QDateTime>
#include <QElapsedTimer>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

QList<QByteArray> namesOf(const QByteArray &path)
{
    QList<QByteArray> names = path.split('/');
    names.removeAll(QByteArray());
    return names;
}

// The folder an output file is saved in.
QByteArray folderOf(const QByteArray &file)
{
    const qsizetype slash = file.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : file.left(slash);
}

// The heading's title: the one given, or the trees' own, one after the other.
QString catalogTitle(const WriterRequest &request, const QList<CatalogTree> &trees)
{
    if (request.page.headerTitle)
        return *request.page.headerTitle;
    QStringList titles;
    for (const CatalogTree &tree : trees)
        titles.append(DeriveTitles(tree.shown.text).header);
    return titles.join(u" + "_s);
}

} // namespace

qint64 MadeAt(const QByteArray &sourceDateEpoch)
{
    bool ok = false;
    const qint64 given = sourceDateEpoch.toLongLong(&ok);
    return ok && given >= 0 ? given : QDateTime::currentSecsSinceEpoch();
}

CatalogueResult MakeCatalogue(const CatalogueJob &job, const FileSystem &fs, const QLocale &locale)
{
    WriterRequest request;
    request.action = WriterRequest::Action::Catalog;
    request.output = job.file;
    request.folders = {job.folder};
    request.page = job.listing;
    // Its words and dates, as the window's pages have them.
    const QLocale pageLocale = DateLocale(job.language, locale);
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    CatalogueResult result;
    const int status =
        RunCatalog(request, fs, pageLocale, "/", out, err, 0,
                   {job.progress, job.stopped, [&result] { result.written = true; }});
    result.stopped = status == kCatalogStopped;
    // The summary is the command line's; the window says what was skipped.
    QStringList lines = QString::fromUtf8(err.data()).split(u'\n', Qt::SkipEmptyParts);
    if (result.written && !lines.isEmpty())
        lines.removeLast();
    result.messages = lines.join(u'\n');
    return result;
}

QString RelativeFolderTarget(const QByteArray &from, const QByteArray &to)
{
    const QList<QByteArray> a = namesOf(from), b = namesOf(to);
    qsizetype shared = 0;
    while (shared < a.size() && shared < b.size() && a[shared] == b[shared])
        ++shared;
    QString target;
    for (qsizetype i = shared; i < a.size(); ++i)
        target += u"../"_s;
    for (qsizetype i = shared; i < b.size(); ++i)
        target += PercentEncoded(b[i]) + u'/';
    return target.isEmpty() ? u"./"_s : target;
}

int RunCatalog(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
               const QByteArray &cwd, QIODevice &out, QIODevice &err, int terminalColumns,
               const CatalogWatch &watch)
{
    QElapsedTimer clock;
    clock.start();
    AllowManyFolders();
    TreeReporter reporter(err, terminalColumns);
    TreeWalk::Report report = reporter.report([&watch](const TreeCounts &counts) {
        if (watch.progress)
            watch.progress(counts.written, counts.files);
    });
    report.stopped = watch.stopped;
    // The walk of --tree, keeping each folder's record instead of writing a page into it;
    // "/" is no file's name, so no file is left out as the walk's own page.
    FolderPageRequest walk = request.page;
    walk.options.format = &CatalogRecordFormat();
    walk.options.encoding = PageEncoding::Utf8;
    walk.options.showSize = walk.options.showDate = true;
    walk.options.checksum = false;
    walk.folderLinks = FolderLinks::Pages;
    walk.pageName = "/";

    const QByteArray output =
        request.output == "-" ? QByteArray() : AbsoluteCleanPath(request.output, cwd);
    const QByteArray saveFolder = output.isEmpty() ? AbsoluteCleanPath({}, cwd) : folderOf(output);
    QString base = request.page.options.baseUrl;
    if (!base.isEmpty() && !base.endsWith(u'/'))
        base += u'/';

    const QList<QByteArray> folders =
        request.folders.isEmpty() ? QList<QByteArray>{QByteArray()} : request.folders;
    // An object store keeps no creation date: its trees are dated by modification.
    // The catalogue takes no --checksum: nothing to refuse here.
    if (std::any_of(folders.begin(), folders.end(), IsBucketAddress))
        SettleBucketRequest(walk, request.dateGiven, err);
    CatalogPage catalog;
    catalog.made = MadeAt(qgetenv("SOURCE_DATE_EPOCH"));
    catalog.date = walk.options.date;
    TreeCounts counts;
    for (const QByteArray &given : folders) {
        // A bucket's prefix is read through a source of its own, and linked where the store
        // serves it unless a base address says otherwise.
        std::optional<BucketStore> bucket;
        if (IsBucketAddress(given)) {
            bucket = OpenBucketStore(given, {}, err);
            if (!bucket)
                return 2;
        }
        const QByteArray top = bucket ? bucket->top : AbsoluteCleanPath(given, cwd);
        FolderRecords records(top);
        bool stopped = false;
        const auto walked = WalkTop(walk, top, bucket ? *bucket->source : fs, records, locale,
                                    report, err, &stopped);
        if (const int *status = std::get_if<int>(&walked))
            return *status;
        if (stopped)
            return kCatalogStopped;
        const TreeCounts &one = std::get<TreeCounts>(walked);
        counts.written += one.written;
        counts.files += one.files;
        counts.skipped += one.skipped;
        counts.notEntered += one.notEntered;
        CatalogTree tree;
        tree.shown = NativeName::fromBytes(given.isEmpty() ? QByteArray(".") : given);
        if (bucket) {
            counts.skipped += ReportUnlinkable(*bucket->source, err);
            tree.target = !base.isEmpty()
                              ? base
                              : QString::fromLatin1(bucket->client->objectUrl(
                                    bucket->source->bucket(), ParseBucketAddress(given)->prefix));
        } else {
            const QString relative = RelativeFolderTarget(saveFolder, top);
            tree.target =
                base.isEmpty() ? relative : base + (relative == u"./"_s ? QString() : relative);
        }
        tree.records = records.take();
        catalog.trees.append(std::move(tree));
    }
    catalog.title = catalogTitle(request, catalog.trees);
    reporter.clear();

    const FileTimeFormat dates(locale);
    CatalogTotals totals;
    const PageProducer produce = [&](PageSink &sink) {
        totals = WriteCatalog(std::move(catalog), dates, sink);
    };
    QString error;
    const bool written =
        output.isEmpty() ? WritePage(out, produce, &error) : SavePage(output, produce, &error);
    if (!written) {
        PrintLine(err, OutputErrorMessage(request.output, error));
        return 1;
    }
    if (watch.written)
        watch.written();
    QString extra;
    if (counts.notEntered > 0)
        extra += u"，%1 个文件夹未进入（别人的挂载或其他文件系统）/ %1 folders not entered "
                 u"(another user's mount or another file system)"_s.arg(counts.notEntered);
    PrintLine(err, ProgramMessage(
                       u"目录总览列出 %1 个文件夹、%2 个文件，跳过 %3 处，用时 %4 秒 / "
                       u"catalogue of %1 folders, %2 files, %3 skipped, %4 s"_s.arg(totals.folders)
                           .arg(totals.files)
                           .arg(counts.skipped)
                           .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 2) +
                       extra));
    return counts.skipped > 0 ? 1 : 0;
}

} // namespace dirweaver
