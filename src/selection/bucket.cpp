#include "bucket.h"

#include <QDateTime>
#include <QXmlStreamReader>

#include <cerrno>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView kScheme = "s3://";
// Folders of a bucket are told apart by a number of their own (no device, no inode).
constexpr quint64 kBucketDevice = 0x5333;

// A key's part that a relative link cannot reach: a browser reads "." and ".." as steps,
// and "a//b" has no name between the slashes.
bool Unlinkable(QByteArrayView name)
{
    return name.isEmpty() || name == "." || name == "..";
}

std::optional<StoredObject> ReadContents(QXmlStreamReader &xml, bool urlEncoded)
{
    StoredObject object;
    bool sized = false;
    while (xml.readNextStartElement()) {
        const auto name = xml.name();
        const QString text = xml.readElementText();
        if (name == "Key"_L1) {
            object.key =
                urlEncoded ? QByteArray::fromPercentEncoding(text.toUtf8()) : text.toUtf8();
        } else if (name == "Size"_L1) {
            object.size = text.toLongLong(&sized);
        } else if (name == "ETag"_L1) {
            object.etag = text.toUtf8();
        } else if (name == "LastModified"_L1) {
            const QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
            if (when.isValid()) {
                const qint64 ms = when.toMSecsSinceEpoch();
                object.modified = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
                object.modifiedNanos = int(ms - *object.modified * 1000) * 1000000;
            }
        }
    }
    if (!sized || object.size < 0)
        return std::nullopt;
    return object;
}

} // namespace

// What one prefix holds, as its listing gave it: names below the prefix.
struct BucketSource::Prefix
{
    int error = 0;
    QList<StoredObject> files; // key holds the name below the prefix
    QHash<QByteArray, qsizetype> byName;
    QList<QByteArray> folders;
    // An object at the prefix itself ("photos/"): a folder made on purpose, even empty.
    bool marker = false;
    quint64 id = 0;
};

namespace {

class ListedFacts final : public FolderFacts
{
public:
    explicit ListedFacts(std::shared_ptr<const void> keep, const QList<StoredObject> &files,
                         const QHash<QByteArray, qsizetype> &byName)
        : keep_(std::move(keep)), files_(files), byName_(byName)
    {
    }
    std::optional<FileFacts> facts(const QByteArray &name) const override
    {
        const auto it = byName_.constFind(name);
        if (it == byName_.cend())
            return std::nullopt;
        const StoredObject &object = files_[*it];
        FileFacts facts(object.size, std::nullopt, object.modified);
        facts.modifiedNanos = object.modifiedNanos;
        return facts;
    }

private:
    std::shared_ptr<const void> keep_;
    const QList<StoredObject> &files_;
    const QHash<QByteArray, qsizetype> &byName_;
};

} // namespace

bool IsBucketAddress(QByteArrayView text)
{
    return text.startsWith(kScheme);
}

std::optional<BucketAddress> ParseBucketAddress(QByteArrayView text)
{
    if (!IsBucketAddress(text))
        return std::nullopt;
    const QByteArrayView rest = text.sliced(kScheme.size());
    const qsizetype slash = rest.indexOf('/');
    BucketAddress address;
    address.bucket = (slash < 0 ? rest : rest.first(slash)).toByteArray();
    if (address.bucket.isEmpty())
        return std::nullopt;
    if (slash >= 0)
        address.prefix = rest.sliced(slash + 1).toByteArray();
    if (!address.prefix.isEmpty() && !address.prefix.endsWith('/'))
        address.prefix += '/';
    return address;
}

