#pragma once

#include "filesystem.h"
#include "s3client.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSet>

#include <future>
#include <memory>
#include <mutex>
#include <optional>

namespace dirweaver {

/// A place in an object store, as "s3://BUCKET/PREFIX" names it.
struct BucketAddress
{
    /// The bucket's name.
    QByteArray bucket;
    /// The keys' common start: empty, or ending in '/'.
    QByteArray prefix;
};

/// True when text names an object store's place rather than a folder.
bool IsBucketAddress(QByteArrayView text);

/// The bucket and prefix of "s3://BUCKET[/PREFIX]"; nullopt for anything else.
std::optional<BucketAddress> ParseBucketAddress(QByteArrayView text);

/// One object as a listing gives it.
struct StoredObject
{
    /// Its key (raw bytes).
    QByteArray key;
    /// Size in bytes.
    qint64 size = 0;
    /// Last modified, in seconds since 1970 UTC, and the nanoseconds after it; nullopt
    /// when the listing's date cannot be read.
    std::optional<qint64> modified;
    int modifiedNanos = 0;
    /// Its ETag as the store gives it, quotes included.
    QByteArray etag;
};

/// One answer of ListObjectsV2.
struct ObjectListingPage
{
    /// The objects directly under the prefix.
    QList<StoredObject> objects;
    /// The common prefixes (the sub-folders), whole, each ending in the delimiter.
    QList<QByteArray> prefixes;
    /// More answers follow from nextToken.
    bool truncated = false;
    QByteArray nextToken;
};

/// Reads a ListObjectsV2 answer; keys and prefixes URL-encoded by the store are decoded.
/// nullopt when it is not such an answer.
std::optional<ObjectListingPage> ParseObjectListing(const QByteArray &xml);

/// A bucket's keys below a prefix read as a tree of folders ('/' the delimiter): a folder's
/// listing is a ListObjectsV2 with its prefix, 1,000 keys an answer, read once and kept for
/// the run, so that facts, ".noindex" and the pages' tags cost no other request. The walk's
/// pool asks for many prefixes at once. Facts are sizes and last-modified times; no object
/// store keeps a creation time.
class BucketSource final : public FileSystem
{
public:
    /// The bucket read through client (which must outlive it); pageNames are the names of
    /// the pages a tree run writes, so that a folder holding nothing else counts as gone.
    BucketSource(const S3Client &client, QByteArray bucket, QSet<QByteArray> pageNames = {});

    /// See FileSystem.
    FolderListing regularFiles(const FolderRef &folder) const override;
    /// See FileSystem.
    FolderListing subFolders(const FolderRef &folder) const override;
    /// See FileSystem: one listing of the folder's prefix.
    FolderEntries entries(const FolderRef &folder) const override;
    /// Facts from the folder's listing.
    std::unique_ptr<FolderFacts> openFacts(const FolderRef &folder) const override;
    /// Opens "s3://BUCKET/PREFIX": ENOENT where no key starts with the prefix.
    OpenFolder openTop(const QByteArray &path) const override;
    /// The sub-folder's prefix; onlyPages where it holds nothing but the run's pages.
    OpenFolder openSub(const FolderRef &parent, const QByteArray &name,
                       const WalkRules &rules) const override;
    /// See FileSystem.
    bool holds(const FolderRef &folder, const QByteArray &name) const override;
    /// Each listing is an HTTP request.
    bool roundTrips() const override { return true; }

    /// The ETag the listing of its prefix gave the object at key; empty when it listed none.
    QByteArray listedTag(const QByteArray &key) const;
    /// Keys (or prefixes) that no page can link, having an empty, "." or ".." part: left out.
    QList<QByteArray> unlinkable() const;
    /// The bucket read.
    const QByteArray &bucket() const { return bucket_; }
    /// The client it reads through.
    const S3Client &client() const { return client_; }

private:
    struct Prefix;
    std::shared_ptr<const Prefix> listed(const QByteArray &prefix) const;
    std::shared_ptr<const Prefix> read(const QByteArray &prefix) const;
    bool onlyPages(const QByteArray &prefix) const;

    const S3Client &client_;
    const QByteArray bucket_;
    const QSet<QByteArray> pageNames_;
    mutable std::mutex mutex_;
    mutable QHash<QByteArray, std::shared_future<std::shared_ptr<const Prefix>>> listings_;
    mutable QList<QByteArray> unlinkable_;
};

} // namespace dirweaver
