#include "bucketstore.h"

#include "messages.h"

#include <QDir>

namespace dirweaver {

using namespace Qt::StringLiterals;

std::variant<BucketStore, QString> OpenBucketStore(const QByteArray &address,
                                                   const QSet<QByteArray> &pageNames)
{
    const std::optional<BucketAddress> place = ParseBucketAddress(address);
    if (!place) {
        return ProgramMessage(u"对象存储的地址应为 s3://桶/前缀 / an object store's address "
                              u"is s3://BUCKET/PREFIX: %1"_s.arg(Quoted(address)));
    }
    auto config = ReadS3Config([](const char *name) { return qgetenv(name); },
                               QFile::encodeName(QDir::homePath()));
    if (const QString *problem = std::get_if<QString>(&config))
        return ProgramMessage(*problem);
    BucketStore store;
    store.client = std::make_unique<S3Client>(std::get<S3Config>(std::move(config)));
    store.source = std::make_unique<BucketSource>(*store.client, place->bucket, pageNames);
    store.top = "s3://" + place->bucket;
    if (!place->prefix.isEmpty())
        store.top += '/' + place->prefix.chopped(1);
    return store;
}

qsizetype ReportUnlinkable(const BucketSource &source, QIODevice &err)
{
    const QList<QByteArray> keys = source.unlinkable();
    for (const QByteArray &key : keys) {
        PrintLine(err, ProgramMessage(u"跳过 %1：名字中有空的、“.” 或 “..” 的部分，网页无法链接 / "
                                      u"skipped, a part of the key is empty, \".\" or \"..\", "
                                      u"which no page can link"_s.arg(
                                          Quoted("s3://" + source.bucket() + '/' + key))));
    }
    return keys.size();
}

QString BucketDateNote(bool dateGiven)
{
    if (dateGiven)
        return {};
    return ProgramMessage(u"对象存储不记建立日期：注明修改日期 / an object store keeps no "
                          u"creation date: the modified date is shown"_s);
}

} // namespace dirweaver
