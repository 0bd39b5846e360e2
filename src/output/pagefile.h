#pragma once

#include "page/builder.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringView>

#include <functional>

namespace dirweaver {

/// Encodes page text to GBK as it arrives and writes it to a device in large blocks, so a
/// page of any length is written without being held whole.
class GbkDeviceSink final : public PageSink
{
public:
    /// Writes to device, which must be open for writing.
    explicit GbkDeviceSink(QIODevice &device) : device_(device) {}
    /// See PageSink.
    void append(QStringView text) override;
    /// Writes the final CR LF and whatever is still buffered; false when any write failed.
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

/// What a saved page file holds: the page in GBK, then CR LF.
QByteArray PageFileBytes(QStringView page);

/// Writes the produced page to an open device as in PageFileBytes; false when a write failed,
/// with error (if given) saying why.
bool WritePage(QIODevice &device, const PageProducer &produce, QString *error = nullptr);

/// Writes the produced page to fileName as in PageFileBytes, through a temporary file that
/// replaces the old one only once complete; on failure the old file is untouched and error
/// (if given) says why.
bool SavePage(const QString &fileName, const PageProducer &produce, QString *error = nullptr);

/// SavePage for a page already built.
bool SavePageFile(const QString &fileName, QStringView page, QString *error = nullptr);

} // namespace dirweaver
