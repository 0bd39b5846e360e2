#include "annotations.h"

#include "gbk.h"

#include <QDate>
#include <QTime>

#include <ctime>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

const QString kNbsp = u"&nbsp;"_s;

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
    const QTime clock(local.tm_hour, local.tm_min, qMin(local.tm_sec, 59));
    const qint64 day = date.toJulianDay();
    if (day != format.cachedDay_) {
        format.cachedDate_ = format.locale_.toString(date, format.dateFormat_);
        format.cachedDay_ = day;
    }
    return format.cachedDate_ + u' ' + format.locale_.toString(clock, format.timeFormat_);
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
    return kNbsp.repeated(gap <= 0 ? 3 : gap + 1);
}

QString SizePad(int sizeWidth)
{
    const int gap = 20 - sizeWidth;
    return gap > 0 ? kNbsp.repeated(gap + 1) : QString();
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