std::optional<ObjectListingPage> ParseObjectListing(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || reader.name() != "ListBucketResult"_L1)
        return std::nullopt;
    ObjectListingPage page;
    bool urlEncoded = false;
    QList<QByteArray> prefixes;
    while (reader.readNextStartElement()) {
        const auto name = reader.name();
        if (name == "Contents"_L1) {
            std::optional<StoredObject> object = ReadContents(reader, false);
            if (!object)
                return std::nullopt;
            page.objects.append(std::move(*object));
        } else if (name == "CommonPrefixes"_L1) {
            while (reader.readNextStartElement()) {
                if (reader.name() == "Prefix"_L1)
                    prefixes.append(reader.readElementText().toUtf8());
                else
                    reader.skipCurrentElement();
            }
        } else if (name == "IsTruncated"_L1) {
            page.truncated = reader.readElementText() == "true"_L1;
        } else if (name == "NextContinuationToken"_L1) {
            page.nextToken = reader.readElementText().toUtf8();
        } else if (name == "EncodingType"_L1) {
            urlEncoded = reader.readElementText() == "url"_L1;
        } else {
            reader.skipCurrentElement();
        }
    }
    if (reader.hasError())
        return std::nullopt;
    // The encoding is told anywhere in the answer: the keys are decoded once it is known.
    for (QByteArray &prefix : prefixes)
        page.prefixes.append(urlEncoded ? QByteArray::fromPercentEncoding(prefix) : prefix);
    if (urlEncoded) {
        for (StoredObject &object : page.objects)
            object.key = QByteArray::fromPercentEncoding(object.key);
    }
    return page;
}

BucketSource::BucketSource(const S3Client &client, QByteArray bucket, QSet<QByteArray> pageNames)
    : client_(client), bucket_(std::move(bucket)), pageNames_(std::move(pageNames))
{
}

// The listing of prefix: read by the first to ask, waited for by any other meanwhile.
std::shared_ptr<const BucketSource::Prefix> BucketSource::listed(const QByteArray &prefix) const
{
    std::unique_lock lock(mutex_);
    if (const auto it = listings_.constFind(prefix); it != listings_.cend()) {
        const auto pending = *it;
        lock.unlock();
        return pending.get();
    }
    std::promise<std::shared_ptr<const Prefix>> promise;
    listings_.insert(prefix, promise.get_future().share());
    const quint64 id = quint64(listings_.size());
    lock.unlock();
    try {
        auto read = std::const_pointer_cast<Prefix>(this->read(prefix));
        read->id = id;
        promise.set_value(read);
        return read;
    } catch (...) {
        promise.set_exception(std::current_exception());
        throw;
    }
}

std::shared_ptr<const BucketSource::Prefix> BucketSource::read(const QByteArray &prefix) const
{
    auto listing = std::make_shared<Prefix>();
    QByteArray token;
    QList<QByteArray> unlinkable;
    do {
        S3Request request{"GET", bucket_, {}, {}, {}, {}};
        request.query = {
            {"delimiter", "/"}, {"encoding-type", "url"}, {"list-type", "2"}, {"prefix", prefix}};
        if (!token.isEmpty())
            request.query.append({"continuation-token", token});
        const S3Response response = client_.send(request);
        if (!response.ok()) {
            listing->error = response.errnoValue;
            return listing;
        }
        std::optional<ObjectListingPage> page = ParseObjectListing(response.body);
        if (!page) {
            listing->error = EBADMSG;
            return listing;
        }
        for (StoredObject &object : page->objects) {
            if (!object.key.startsWith(prefix))
                continue;
            object.key.remove(0, prefix.size());
            // Not directly under the prefix: no store that keeps to the delimiter says so.
            if (object.key.contains('/'))
                continue;
            if (object.key.isEmpty()) {
                listing->marker = true;
            } else if (Unlinkable(object.key)) {
                unlinkable.append(prefix + object.key);
            } else {
                listing->byName.insert(object.key, listing->files.size());
                listing->files.append(std::move(object));
            }
        }
        for (const QByteArray &sub : std::as_const(page->prefixes)) {
            if (!sub.startsWith(prefix) || !sub.endsWith('/'))
                continue;
            const QByteArray name = sub.mid(prefix.size(), sub.size() - prefix.size() - 1);
            if (name.contains('/'))
                continue;
            if (Unlinkable(name))
                unlinkable.append(sub);
            else
                listing->folders.append(name);
        }
        // A store that says there is more, but not from where, or from where it was, would
        // be asked for ever.
        if (page->truncated && (page->nextToken.isEmpty() || page->nextToken == token)) {
            listing->error = EBADMSG;
            return listing;
        }
        token = page->truncated ? page->nextToken : QByteArray();
    } while (!token.isEmpty());
    if (!unlinkable.isEmpty()) {
        const std::lock_guard lock(mutex_);
        unlinkable_.append(unlinkable);
    }
    return listing;
}

