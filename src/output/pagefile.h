#pragma once

#include "page/sink.h"
#include "text/encoding.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringView>

#include <functional>

namespace dirweaver {

/// Writes a page's bytes to a device in large blocks as they arrive, so a page of any length
/// is written without being held whole. Every write is checked.
class PageDeviceSink final : public PageSink
{
public:
    /// Writes to device, which must be open for writing.
    explicit PageDeviceSink(QIODevice &device) : device_(device) {}
    /// See PageSink.
    void append(QByteArrayView bytes) override;
    /// Writes whatever is still buffered; false when any write failed.
    bool finish();
    /// Why a write failed; empty while none did.
    QString errorString() const { return error_; }

private:
    void flush();
    QIODevice &device_;
    QByteArray buffer_;
    QString error_;
};

/// Produces a page into a sink.
using PageProducer = std::function<void(PageSink &)>;

/// What a saved file of an HTML page holds: the page's text in encoding, then CR LF.
QByteArray PageFileBytes(QStringView page, PageEncoding encoding = PageEncoding::Gbk);

/// Writes the produced page to an open device; false when a write failed, with error (if
/// given) saying why.
bool WritePage(QIODevice &device, const PageProducer &produce, QString *error = nullptr);

/// Writes the produced page to path (bytes, as the kernel takes them) as "> path" would
/// reach it: opened through the kernel, links followed by it and with its
/// protections, so that a save "> path" would be refused is refused for the same reason. A
/// FIFO or a device receives the page as it is. A regular file with content is replaced
/// only once the new page is complete, by a new file beside it that keeps its owner, group,
/// mode, ACLs and extended attributes; one with several links, or in a folder where no
/// file can be made, is written in place after the complete page, as ">" would. On failure
/// error says why and the old content stays where it can.
bool SavePage(const QByteArray &path, const PageProducer &produce, QString *error = nullptr);

/// SavePage for a page already built: the bytes of the whole file.
bool SavePageBytes(const QByteArray &path, const QByteArray &page, QString *error = nullptr);

} // namespace dirweaver
