#include "annotations.h"

#include "gbk.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <ctime>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

const QString kNbsp = u"&nbsp;"_s;
// The longest run any pad needs, so pads are cut from it rather than built each time.
const QString kNbspRun = kNbsp.repeated(46);

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

void appendDecimal(QString &out, qint64 value, int width = 1)
{
    char digits[24];
    int n = 0;
    quint64 v = quint64(value < 0 ? -value : value);
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < width)
        digits[n++] = '0';
    if (value < 0)
        digits[n++] = '-';
    std::reverse(digits, digits + n);
    out += QLatin1StringView(digits, n);
}

// count "&nbsp;" without building them each time.
QStringView nbspRun(int count)
{
    return QStringView(kNbspRun).left(qBound(0, count, 46) * kNbsp.size());
}

void appendSizeText(QString &out, qint64 size)
{
    // Kilobytes rounded half to even, on integers so that huge sizes stay exact.
    qint64 kb = size / 1024;
    const qint64 rest = size % 1024;
    if (rest > 512 || (rest == 512 && kb % 2 != 0))
        ++kb;
    appendDecimal(out, kb);
    out += u"KB ("_s;
    appendDecimal(out, size);
    out += u"字节)"_s;
}

int namePadCount(int nameWidth)
{
    const int gap = 45 - nameWidth;
    return gap <= 0 ? 3 : gap + 1;
}

int sizePadCount(int sizeWidth)
{
    const int gap = 20 - sizeWidth;
    return gap > 0 ? gap + 1 : 0;
}

} // namespace

FileTimeFormat::FileTimeFormat(const QLocale &locale) : locale_(locale)
{
    if (locale.name() == u"zh_CN"_s) {
        // The Chinese long date without the weekday, as Chinese Windows writes it.
        dateFormat_ = u"yyyy年M月d日"_s;
        timeFormat_ = u"H:mm:ss"_s;
    } else {
        dateFormat_ = locale.dateFormat(QLocale::LongFormat);
        timeFormat_ = StripTimeZone(locale.timeFormat(QLocale::LongFormat));
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
            appendDecimal(out, hour, t.width);
            break;
        case Kind::Hour12:
            appendDecimal(out, hour % 12 == 0 ? 12 : hour % 12, t.width);
            break;
        case Kind::Minute:
            appendDecimal(out, minute, t.width);
            break;
        case Kind::Second:
            appendDecimal(out, second, t.width);
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

QString StripTimeZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out.append(c);
    }
    return out.simplified();
}

void FileTimeFormat::append(QString &out, std::optional<qint64> time) const
{
    if (!time) {
        out += u"未知(UnKnow)"_s;
        return;
    }
    const std::time_t seconds = std::time_t(*time);
    std::tm local{};
    // The local time of the file's own date, daylight saving included.
    if (!localtime_r(&seconds, &local)) {
        out += u' ';
        return;
    }
    const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const qint64 day = date.toJulianDay();
    if (day != cachedDay_) {
        cachedDate_ = locale_.toString(date, dateFormat_);
        cachedDay_ = day;
    }
    out += cachedDate_;
    out += u' ';
    appendTime(out, local.tm_hour, local.tm_min, qMin(local.tm_sec, 59));
}

QString FormatFileTime(const FileTimeFormat &format, std::optional<qint64> time)
{
    QString text;
    format.append(text, time);
    return text;
}

QStringView TrimAtNul(QStringView text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QByteArrayView TrimAtNul(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.first(nul);
}

QString SizeText(qint64 size)
{
    QString text;
    appendSizeText(text, size);
    return text;
}

QString DateText(const QString &time, bool showSize)
{
    return showSize ? nbspRun(3) + time : time;
}

QString NamePad(int nameWidth)
{
    return nbspRun(namePadCount(nameWidth)).toString();
}

QString SizePad(int sizeWidth)
{
    return nbspRun(sizePadCount(sizeWidth)).toString();
}

void AppendAnnotations(QString &out, QStringView name, const std::optional<FileFacts> &facts,
                       bool showSize, bool showDate, const FileTimeFormat &format)
{
    if (!showSize && !showDate)
        return;
    out += nbspRun(namePadCount(Strlen(name)));
    const qsizetype sizeStart = out.size();
    if (showSize && facts)
        appendSizeText(out, facts->size);
    if (showSize && showDate)
        out += nbspRun(sizePadCount(Strlen(QStringView(out).mid(sizeStart))));
    if (showDate && facts) {
        if (showSize)
            out += nbspRun(3);
        format.append(out, facts->birthTime);
    }
}

} // namespace dirweaver
