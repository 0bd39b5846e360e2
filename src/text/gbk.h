#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

namespace dirweaver {

/// Appends the GBK (code page 936) bytes of text to out; a character GBK cannot hold is
/// written as a decimal character reference such as "&#128512;", so nothing is lost.
void AppendGbk(QByteArray &out, QStringView text);

/// The GBK bytes of text, as AppendGbk writes them.
QByteArray ToGbk(QStringView text);

/// Reads bytes as GBK; nullopt unless every byte belongs to a defined, non-private character.
std::optional<QString> FromGbkStrict(QByteArrayView bytes);

/// True when GBK holds the character c (a BMP code unit) in one or two bytes.
bool GbkHolds(char16_t c);

/// Display width of text: its GBK byte count, a character GBK cannot hold counting 1.
int Strlen(QStringView text);

} // namespace dirweaver
