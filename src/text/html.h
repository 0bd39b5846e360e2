#pragma once

#include <QString>
#include <QStringView>

namespace dirweaver {

/// Appends a name, path or derived title as page text: `"` `<` `>` as entities, C0 control
/// characters as "&#N;" and C1 controls as U+FFFD (a browser shows "&#133;" as "…"), so no
/// name can break the markup or pass for another; "&" becomes "&amp;" only where it
/// would start a character reference ("a&copy.txt"), and spaces stay as they are.
/// HtmlText::Valid writes as a validator reads HTML: tab and line feed as references, other
/// controls and noncharacters (U+FDD0-U+FDEF, U+nFFFE, U+nFFFF) as U+FFFD.
enum class HtmlText { Classic, Valid };
void AppendHtmlText(QString &out, QStringView text, HtmlText mode = HtmlText::Classic);

/// Page text written as HtmlText::Classic made HtmlText::Valid: references to controls other
/// than tab and line feed, and noncharacters, become U+FFFD. Other markup stays.
QString ValidHtmlText(QString html);

/// True when an "&" followed by next (0 at the end of the text) would start a character
/// reference, as "&copy" does; any other "&" is plain text to every browser.
bool StartsReference(char16_t next);

/// Appends the entity of c if markup needs one (`"` `<` `>` `&`); false when c may stand as
/// it is.
bool AppendEntity(QString &out, char16_t c);

/// True for the C0 control characters and DEL.
bool IsControl(char16_t c);

} // namespace dirweaver
