#include "pagefile.h"

#include "page/gbk.h"

#include <QSaveFile>

namespace dirweaver {

namespace {
constexpr qsizetype kBlock = 1 << 20;
} // namespace

void GbkDeviceSink::append(QStringView text)
{
    AppendGbk(buffer_, text);
    if (buffer_.size() >= kBlock)
        flush();
}

void GbkDeviceSink::flush()
{
    if (ok_ && !buffer_.isEmpty())
        ok_ = device_.write(buffer_) == buffer_.size();
    buffer_.truncate(0); // keeps the capacity for the next block
}

bool GbkDeviceSink::finish()
{
    buffer_.append("\r\n");
    flush();
    return ok_;
}

QByteArray PageFileBytes(QStringView page)
{
    QByteArray bytes = ToGbk(page);
    bytes.append("\r\n");
    return bytes;
}

bool WritePage(QIODevice &device, const PageProducer &produce)
{
    GbkDeviceSink sink(device);
    produce(sink);
    return sink.finish();
}

bool SavePage(const QString &fileName, const PageProducer &produce, QString *error)
{
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly) && WritePage(file, produce) && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    file.cancelWriting();
    return false;
}

bool SavePageFile(const QString &fileName, QStringView page, QString *error)
{
    return SavePage(
        fileName, [page](PageSink &sink) { sink.append(page); }, error);
}

} // namespace dirweaver
