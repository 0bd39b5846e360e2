#pragma once

#include "page/folderpage.h"
#include "selection/bucket.h"
#include "selection/s3client.h"

#include <QByteArray>
#include <QIODevice>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

namespace dirweaver {

/// A bucket opened for a run from "s3://BUCKET/PREFIX" and the environment's configuration.
struct BucketStore
{
    /// The requests' client.
    std::unique_ptr<S3Client> client;
    /// The bucket read as a tree.
    std::unique_ptr<BucketSource> source;
    /// The address as the run names folders below it: "s3://BUCKET/PREFIX", no final '/'.
    QByteArray top;
};

/// Opens the bucket at address with the configuration S3 tools read from the environment
/// and ~/.aws; pageNames as BucketSource takes them. nullopt, said in a line on err, when the
/// address or the configuration is wrong.
std::optional<BucketStore> OpenBucketStore(const QByteArray &address,
                                           const QSet<QByteArray> &pageNames, QIODevice &err);

/// Makes page fit an object store: dated by modification unless --date was given (a line on
/// err says so where dates are shown); false, said on err, for --checksum, which would
/// download every object.
bool SettleBucketRequest(FolderPageRequest &page, bool dateGiven, QIODevice &err);

/// Says on err, a line each, the keys the source left out because no page can link them;
/// returns how many.
qsizetype ReportUnlinkable(const BucketSource &source, QIODevice &err);

} // namespace dirweaver
