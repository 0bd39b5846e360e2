#include "annotations.h"

#include "gbk.h"

#include <QDate>
#include <QTime>

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
                literal(QStringView(format).mid(i + 1, (close < 0 ? format.size() : close) - i - 1));
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

void appendNumber(QString &out, int value, int width)
{
    if (width == 2 && value < 10)
        out += u'0';
    out += QString::number(value);
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

QString FileTimeFormat::timeText(int hour, int minute, int second) const
{
    if (tokens_.isEmpty())
        return locale_.toString(QTime(hour, minute, second), timeFormat_);
    using Kind = Token::Kind;
    QString out;
    out.reserve(16);
    for (const Token &t : tokens_) {
        switch (t.kind) {
        case Kind::Text:
            out += t.text;
            break;
        case Kind::Hour24:
            appendNumber(out, hour, t.width);
            break;
        case Kind::Hour12:
            appendNumber(out, hour % 12 == 0 ? 12 : hour % 12, t.width);
            break;
        case Kind::Minute:
            appendNumber(out, minute, t.width);
            break;
        case Kind::Second:
            appendNumber(out, second, t.width);
            break;
        case Kind::AmPm:
            out += hour < 12 ? t.text : t.pmText;
            break;
        }
    }
    return out;
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

QString FormatFileTime(const FileTimeFormat &format, std::optional<qint64> time)
{
    if (!time)
        return u"未知(UnKnow)"_s;
    const std::time_t seconds = std::time_t(*time);
    std::tm local{};
    // The local time of the file's own date, daylight saving included.
    if (!localtime_r(&seconds, &local))
        return u" "_s;
    const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const qint64 day = date.toJulianDay();
    if (day != format.cachedDay_) {
        format.cachedDate_ = format.locale_.toString(date, format.dateFormat_);
        format.cachedDay_ = day;
    }
    return format.cachedDate_ + u' ' +
           format.timeText(local.tm_hour, local.tm_min, qMin(local.tm_sec, 59));
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
    // Kilobytes rounded half to even, on integers so that huge sizes stay exact.
    qint64 kb = size / 1024;
    const qint64 rest = size % 1024;
    if (rest > 512 || (rest == 512 && kb % 2 != 0))
        ++kb;
    return QString::number(kb) + u"KB ("_s + QString::number(size) + u"字节)"_s;
}

QString DateText(const QString &time, bool showSize)
{
    return showSize ? kNbsp.repeated(3) + time : time;
}

QString NamePad(int nameWidth)
{
    const int gap = 45 - nameWidth;
    const int count = gap <= 0 ? 3 : qMin(gap + 1, 46);
    return kNbspRun.left(count * kNbsp.size());
}

QString SizePad(int sizeWidth)
{
    const int gap = 20 - sizeWidth;
    return gap > 0 ? kNbspRun.left(qMin(gap + 1, 21) * kNbsp.size()) : QString();
}

Annotations AnnotateFile(QStringView name, const std::optional<FileFacts> &facts, bool showSize,
                         bool showDate, const FileTimeFormat &format)
{
    Annotations a;
    if (showSize && facts)
        a.SizeText = SizeText(facts->size);
    if (showDate && facts)
        a.DateText = DateText(FormatFileTime(format, facts->birthTime), showSize);
    if (showSize || showDate)
        a.NamePad = NamePad(Strlen(name));
    if (showSize && showDate)
        a.SizePad = SizePad(Strlen(a.SizeText));
    return a;
}

} // namespace dirweaver
