#include "pagefile.h"

#include "text/gbk.h"

#include <QSaveFile>

#include <cerrno>

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
    if (error_.isEmpty() && !buffer_.isEmpty()) {
        errno = 0;
        if (device_.write(buffer_) != buffer_.size()) {
            // A short write leaves the reason in errno (a full disk, a size limit).
            error_ = errno != 0 ? qt_error_string(errno) : device_.errorString();
        }
    }
    buffer_.truncate(0); // keeps the capacity for the next block
}

bool GbkDeviceSink::finish()
{
    buffer_.append("\r\n");
    flush();
    return error_.isEmpty();
}

QByteArray PageFileBytes(QStringView page)
{
    QByteArray bytes = ToGbk(page);
    bytes.append("\r\n");
    return bytes;
}

bool WritePage(QIODevice &device, const PageProducer &produce, QString *error)
{
    GbkDeviceSink sink(device);
    produce(sink);
    if (sink.finish())
        return true;
    if (error)
        *error = sink.errorString();
    return false;
}

bool SavePage(const QString &fileName, const PageProducer &produce, QString *error)
{
    QSaveFile file(fileName);
    // Unbuffered: a buffered QSaveFile can commit a file whose last block was cut short
    // (a full disk, a size limit) without noticing; the sink checks every block instead.
    QString writeError;
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
        WritePage(file, produce, &writeError) && file.commit())
        return true;
    if (error)
        *error = writeError.isEmpty() ? file.errorString() : writeError;
    file.cancelWriting();
    return false;
}

bool SavePageFile(const QString &fileName, QStringView page, QString *error)
{
    return SavePage(
        fileName, [page](PageSink &sink) { sink.append(page); }, error);
}

} // namespace dirweaver
