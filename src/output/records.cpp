#include "records.h"

namespace dirweaver {

TreePageSave FolderRecords::store(const FolderRef &folder, const QByteArray &,
                                  const PageProducer &produce, QByteArrayView, bool, QString *)
{
    QByteArray page;
    BytesSink sink(page);
    produce(sink);
    // Kept until the whole tree is walked: no room to spare in each of many thousands.
    page.squeeze();
    // The walk names a folder by the top's path and the names below it.
    QByteArray below;
    if (folder.path.size() > top_.size()) {
        const qsizetype from = top_.endsWith('/') ? top_.size() : top_.size() + 1;
        below = folder.path.mid(from);
    }
    const std::lock_guard lock(mutex_);
    pages_.insert(below, std::move(page));
    return TreePageSave::Written;
}

QHash<QByteArray, QByteArray> FolderRecords::take()
{
    const std::lock_guard lock(mutex_);
    return std::exchange(pages_, {});
}

} // namespace dirweaver
