#pragma once

#include "words.h"

#include <QList>
#include <QLocale>
#include <QString>

#include <optional>

namespace dirweaver {

/// How creation times are written: the program locale's long date and time, and the words of
/// the page that shows them, in the locale's language.
class FileTimeFormat
{
public:
    /// Formats of locale; zh_CN reads like "2002年3月29日 15:04:05".
    explicit FileTimeFormat(const QLocale &locale);
    /// The date format in QLocale's notation.
    const QString &dateFormat() const { return dateFormat_; }
    /// The time format in QLocale's notation, without a time-zone name.
    const QString &timeFormat() const { return timeFormat_; }
    /// The locale the texts are written in.
    const QLocale &locale() const { return locale_; }
    /// The words of the page the dates are written in.
    const PageWords &words() const { return *words_; }

    /// One piece of a time format, as the fast time writer reads it.
    struct Token
    {
        enum class Kind { Text, Hour12, Hour24, Minute, Second, AmPm };
        Kind kind = Kind::Text;
        int width = 1;
        QString text;   // literal text; the AM mark for AmPm
        QString pmText; // the PM mark for AmPm
    };

private:
    friend void FormatFileTime(QString &out, const FileTimeFormat &format,
                               std::optional<qint64> time);
    void appendTime(QString &out, int hour, int minute, int second) const;
    QLocale locale_;
    const PageWords *words_;
    QString dateFormat_;
    QString timeFormat_;
    // The time format read once, so each file's time is written without QLocale's parser;
    // empty when the format holds something only QLocale knows.
    QList<Token> tokens_;
    // Files of one folder mostly share their dates; keeps the last date's text.
    mutable qint64 cachedDay_ = -1;
    mutable QString cachedDate_;
};

/// Appends the local date and time of time to out, one space between; the unknown word when
/// there is no time or its date is outside the years 1 to 9999.
void FormatFileTime(QString &out, const FileTimeFormat &format, std::optional<qint64> time);

/// Appends time as a machine-readable UTC time ("2002-03-29T07:04:05Z") and returns true;
/// false, with nothing appended, for a year before 1 or after 9999.
bool AppendIsoTime(QString &out, qint64 time);

/// The program locale: LC_ALL, else LC_TIME, else LANG; unset, C or POSIX mean zh_CN.
QLocale ProgramLocale(const QByteArray &lcAll, const QByteArray &lcTime, const QByteArray &lang);
/// ProgramLocale from this process's environment.
QLocale ProgramLocaleFromEnvironment();

/// A locale's date or time format as file dates are shown: no time-zone field ("t") and no
/// brackets or separators it leaves empty; the day period "B", which QLocale cannot write,
/// as the AM/PM mark; any other field QLocale does not know left out.
QString CleanDateTimeFormat(const QString &format);

} // namespace dirweaver
