#include "filetime.h"

#include "text/digits.h"

#include <QDate>
#include <QTime>

#include <ctime>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

QString localeName(const QByteArray &value)
{
    QByteArray name = value;
    const qsizetype cut = name.indexOf('.');
    if (cut >= 0)
        name.truncate(cut);
    const qsizetype modifier = name.indexOf('@');
    if (modifier >= 0)
        name.truncate(modifier);
    return QString::fromLatin1(name);
}

// Reads a QLocale time format into tokens; empty when it holds fields other than hours,
// minutes, seconds and the AM/PM mark.
QList<FileTimeFormat::Token> timeTokens(const QString &format, const QLocale &locale)
{
    using Kind = FileTimeFormat::Token::Kind;
    QList<FileTimeFormat::Token> tokens;
    auto literal = [&tokens](QStringView text) {
        if (tokens.isEmpty() || tokens.back().kind != Kind::Text)
            tokens.append({Kind::Text, 1, QString(), QString()});
        tokens.back().text += text;
    };
    bool twelveHour = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == u'\'') {
            const qsizetype close = format.indexOf(u'\'', i + 1);
            if (close == i + 1) {
                literal(u"'");
            } else {
                literal(
                    QStringView(format).mid(i + 1, (close < 0 ? format.size() : close) - i - 1));
            }
            i = close < 0 ? format.size() : close + 1;
            continue;
        }
        if (!c.isLetter()) {
            literal(QStringView(&format.constData()[i], 1));
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        if ((c == u'A' || c == u'a') && i + 1 < format.size() &&
            (format[i + 1] == u'P' || format[i + 1] == u'p')) {
            // The marks exactly as QLocale writes this field, case and all.
            const QString field = format.mid(i, 2);
            tokens.append({Kind::AmPm, 1, locale.toString(QTime(1, 0), field),
                           locale.toString(QTime(13, 0), field)});
            twelveHour = true;
            i += 2;
            continue;
        }
        const int width = run >= 2 ? 2 : 1;
        if (run > 2)
            return {};
        if (c == u'H')
            tokens.append({Kind::Hour24, width, QString(), QString()});
        else if (c == u'h')
            tokens.append({Kind::Hour12, width, QString(), QString()});
        else if (c == u'm')
            tokens.append({Kind::Minute, width, QString(), QString()});
        else if (c == u's')
            tokens.append({Kind::Second, width, QString(), QString()});
        else
            return {};
        i += run;
    }
    if (!twelveHour) {
        for (FileTimeFormat::Token &t : tokens) {
            if (t.kind == Kind::Hour12)
                t.kind = Kind::Hour24;
        }
    }
    return tokens;
}

} // namespace

FileTimeFormat::FileTimeFormat(const QLocale &locale)
    : locale_(locale), words_(&WordsOf(LanguageOfLocale(locale)))
{
    if (locale.name() == u"zh_CN"_s) {
        // The Chinese long date without the weekday, as Chinese Windows writes it.
        dateFormat_ = u"yyyy年M月d日"_s;
        timeFormat_ = u"H:mm:ss"_s;
    } else {
        dateFormat_ = CleanDateTimeFormat(locale.dateFormat(QLocale::LongFormat));
        timeFormat_ = CleanDateTimeFormat(locale.timeFormat(QLocale::LongFormat));
    }
    if (locale.zeroDigit() == u"0"_s)
        tokens_ = timeTokens(timeFormat_, locale);
}

void FileTimeFormat::appendTime(QString &out, int hour, int minute, int second) const
{
    if (tokens_.isEmpty()) {
        out += locale_.toString(QTime(hour, minute, second), timeFormat_);
        return;
    }
    using Kind = Token::Kind;
    for (const Token &t : tokens_) {
        switch (t.kind) {
        case Kind::Text:
            out += t.text;
            break;
        case Kind::Hour24:
            AppendDecimal(out, hour, t.width);
            break;
        case Kind::Hour12:
            AppendDecimal(out, hour % 12 == 0 ? 12 : hour % 12, t.width);
            break;
        case Kind::Minute:
            AppendDecimal(out, minute, t.width);
            break;
        case Kind::Second:
            AppendDecimal(out, second, t.width);
            break;
        case Kind::AmPm:
            out += hour < 12 ? t.text : t.pmText;
            break;
        }
    }
}

QLocale ProgramLocale(const QByteArray &lcAll, const QByteArray &lcTime, const QByteArray &lang)
{
    QString name;
    for (const QByteArray *value : {&lcAll, &lcTime, &lang}) {
        if (!value->isEmpty()) {
            name = localeName(*value);
            break;
        }
    }
    if (name.isEmpty() || name == u"C"_s || name == u"POSIX"_s)
        name = u"zh_CN"_s;
    return QLocale(name);
}

