#pragma once

#include <QByteArray>
#include <QStringView>

namespace dirweaver {

/// The encoding a page is written in.
enum class PageEncoding { Gbk, Utf8 };

/// True when a page in encoding writes the code point c as itself, rather than as a
/// character reference in text or percent-encoded in a link target.
bool PageHolds(PageEncoding encoding, char32_t c);

/// Appends the bytes of text in encoding: GBK with "&#N;" for what it cannot hold, or UTF-8.
void AppendPageBytes(QByteArray &out, QStringView text, PageEncoding encoding);

} // namespace dirweaver
