#include "page/annotations.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <limits>

#include <algorithm>
#include <ctime>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {
QString nbsp(int n)
{
    return u"&nbsp;"_s.repeated(n);
}
constexpr qint64 k2002 = 1017385445; // 2002-03-29 07:04:05 UTC
constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

// What follows the link of a file called name with these facts.
QString annotations(const QString &name, std::optional<FileFacts> facts, bool showSize,
                    bool showDate)
{
    static const FileTimeFormat format(QLocale(u"zh_CN"_s));
    QString text;
    AppendAnnotations(text, name, facts, showSize, showDate, format);
    return text;
}

QString timeText(const FileTimeFormat &format, std::optional<qint64> time)
{
    QString text;
    FormatFileTime(text, format, time);
    return text;
}
} // namespace

class TestAnnotations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void sizeText_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << qint64(0) << u"0KB (0字节)"_s;
        QTest::newRow("half a KB rounds to even 0") << qint64(512) << u"0KB (512字节)"_s;
        QTest::newRow("just over half") << qint64(513) << u"1KB (513字节)"_s;
        QTest::newRow("one KB") << qint64(1024) << u"1KB (1024字节)"_s;
        QTest::newRow("one and a half to 2") << qint64(1536) << u"2KB (1536字节)"_s;
        QTest::newRow("two and a half to 2") << qint64(2560) << u"2KB (2560字节)"_s;
        QTest::newRow("example") << qint64(12345) << u"12KB (12345字节)"_s;
        QTest::newRow("2 GiB") << (qint64(1) << 31) << u"2097152KB (2147483648字节)"_s;
        QTest::newRow("5 TiB and a half KB")
            << (qint64(5) << 40) + 512 << u"5368709120KB (5497558139392字节)"_s;
        QTest::newRow("largest") << std::numeric_limits<qint64>::max()
                                 << u"9007199254740992KB (9223372036854775807字节)"_s;
    }
    void sizeText()
    {
        QFETCH(qint64, size);
        QFETCH(QString, text);
        QCOMPARE(annotations(u"x"_s, FileFacts{size, {}}, true, false), nbsp(45) + text);
    }

    // The table page's short size: bytes below 1 KiB, one decimal below 10, the next unit
    // when rounding reaches 1024.
    void shortSize_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << qint64(0) << u"0 字节"_s;
        QTest::newRow("just below a KiB") << qint64(1023) << u"1023 字节"_s;
        QTest::newRow("one KiB") << qint64(1024) << u"1.0 KB"_s;
        QTest::newRow("9.96 KiB rounds to 10, no decimal") << qint64(10199) << u"10 KB"_s;
        QTest::newRow("example") << qint64(12345) << u"12 KB"_s;
        QTest::newRow("3.4 MiB") << qint64(3565158) << u"3.4 MB"_s;
        QTest::newRow("1023.5 KiB takes the next unit") << qint64(1048064) << u"1.0 MB"_s;
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << u"8.0 EB"_s;
    }
    void shortSize()
    {
        QFETCH(qint64, size);
        QFETCH(QString, text);
        QString out;
        AppendShortSize(out, size, WordsOf(PageLanguage::Chinese));
        QCOMPARE(out, text);
    }

    // The machine-readable time agrees with Qt's UTC calendar, before 1970 and at leap days;
    // years the format cannot hold give nothing.
    void isoTime_data()
    {
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("epoch") << qint64(0) << u"1970-01-01T00:00:00Z"_s;
        QTest::newRow("one second before") << qint64(-1) << u"1969-12-31T23:59:59Z"_s;
        QTest::newRow("leap day 2000") << qint64(951782400) << u"2000-02-29T00:00:00Z"_s;
        QTest::newRow("2002") << qint64(1017385445) << u"2002-03-29T07:04:05Z"_s;
        QTest::newRow("last of 9999") << qint64(253402300799) << u"9999-12-31T23:59:59Z"_s;
        QTest::newRow("year 10000") << qint64(253402300800) << QString();
        QTest::newRow("before year 1") << qint64(-62135596801) << QString();
    }
    void isoTime()
    {
        QFETCH(qint64, time);
        QFETCH(QString, text);
        QString out;
        QCOMPARE(AppendIsoTime(out, time), !text.isEmpty());
        QCOMPARE(out, text);
        if (!text.isEmpty())
            QCOMPARE(out, QDateTime::fromSecsSinceEpoch(time, QTimeZone::utc())
                              .toString(u"yyyy-MM-ddTHH:mm:ssZ"_s));
    }

    // A name's display width sets the spacing after it, a size text's width the spacing
    // after that; the size text's width follows from its number of digits.
    void pads_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("namePad");
        QTest::addColumn<qint64>("size"); // -1: the facts cannot be read
        QTest::addColumn<int>("sizePad");
        QTest::newRow("short") << u"ten chars!"_s << 36 << qint64(12345) << 5;
        QTest::newRow("ten chinese characters")
            << u"十个汉字的文件名称啊"_s << 26 << qint64(1000000) << 2;
        QTest::newRow("44 wide") << QString(44, u'n') << 2 << qint64(1024000) << 0;
        QTest::newRow("45 wide") << QString(45, u'n') << 3 << qint64(10000000) << 0;
        QTest::newRow("very wide")
            << QString(200, u'n') << 3 << std::numeric_limits<qint64>::max() << 0;
        QTest::newRow("empty") << QString() << 46 << qint64(-1) << 21;
    }
    void pads()
    {
        QFETCH(QString, name);
        QFETCH(int, namePad);
        QFETCH(qint64, size);
        QFETCH(int, sizePad);
        std::optional<FileFacts> facts;
        if (size >= 0)
            facts = FileFacts{size, k2002};
        const QString text = annotations(name, facts, true, true);
        const QString before = nbsp(namePad);
        const QString after =
            nbsp(sizePad) + (facts ? nbsp(3) + u"2002年3月29日 7:04:05"_s : QString());
        QVERIFY2(text.startsWith(before) && text.endsWith(after), qPrintable(text));
        // Exactly these pads: what stands between them is the size text alone.
        const QString sizeText =
            text.mid(before.size(), text.size() - before.size() - after.size());
        QVERIFY2(!sizeText.contains(u'&'), qPrintable(text));
        QCOMPARE(sizeText.endsWith(u"字节)"_s), bool(facts));
    }

    void annotate_data()
    {
        QTest::addColumn<bool>("showSize");
        QTest::addColumn<bool>("showDate");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QString>("line");
        const QString date = u"2002年3月29日 15:04:05"_s;
        QTest::newRow("both off") << false << false << true << QString();
        QTest::newRow("size only") << true << false << true << nbsp(36) + u"12KB (12345字节)"_s;
        QTest::newRow("date only") << false << true << true << nbsp(36) + date;
        QTest::newRow("both") << true << true << true
                              << nbsp(36) + u"12KB (12345字节)"_s + nbsp(5) + nbsp(3) + date;
        QTest::newRow("both, unreadable") << true << true << false << nbsp(36) + nbsp(21);
        QTest::newRow("date only, unreadable") << false << true << false << nbsp(36);
    }
    void annotate()
    {
        QFETCH(bool, showSize);
        QFETCH(bool, showDate);
        QFETCH(bool, readable);
        QFETCH(QString, line);
        qputenv("TZ", "CST-8");
        tzset();
        const FileTimeFormat format(QLocale(u"zh_CN"_s));
        std::optional<FileFacts> facts;
        if (readable)
            facts = FileFacts{12345, k2002};
        QString text = u"<A>"_s;
        AppendAnnotations(text, u"ten chars!"_s, facts, showSize, showDate, format);
        QCOMPARE(text, u"<A>"_s + line);
    }

    void wideSizeGetsNoPad()
    {
        QCOMPARE(annotations(u"x"_s, FileFacts{99999999999, std::nullopt}, true, true),
                 nbsp(45) + u"97656250KB (99999999999字节)"_s + nbsp(3) + u"未知(UnKnow)"_s);
        QCOMPARE(annotations(u"x"_s, FileFacts{1, std::nullopt}, false, true),
                 nbsp(45) + u"未知(UnKnow)"_s);
    }

    void fileTime_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("zh_CN") << u"zh_CN"_s << QByteArray("CST-8") << k2002
                               << u"2002年3月29日 15:04:05"_s;
        QTest::newRow("zh_CN before ten")
            << u"zh_CN"_s << QByteArray("UTC") << k2002 << u"2002年3月29日 7:04:05"_s;
        QTest::newRow("no birth time")
            << u"zh_CN"_s << QByteArray("UTC") << kNoTime << u"未知(UnKnow)"_s;
        // Times no calendar date of years 1 to 9999 can show are unknown, never a wrong year.
        QTest::newRow("past every year a tm holds")
            << u"zh_CN"_s << QByteArray("UTC") << qint64(67768036191676799) << u"未知(UnKnow)"_s;
        QTest::newRow("year 0") << u"zh_CN"_s << QByteArray("UTC") << qint64(-62135596801)
                                << u"未知(UnKnow)"_s;
        QTest::newRow("year 10000")
            << u"en_US"_s << QByteArray("UTC") << qint64(253402300800) << u"unknown"_s;
        QTest::newRow("first second of year 1")
            << u"zh_CN"_s << QByteArray("UTC") << qint64(-62135596800) << u"0001年1月1日 0:00:00"_s;
        QTest::newRow("the epoch is a real time")
            << u"zh_CN"_s << QByteArray("UTC") << qint64(0) << u"1970年1月1日 0:00:00"_s;
        // Summer and winter of one zone: each date converts with its own offset.
        QTest::newRow("summer time") << u"en_US"_s << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3")
                                     << qint64(1025524800) << u"Monday, July 1, 2002 2:00:00 PM"_s;
        QTest::newRow("winter time")
            << u"en_US"_s << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << qint64(1009886400)
            << u"Tuesday, January 1, 2002 1:00:00 PM"_s;
        QTest::newRow("german") << u"de_DE"_s << QByteArray("UTC") << k2002
                                << u"Freitag, 29. März 2002 07:04:05"_s;
    }
    void fileTime()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, tz);
        QFETCH(qint64, time);
        QFETCH(QString, text);
        qputenv("TZ", tz);
        tzset();
        const FileTimeFormat format{QLocale(locale)};
        const std::optional<qint64> when =
            time == kNoTime ? std::nullopt : std::optional<qint64>(time);
        QCOMPARE(timeText(format, when), text);
        QCOMPARE(timeText(format, when), text); // the cached date gives the same
    }

    // The fast time writer must agree with QLocale for every locale's own format.
    void timeAgreesWithQLocale_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *name : {"zh_CN", "en_US", "en_GB", "de_DE", "fr_FR", "ja_JP", "ko_KR",
                                 "zh_TW", "ru_RU", "ar_EG", "fa_IR", "hi_IN", "es_ES"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void timeAgreesWithQLocale()
    {
        QFETCH(QString, locale);
        const FileTimeFormat format{QLocale(locale)};
        const QDate date(2002, 3, 29);
        for (const int seconds : {0, 5 * 3600 + 4 * 60 + 9, 12 * 3600, 12 * 3600 + 59,
                                  13 * 3600 + 1, 23 * 3600 + 59 * 60 + 59}) {
            const QDateTime when(date, QTime(0, 0).addSecs(seconds), Qt::UTC);
            const QString expected = format.locale().toString(date, format.dateFormat()) + u' ' +
                                     format.locale().toString(when.time(), format.timeFormat());
            QCOMPARE(timeText(format, when.toSecsSinceEpoch()), expected);
        }
    }

    void cleanFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("clean");
        QTest::newRow("trailing zone") << u"h:mm:ss AP t"_s << u"h:mm:ss AP"_s;
        QTest::newRow("leading zone") << u"t HH:mm:ss"_s << u"HH:mm:ss"_s;
        QTest::newRow("quoted t stays") << u"HH 'o''clock' t"_s << u"HH 'o''clock'"_s;
        QTest::newRow("zone in brackets, day period") << u"Bh:mm:ss [t]"_s << u"APh:mm:ss"_s;
        QTest::newRow("zone in parentheses") << u"'Klock' H.mm:ss (t)"_s << u"'Klock' H.mm:ss"_s;
        QTest::newRow("zone after a comma") << u"h:mm:ss AP, t"_s << u"h:mm:ss AP"_s;
        QTest::newRow("abbreviation dot stays") << u"H:mm:ss 'ч'. t"_s << u"H:mm:ss 'ч'."_s;
        QTest::newRow("date untouched") << u"dddd, d MMMM yyyy"_s << u"dddd, d MMMM yyyy"_s;
    }
    void cleanFormat()
    {
        QFETCH(QString, format);
        QFETCH(QString, clean);
        QCOMPARE(CleanDateTimeFormat(format), clean);
    }

    // Every locale Qt knows: no time-zone name, no empty brackets, no field left as a letter.
    void everyLocale()
    {
        qputenv("TZ", "XYZ-8");
        tzset();
        const QList<QLocale> locales = QLocale::matchingLocales(
            QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        QVERIFY(locales.size() > 300);
        static const QRegularExpression quoted(u"'[^']*'"_s);
        // Outside quotes, an ASCII letter is a field: it must be one QLocale writes.
        const auto unknownField = [](const QString &f) {
            return std::any_of(f.cbegin(), f.cend(), [](QChar c) {
                return c.unicode() < 0x80 && c.isLetter() && !u"dMyhHmszaApP"_s.contains(c);
            });
        };
        static const QRegularExpression emptyBrackets(u"[(\\[（【]\\s*[)\\]）】]"_s);
        for (const QLocale &locale : locales) {
            const FileTimeFormat format(locale);
            for (QString f : {format.dateFormat(), format.timeFormat()}) {
                f.remove(quoted);
                QVERIFY2(!unknownField(f), qPrintable(locale.name() + u": "_s + f));
            }
            const QString text = timeText(format, k2002);
            QVERIFY2(!text.contains(u"XYZ"_s) && !text.contains(emptyBrackets),
                     qPrintable(locale.name() + u": "_s + text));
            QVERIFY2(text == text.trimmed(), qPrintable(locale.name() + u": "_s + text));
        }
        QCOMPARE(timeText(FileTimeFormat(QLocale(u"zh_CN"_s)), k2002), u"2002年3月29日 15:04:05"_s);
        QCOMPARE(timeText(FileTimeFormat(QLocale(u"zh_TW"_s)), k2002).right(8),
                 u"下午3:04:05"_s.right(8));
    }

    void programLocale_data()
    {
        QTest::addColumn<QByteArray>("lcAll");
        QTest::addColumn<QByteArray>("lcTime");
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QString>("name");
        QTest::newRow("nothing set") << QByteArray() << QByteArray() << QByteArray() << u"zh_CN"_s;
        QTest::newRow("C") << QByteArray("C") << QByteArray("de_DE.UTF-8") << QByteArray()
                           << u"zh_CN"_s;
        QTest::newRow("C.UTF-8") << QByteArray() << QByteArray() << QByteArray("C.UTF-8")
                                 << u"zh_CN"_s;
        QTest::newRow("POSIX") << QByteArray("POSIX") << QByteArray() << QByteArray() << u"zh_CN"_s;
        QTest::newRow("LC_ALL first") << QByteArray("de_DE.UTF-8") << QByteArray("fr_FR")
                                      << QByteArray("en_US") << u"de_DE"_s;
        QTest::newRow("then LC_TIME")
            << QByteArray() << QByteArray("fr_FR.UTF-8@euro") << QByteArray("en_US") << u"fr_FR"_s;
        QTest::newRow("then LANG")
            << QByteArray() << QByteArray() << QByteArray("en_GB.UTF-8") << u"en_GB"_s;
    }
    void programLocale()
    {
        QFETCH(QByteArray, lcAll);
        QFETCH(QByteArray, lcTime);
        QFETCH(QByteArray, lang);
        QFETCH(QString, name);
        QCOMPARE(ProgramLocale(lcAll, lcTime, lang).name(), name);
    }
};

QTEST_GUILESS_MAIN(TestAnnotations)
#include "tst_annotations.moc"
