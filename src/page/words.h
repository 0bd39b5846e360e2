#pragma once

#include <QByteArrayView>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>

namespace dirweaver {

/// The language a page's own words are written in, with its dates.
enum class PageLanguage { Chinese, English };

/// Every word a page writes itself, in one language: nothing of the other slips in.
struct PageWords
{
    /// The html element's lang attribute.
    QStringView htmlLang;
    /// After a byte count in the classic page's size, closing its bracket: "字节)".
    QStringView bytesClose;
    /// After a byte count elsewhere: " 字节".
    QStringView bytes;
    /// A date the file system does not know, or that no calendar can show.
    QStringView unknown;
    /// What the parent's page is shown as.
    QStringView parent;
    /// The table's filter box, as placeholder and label.
    QStringView filter;
    /// The table's column headers.
    QStringView name, size, modified, created;
    /// After a folder count and a file count: one, then many.
    QStringView folder, folders, file, files;
    /// Before the total size after the counts.
    QStringView total;
    /// The footer when none is given, with the version in place of %1.
    QStringView footer;
    /// The table script's words as a script object, ASCII only.
    QString script;
    /// The catalogue script's words as a script object, ASCII only.
    QString catalogScript;
    /// What a catalogue says to a browser without script, above its folder tree.
    QStringView catalogNote;
};

/// The words of language.
const PageWords &WordsOf(PageLanguage language);

/// The language pages written in locale's formats speak: Chinese for Chinese, English for
/// any other, so that the words never differ from the dates' language by more than that.
PageLanguage LanguageOfLocale(const QLocale &locale);

/// The usual locale of language: zh_CN, en_US.
QLocale LanguageLocale(PageLanguage language);

/// The locale of language's dates: program's own when it speaks language, else the
/// language's usual one (zh_CN, en_US).
QLocale DateLocale(PageLanguage language, const QLocale &program);

/// The language --lang names: "zh-CN" (or "zh", "zh_CN") or "en" (or "en-US", "en_US").
std::optional<PageLanguage> ParseLanguage(QByteArrayView name);

/// The window's language, from the variables gettext reads: LANGUAGE's first Chinese or
/// English entry, else LC_ALL, LC_MESSAGES, LANG; unset, C and POSIX mean Chinese, and so
/// LANGUAGE counts only under a real locale.
PageLanguage WindowLanguage(const QByteArray &language, const QByteArray &lcAll,
                            const QByteArray &lcMessages, const QByteArray &lang);
/// WindowLanguage from this process's environment.
PageLanguage WindowLanguageFromEnvironment();

/// The footer a page of language carries when none is given.
QString DefaultFooter(PageLanguage language);

} // namespace dirweaver
