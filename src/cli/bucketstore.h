#pragma once

#include "selection/bucket.h"
#include "selection/s3client.h"

#include <QByteArray>
#include <QIODevice>
#include <QSet>
#include <QString>

#include <memory>
#include <variant>

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
/// and ~/.aws (home); pageNames as BucketSource takes them. A one-line message when the
/// address or the configuration is wrong.
std::variant<BucketStore, QString> OpenBucketStore(const QByteArray &address,
                                                   const QSet<QByteArray> &pageNames);

/// Says on err, a line each, the keys the source left out because no page can link them;
/// returns how many.
qsizetype ReportUnlinkable(const BucketSource &source, QIODevice &err);

/// The line that says an object store's dates are modified times, or nothing when --date
/// was given.
QString BucketDateNote(bool dateGiven);

} // namespace dirweaver
