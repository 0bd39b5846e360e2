#pragma once

#include "builder.h"
#include "text/encoding.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace dirweaver {

/// A page as the window keeps it while it is built: its bytes in the page's encoding, which
/// saving writes, and only what the source box shows of its text, so that a page of a million
/// lines is held once and not a second time as UTF-16 text.
class PageText final : public PageSink
{
public:
    /// An empty page in encoding.
    explicit PageText(PageEncoding encoding = PageEncoding::Gbk) : encoding_(encoding) {}
    /// See PageSink.
    void append(QStringView text) override;

    /// The page's bytes.
    const QByteArray &bytes() const { return bytes_; }
    /// The encoding of the bytes.
    PageEncoding encoding() const { return encoding_; }
    /// What the source box shows: AbridgedView of the page's text.
    QString view() const;

private:
    PageEncoding encoding_;
    QByteArray bytes_;
    QString head_; // the whole text while it is short, then its start
    QString tail_; // its latest characters, once it is long
};

} // namespace dirweaver