FolderEntries BucketSource::entries(const FolderRef &folder) const
{
    const std::shared_ptr<const Prefix> listing = listed(folder.key);
    FolderEntries entries;
    entries.files.error = entries.folders.error = listing->error;
    entries.folders.identity = {kBucketDevice, listing->id};
    entries.files.identity = entries.folders.identity;
    if (listing->error != 0)
        return entries;
    entries.files.names.reserve(listing->files.size());
    for (const StoredObject &object : listing->files)
        entries.files.names.append(object.key);
    entries.folders.names = listing->folders;
    return entries;
}

FolderListing BucketSource::regularFiles(const FolderRef &folder) const
{
    return entries(folder).files;
}

FolderListing BucketSource::subFolders(const FolderRef &folder) const
{
    return entries(folder).folders;
}

std::unique_ptr<FolderFacts> BucketSource::openFacts(const FolderRef &folder) const
{
    const std::shared_ptr<const Prefix> listing = listed(folder.key);
    return std::make_unique<ListedFacts>(listing, listing->files, listing->byName);
}

OpenFolder BucketSource::openTop(const QByteArray &path) const
{
    OpenFolder top(path);
    const std::optional<BucketAddress> address = ParseBucketAddress(path);
    if (!address || address->bucket != bucket_) {
        top.error = EINVAL;
        return top;
    }
    top.folder.key = address->prefix;
    top.realPath = path;
    const std::shared_ptr<const Prefix> listing = listed(address->prefix);
    top.error = listing->error;
    // A prefix no key starts with is a mistyped one, not an empty folder.
    if (top.error == 0 && !address->prefix.isEmpty() && listing->files.isEmpty() &&
        listing->folders.isEmpty() && !listing->marker)
        top.error = ENOENT;
    return top;
}

OpenFolder BucketSource::openSub(const FolderRef &parent, const QByteArray &name,
                                 const WalkRules &) const
{
    OpenFolder sub(JoinPath(parent.path, name));
    sub.folder.key = parent.key + name + '/';
    sub.onlyPages = onlyPages(sub.folder.key);
    return sub;
}

// True when the prefix holds the run's pages and nothing else, below it too.
bool BucketSource::onlyPages(const QByteArray &prefix) const
{
    const std::shared_ptr<const Prefix> listing = listed(prefix);
    if (listing->error != 0 || listing->marker)
        return false;
    for (const StoredObject &object : listing->files) {
        if (!pageNames_.contains(object.key))
            return false;
    }
    for (const QByteArray &sub : listing->folders) {
        if (!onlyPages(prefix + sub + '/'))
            return false;
    }
    return true;
}

bool BucketSource::holds(const FolderRef &folder, const QByteArray &name) const
{
    const std::shared_ptr<const Prefix> listing = listed(folder.key);
    return listing->byName.contains(name) || listing->folders.contains(name);
}

QByteArray BucketSource::listedTag(const QByteArray &key) const
{
    const qsizetype slash = key.lastIndexOf('/');
    const QByteArray prefix = key.left(slash + 1);
    std::shared_future<std::shared_ptr<const Prefix>> pending;
    {
        const std::lock_guard lock(mutex_);
        const auto it = listings_.constFind(prefix);
        if (it == listings_.cend())
            return {};
        pending = *it;
    }
    const std::shared_ptr<const Prefix> listing = pending.get();
    const auto at = listing->byName.constFind(key.mid(slash + 1));
    return at == listing->byName.cend() ? QByteArray() : listing->files[*at].etag;
}

QList<QByteArray> BucketSource::unlinkable() const
{
    const std::lock_guard lock(mutex_);
    return unlinkable_;
}

} // namespace dirweaver