QLocale ProgramLocaleFromEnvironment()
{
    return ProgramLocale(qgetenv("LC_ALL"), qgetenv("LC_TIME"), qgetenv("LANG"));
}

QString CleanDateTimeFormat(const QString &format)
{
    // Pieces of the format: quoted text kept as it stands, fields, and other characters.
    struct Piece
    {
        QString text;
        bool field = false;
        bool quoted = false;
    };
    QList<Piece> pieces;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == u'\'') {
            qsizetype close = i + 1;
            // Two quotes inside quoted text stand for one quote.
            while (close < format.size() &&
                   (format[close] != u'\'' ||
                    (close + 1 < format.size() && format[close + 1] == u'\'')))
                close += format[close] == u'\'' ? 2 : 1;
            pieces.append({format.mid(i, close + 1 - i), false, true});
            i = close + 1;
            continue;
        }
        qsizetype run = 1;
        const bool letter = c.unicode() < 0x80 && c.isLetter();
        while (letter && i + run < format.size() && format[i + run] == c)
            ++run;
        QString text = format.mid(i, run);
        i += run;
        if (!letter) {
            pieces.append({text, false, false});
            continue;
        }
        if (c == u'B')
            text = u"AP"_s;
        else if (!u"dMyhHmszaApP"_s.contains(c))
            continue; // the time zone "t", and fields QLocale would write as letters
        pieces.append({text, true, false});
    }

    // Brackets, and then spaces and commas, left with nothing between them go.
    const auto blank = [](const Piece &p) {
        return !p.field && !p.quoted && (p.text == u" "_s || p.text == u","_s);
    };
    const QString open = u"([（【"_s, close = u")]）】"_s;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (pieces[i].field || pieces[i].quoted || !open.contains(pieces[i].text))
            continue;
        qsizetype j = i + 1;
        while (j < pieces.size() && blank(pieces[j]) && pieces[j].text == u" "_s)
            ++j;
        if (j < pieces.size() && !pieces[j].field && !pieces[j].quoted &&
            close.indexOf(pieces[j].text) == open.indexOf(pieces[i].text)) {
            pieces.remove(i, j - i + 1);
            i = -1;
        }
    }
    while (!pieces.isEmpty() && blank(pieces.first()))
        pieces.removeFirst();
    while (!pieces.isEmpty() && blank(pieces.last()))
        pieces.removeLast();
    QString out;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        // One space where removing a field left two.
        if (pieces[i].text == u" "_s && !pieces[i].quoted && i > 0 && pieces[i - 1].text == u" "_s)
            continue;
        out += pieces[i].text;
    }
    return out;
}

void FormatFileTime(QString &out, const FileTimeFormat &format, std::optional<qint64> time)
{
    const std::time_t seconds = std::time_t(time.value_or(0));
    std::tm local{};
    // The local time of the file's own date, daylight saving included. A time that has no
    // date of years 1 to 9999 (a clock set wildly, a forged time) cannot be shown truthfully.
    const qint64 year = time && localtime_r(&seconds, &local) ? qint64(local.tm_year) + 1900 : 0;
    if (year < 1 || year > 9999) {
        out += format.words().unknown;
        return;
    }
    const QDate date(int(year), local.tm_mon + 1, local.tm_mday);
    const qint64 day = date.toJulianDay();
    if (day != format.cachedDay_) {
        format.cachedDate_ = format.locale_.toString(date, format.dateFormat_);
        format.cachedDay_ = day;
    }
    out += format.cachedDate_;
    out += u' ';
    format.appendTime(out, local.tm_hour, local.tm_min, qMin(local.tm_sec, 59));
}

bool AppendIsoTime(QString &out, qint64 time)
{
    // Whole days and the second within the day, rounded down for times before 1970.
    constexpr qint64 kDay = 86400;
    qint64 days = time / kDay;
    qint64 second = time % kDay;
    if (second < 0) {
        second += kDay;
        --days;
    }
    // The civil date of a day count, on the 400-year cycle of the Gregorian calendar.
    const qint64 z = days + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 dayOfEra = z - era * 146097;
    const qint64 yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 mp = (5 * dayOfYear + 2) / 153;
    const qint64 day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const qint64 month = mp < 10 ? mp + 3 : mp - 9;
    const qint64 year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 1 || year > 9999)
        return false;
    char text[24];
    char *p = WriteDecimal(text, year, 4);
    *p++ = '-';
    p = WriteDecimal(p, month, 2);
    *p++ = '-';
    p = WriteDecimal(p, day, 2);
    *p++ = 'T';
    p = WriteDecimal(p, second / 3600, 2);
    *p++ = ':';
    p = WriteDecimal(p, second / 60 % 60, 2);
    *p++ = ':';
    p = WriteDecimal(p, second % 60, 2);
    *p++ = 'Z';
    out += QLatin1StringView(text, p - text);
    return true;
}

} // namespace dirweaver
