#pragma once

#include "treepage.h"

#include "selection/bucket.h"

#include <QByteArray>
#include <QByteArrayView>

namespace dirweaver {

/// The metadata by which an object store's page is known as the program's own
/// ("x-amz-meta-" and this name, set to the format's name).
inline constexpr QByteArrayView kBucketPageMeta = "dirweaver-page";

/// A tree's pages as objects of the bucket the walk reads, each at its folder's prefix: a
/// page whose bytes the listed ETag already stands for is not sent again; an object at a
/// page's key is replaced, or taken down, only when its metadata marks it as a page (or
/// with force). Each page is one PUT of the whole object, so a reader never sees half of it.
class BucketPages final : public TreeTarget
{
public:
    /// Pages into source's bucket, through its client; contentType is the pages' Content-Type
    /// ("text/html; charset=GBK"), format the name their metadata carries.
    BucketPages(const BucketSource &source, QByteArray contentType, QByteArray format);

    /// See TreeTarget; mark is the pages' own (the metadata marks them here).
    TreePageSave store(const FolderRef &folder, const QByteArray &name, const PageProducer &produce,
                       QByteArrayView mark, bool force, QString *error) override;
    /// See TreeTarget.
    TreePageRemoval remove(const FolderRef &folder, const QByteArray &name, QByteArrayView mark,
                           QString *error) override;
    /// A PUT leaves nothing half-made behind.
    void clearLeftovers(const FolderRef &, const QList<QByteArray> &) override {}
    /// What a PUT stored is lasting once it is answered.
    void settle(const QByteArray &) override {}

private:
    enum class Found { None, Ours, Foreign, Failed };
    Found look(const QByteArray &key, QString *error) const;

    const BucketSource &source_;
    const QByteArray contentType_, format_;
};

/// The Content-Type of a page of format in encoding.
QByteArray PageContentType(QByteArrayView mediaType, bool utf8);

} // namespace dirweaver
