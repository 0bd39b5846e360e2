#include "bucketstore.h"

#include "messages.h"

#include <QDir>

namespace dirweaver {

using namespace Qt::StringLiterals;

std::optional<BucketStore> OpenBucketStore(const QByteArray &address,
                                           const QSet<QByteArray> &pageNames, QIODevice &err)
{
    const std::optional<BucketAddress> place = ParseBucketAddress(address);
    if (!place) {
        PrintLine(err, ProgramMessage(u"对象存储的地址应为 s3://桶/前缀 / an object store's "
                                      u"address is s3://BUCKET/PREFIX: %1"_s.arg(Quoted(address))));
        return std::nullopt;
    }
    auto config = ReadS3Config([](const char *name) { return qgetenv(name); },
                               QFile::encodeName(QDir::homePath()));
    if (const QString *problem = std::get_if<QString>(&config)) {
        PrintLine(err, ProgramMessage(*problem));
        return std::nullopt;
    }
    BucketStore store;
    store.client = std::make_unique<S3Client>(std::get<S3Config>(std::move(config)));
    store.source = std::make_unique<BucketSource>(*store.client, place->bucket, pageNames);
    store.top = "s3://" + place->bucket;
    if (!place->prefix.isEmpty())
        store.top += '/' + place->prefix.chopped(1);
    return store;
}

bool SettleBucketRequest(FolderPageRequest &page, bool dateGiven, QIODevice &err)
{
    if (page.options.checksum) {
        PrintLine(err, ProgramMessage(u"--checksum 不读对象存储的内容 / --checksum does not "
                                      u"read an object store's content"_s));
        return false;
    }
    if (dateGiven)
        return true;
    page.options.date = FileDate::Modified;
    if (page.options.showDate) {
        PrintLine(err, ProgramMessage(u"对象存储不记建立日期：注明修改日期 / an object store "
                                      u"keeps no creation date: the modified date is shown"_s));
    }
    return true;
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

} // namespace dirweaver
