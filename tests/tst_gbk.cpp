#include "text/gbk.h"

#include <QTest>

using namespace dirweaver;
using namespace Qt::StringLiterals;

class TestGbk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii and CR LF") << u"<A>\r\n"_s << QByteArray("<A>\r\n");
        QTest::newRow("chinese") << u"中文"_s << QByteArray("\xd6\xd0\xce\xc4");
        QTest::newRow("full-width colon") << u"："_s << QByteArray("\xa3\xba");
        QTest::newRow("euro as code page 936") << u"€"_s << QByteArray("\x80");
        QTest::newRow("latin letter GBK holds") << u"é"_s << QByteArray("\xa8\xa6");
        QTest::newRow("emoji outside the BMP") << u"a😀b"_s << QByteArray("a&#128512;b");
        QTest::newRow("BMP character GBK lacks") << u"☃"_s << QByteArray("&#9731;");
        QTest::newRow("hangul") << u"한"_s << QByteArray("&#54620;");
        QTest::newRow("replacement character") << u"\uFFFD"_s << QByteArray("&#65533;");
        QTest::newRow("C1 control") << u"\u0085"_s << QByteArray("&#133;");
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("&#55296;");
        QTest::newRow("NUL") << QString(QChar(0)) << QByteArray(1, '\0');
    }
    void encode()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ToGbk(text), bytes);
    }

    // Every character GBK holds must read back as itself, or saved pages would change text.
    void everyMappedCharacterRoundTrips()
    {
        int mapped = 0;
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            if (QChar::isSurrogate(c) || !GbkHolds(char16_t(c)))
                continue;
            ++mapped;
            const QString text(QChar{char16_t(c)});
            const std::optional<QString> back = FromGbkStrict(ToGbk(text));
            if (c >= 0xE000 && c <= 0xF8FF)
                continue; // private-use characters are refused on reading, by design
            QVERIFY2(back && *back == text, qPrintable(QString::number(uint(c), 16)));
        }
        QVERIFY2(mapped > 21000, qPrintable(QString::number(mapped))); // GBK holds 21886
    }

    void width_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("ascii") << u"a.txt"_s << 5;
        QTest::newRow("ten chinese characters") << u"一二三四五六七八九十"_s << 20;
        QTest::newRow("mixed") << u"文件 1.doc"_s << 10;
        QTest::newRow("euro is one byte") << u"€"_s << 1;
        QTest::newRow("emoji counts one") << u"😀"_s << 1;
        QTest::newRow("hangul counts one") << u"한글"_s << 2;
        QTest::newRow("size annotation") << u"12KB (12345字节)"_s << 16;
    }
    void width()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QCOMPARE(Strlen(text), width);
    }

    void strictDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::newRow("gbk chinese") << QByteArray("\xd6\xd0.txt") << true << u"中.txt"_s;
        QTest::newRow("undefined byte") << QByteArray("\xff\xfe") << false << QString();
        QTest::newRow("truncated pair") << QByteArray("a\xd6") << false << QString();
        QTest::newRow("user-defined area") << QByteArray("\xaa\xa1") << false << QString();
    }
    void strictDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        const std::optional<QString> decoded = FromGbkStrict(bytes);
        QCOMPARE(decoded.has_value(), ok);
        if (ok)
            QCOMPARE(*decoded, text);
    }
};

QTEST_GUILESS_MAIN(TestGbk)
#include "tst_gbk.moc"
