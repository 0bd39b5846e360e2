#include "bucketpages.h"

#include <QCryptographicHash>

namespace dirweaver {

BucketPages::BucketPages(const BucketSource &source, QByteArray contentType, QByteArray format)
    : source_(source), contentType_(std::move(contentType)), format_(std::move(format))
{
}

QByteArray PageContentType(QByteArrayView mediaType, bool utf8)
{
    return mediaType.toByteArray() + "; charset=" + (utf8 ? "utf-8" : "GBK");
}

// Whether an object stands at key, and whose it is, by its metadata.
BucketPages::Found BucketPages::look(const QByteArray &key, QString *error) const
{
    const S3Response head = source_.client().send({"HEAD", source_.bucket(), key, {}, {}, {}});
    if (head.status == 404)
        return Found::None;
    if (!head.ok()) {
        *error = head.error;
        return Found::Failed;
    }
    return head.headers.contains("x-amz-meta-" + kBucketPageMeta.toByteArray()) ? Found::Ours
                                                                                : Found::Foreign;
}

TreePageSave BucketPages::store(const FolderRef &folder, const QByteArray &name,
                                const PageProducer &produce, QByteArrayView, bool force,
                                QString *error)
{
    const QByteArray key = folder.key + name;
    QByteArray page;
    BytesSink sink(page);
    produce(sink);
    const QByteArray md5 = QCryptographicHash::hash(page, QCryptographicHash::Md5);
    // A page put whole has its MD5 as its ETag: the same bytes are there already.
    const QByteArray listed = source_.listedTag(key);
    if (!listed.isEmpty() && listed == '"' + md5.toHex() + '"')
        return TreePageSave::Unchanged;
    if (!listed.isEmpty()) {
        switch (look(key, error)) {
        case Found::Foreign:
            if (!force)
                return TreePageSave::NotOurs;
            break;
        case Found::Failed:
            return TreePageSave::Kept;
        case Found::None:
        case Found::Ours:
            break;
        }
    }
    S3Request put{"PUT", source_.bucket(), key, {}, {}, page};
    put.headers = {"Content-Type: " + contentType_, "Content-MD5: " + md5.toBase64(),
                   "x-amz-meta-" + kBucketPageMeta.toByteArray() + ": " + format_};
    const S3Response response = source_.client().send(put);
    if (response.ok())
        return TreePageSave::Written;
    *error = response.error;
    return listed.isEmpty() ? TreePageSave::Failed : TreePageSave::Kept;
}

TreePageRemoval BucketPages::remove(const FolderRef &folder, const QByteArray &name, QByteArrayView,
                                    QString *error)
{
    const QByteArray key = folder.key + name;
    // The folder was listed before its pages are taken down: nothing was there.
    if (source_.listedTag(key).isEmpty())
        return TreePageRemoval::NoneOurs;
    switch (look(key, error)) {
    case Found::None:
    case Found::Foreign:
        return TreePageRemoval::NoneOurs;
    case Found::Failed:
        return TreePageRemoval::Failed;
    case Found::Ours:
        break;
    }
    const S3Response response =
        source_.client().send({"DELETE", source_.bucket(), key, {}, {}, {}});
    if (response.ok() || response.status == 404)
        return TreePageRemoval::Removed;
    *error = response.error;
    return TreePageRemoval::Failed;
}

} // namespace dirweaver
