#pragma once

#include "text/encoding.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace dirweaver {

/// Receives a page's bytes in pieces, in order, as a format writes them: it stores them and
/// nothing more (the format chose the encoding and every escape).
class PageSink
{
public:
    virtual ~PageSink() = default;
    /// Takes the next bytes of the page.
    virtual void append(QByteArrayView bytes) = 0;
    /// The text that the bytes appended next were written from, for a sink that shows the
    /// page as text (the window's source box); formats written as text tell it.
    virtual void appendText(QStringView text) { Q_UNUSED(text); }
    /// done of count entries are written: a sink that keeps the page may make room for the
    /// rest at once, rather than growing (and copying) its bytes again and again.
    virtual void entriesWritten(qsizetype done, qsizetype count)
    {
        Q_UNUSED(done);
        Q_UNUSED(count);
    }
};

/// Collects a page's text, as a test or the fuzzer reads it.
class StringSink final : public PageSink
{
public:
    /// Appends to text, which the caller owns.
    explicit StringSink(QString &text) : text_(text) {}
    /// See PageSink: the bytes are the text's, already seen.
    void append(QByteArrayView) override {}
    /// See PageSink.
    void appendText(QStringView text) override { text_.append(text); }

private:
    QString &text_;
};

/// Collects a page's bytes.
class BytesSink final : public PageSink
{
public:
    /// Appends to bytes, which the caller owns.
    explicit BytesSink(QByteArray &bytes) : bytes_(bytes) {}
    /// See PageSink.
    void append(QByteArrayView bytes) override { bytes_.append(bytes); }

private:
    QByteArray &bytes_;
};

/// Writes a text format's pieces to a sink: shows each its text and stores its bytes in the
/// format's encoding, references for what that cannot hold.
class TextWriter
{
public:
    /// Into sink, in encoding.
    TextWriter(PageSink &sink, PageEncoding encoding) : sink_(sink), encoding_(encoding) {}
    /// Writes text.
    void write(QStringView text)
    {
        sink_.appendText(text);
        bytes_.truncate(0); // keeps the capacity for the next piece
        AppendPageBytes(bytes_, text, encoding_);
        sink_.append(bytes_);
    }

private:
    PageSink &sink_;
    const PageEncoding encoding_;
    QByteArray bytes_;
};

} // namespace dirweaver
