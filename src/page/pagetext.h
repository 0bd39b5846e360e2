#pragma once

#include "sink.h"
#include "text/encoding.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace dirweaver {

/// Pages of this many characters or more are shown abridged.
inline constexpr qsizetype kWholePageLimit = 32000;
/// How many characters of each end an abridged page shows.
inline constexpr qsizetype kAbridgedPart = 14000;

/// What the source box shows of a page: the whole page below 32000 characters, otherwise
/// its first and last 14000 characters around five marker lines, which keeps the box fast.
QString AbridgedView(const QString &page);

/// A page as the window keeps it while it is built: its bytes in the page's encoding, which
/// saving writes, and only what the source box shows of its text, so that a page of a million
/// lines is held once and not a second time as UTF-16 text.
class PageText final : public PageSink
{
public:
    /// An empty page in encoding; its bytes kept unless keepBytes is false (then only what
    /// the source box shows is).
    explicit PageText(PageEncoding encoding = PageEncoding::Gbk, bool keepBytes = true)
        : encoding_(encoding), keepBytes_(keepBytes)
    {
    }
    /// See PageSink.
    void append(QByteArrayView bytes) override
    {
        if (keepBytes_)
            bytes_.append(bytes);
    }
    /// See PageSink.
    void appendText(QStringView text) override;
    /// See PageSink: room for the whole page, by the lines so far.
    void entriesWritten(qsizetype done, qsizetype count) override;

    /// The page's bytes.
    const QByteArray &bytes() const { return bytes_; }
    /// The encoding of the bytes.
    PageEncoding encoding() const { return encoding_; }
    /// What the source box shows: AbridgedView of the page's text.
    QString view() const;

private:
    PageEncoding encoding_;
    bool keepBytes_;
    QByteArray bytes_;
    QString head_; // the whole text while it is short, then its start
    QString tail_; // its latest characters, once it is long
};

} // namespace dirweaver
