#pragma once

#include "page/builder.h"
#include "text/encoding.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringView>

#include <functional>

namespace dirweaver {

/// Encodes page text as it arrives and writes it to a device in large blocks, so a page of
/// any length is written without being held whole. Every write is checked.
class PageDeviceSink final : public PageSink
{
public:
    /// Writes to device, which must be open for writing, in encoding.
    PageDeviceSink(QIODevice &device, PageEncoding encoding) : device_(device), encoding_(encoding)
    {
    }
    /// See PageSink.
    void append(QStringView text) override;
    /// Takes bytes already in the sink's encoding.
    void appendBytes(QByteArrayView bytes);
    /// Writes the final CR LF and whatever is still buffered; false when any write failed.
    bool finish();
    /// Why a write failed; empty while none did.
    QString errorString() const { return error_; }

private:
    void flush();
    QIODevice &device_;
    const PageEncoding encoding_;
    QByteArray buffer_;
    QString error_;
};

/// Produces a page into a sink.
using PageProducer = std::function<void(PageDeviceSink &)>;

/// What a saved page file holds: the page in its encoding, then CR LF.
QByteArray PageFileBytes(QStringView page, PageEncoding encoding = PageEncoding::Gbk);

/// Writes the produced page to an open device as in PageFileBytes; false when a write failed,
/// with error (if given) saying why.
bool WritePage(QIODevice &device, const PageProducer &produce, PageEncoding encoding,
               QString *error = nullptr);

/// Whether a saved page reaches the disk before it is renamed into place, or the caller
/// syncs many pages at once afterwards.
enum class Durability { Synced, Deferred };

/// Writes the produced page to path (bytes, as the kernel takes them) as in PageFileBytes.
/// A regular file, or a path where none is yet, is replaced only once the new page is
/// complete, through a temporary file beside it (a symbolic link stays and its target is
/// replaced); anything else, a FIFO or a device, is written into as a shell redirection
/// would, and never replaced. On failure the old file is untouched and error says why.
bool SavePage(const QByteArray &path, const PageProducer &produce, PageEncoding encoding,
              QString *error = nullptr, Durability durability = Durability::Synced);

/// SavePage for a page already built and encoded.
bool SavePageBytes(const QByteArray &path, const QByteArray &page, QString *error = nullptr);

} // namespace dirweaver
