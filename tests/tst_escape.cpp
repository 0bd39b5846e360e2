#include "page/escape.h"

#include <QTest>

using namespace dirweaver;
using namespace Qt::StringLiterals;

class TestEscape : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void text_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("html");
        QTest::newRow("plain") << u"a b.txt"_s << u"a b.txt"_s;
        QTest::newRow("lone ampersand stays") << u"Tom & Jerry&.txt&"_s << u"Tom & Jerry&.txt&"_s;
        QTest::newRow("ampersand that would start a reference")
            << u"a&copy.txt&amp;&#65;&2"_s << u"a&amp;copy.txt&amp;amp;&amp;#65;&amp;2"_s;
        QTest::newRow("markup") << u"<b>\"x\"</b>"_s << u"&lt;b&gt;&quot;x&quot;&lt;/b&gt;"_s;
        QTest::newRow("link specials stay in text") << u"#?%.txt"_s << u"#?%.txt"_s;
        QTest::newRow("controls") << u"a\tb\nc\x7f"_s << u"a&#9;b&#10;c&#127;"_s;
        QTest::newRow("chinese") << u"文件.txt"_s << u"文件.txt"_s;
    }
    void text()
    {
        QFETCH(QString, name);
        QFETCH(QString, html);
        QString out;
        AppendHtmlText(out, name);
        QCOMPARE(out, html);
    }

    void target_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("target");
        QTest::newRow("space and ampersand stay")
            << u"/a b/"_s << QByteArray("x & y.txt") << u"/a b/x & y.txt"_s;
        QTest::newRow("percent, hash, question mark")
            << u"/d/"_s << QByteArray("100%#1?.txt") << u"/d/100%25%231%3F.txt"_s;
        QTest::newRow("quote and angle brackets")
            << u""_s << QByteArray("\"<>\".txt") << u"&quot;&lt;&gt;&quot;.txt"_s;
        QTest::newRow("backslash is no separator") << u""_s << QByteArray("a\\b") << u"a%5Cb"_s;
        QTest::newRow("controls") << u""_s << QByteArray("a\nb\t\x7f") << u"a%0Ab%09%7F"_s;
        QTest::newRow("reference-like ampersand")
            << u"/d/"_s << QByteArray("a&copy & b&#1") << u"/d/a&amp;copy & b&amp;%231"_s;
        QTest::newRow("not UTF-8 with ampersands")
            << u""_s << QByteArray("\xff&lt&") << u"%FF&amp;lt&"_s;
        QTest::newRow("bare name like a scheme")
            << u""_s << QByteArray("Re: note.txt") << u"Re%3A note.txt"_s;
        QTest::newRow("bare script address")
            << u""_s << QByteArray("javascript:x") << u"javascript%3Ax"_s;
        QTest::newRow("colon after a folder stays")
            << u"/d/"_s << QByteArray("Re: note.txt") << u"/d/Re: note.txt"_s;
        QTest::newRow("colon that starts no scheme")
            << u""_s << QByteArray("1a:b 文:c") << u"1a:b 文:c"_s;
        QTest::newRow("drive-letter name") << u"/"_s << QByteArray("c|") << u"/c%7C"_s;
        QTest::newRow("bare drive-letter name") << u""_s << QByteArray("c:") << u"c%3A"_s;
        QTest::newRow("bar after a letter, bare") << u""_s << QByteArray("C|x") << u"C%7Cx"_s;
        QTest::newRow("bar after a letter, longer") << u""_s << QByteArray("z|abc") << u"z%7Cabc"_s;
        QTest::newRow("bar before a dot") << u""_s << QByteArray("C|.txt") << u"C%7C.txt"_s;
        QTest::newRow("drive-like top folder") << u"/C%7C/"_s << QByteArray("x") << u"/C%7C/x"_s;
        QTest::newRow("leading byte order mark") << u""_s
                                                 << QByteArray("\xef\xbb\xbf"
                                                               "bom.txt")
                                                 << u"%EF%BB%BFbom.txt"_s;
        QTest::newRow("beyond GBK: UTF-8 percent-encoded")
            << u"/d/"_s << QByteArray("\xf0\x9f\x98\x80.txt") << u"/d/%F0%9F%98%80.txt"_s;
        QTest::newRow("GBK bytes a browser reads otherwise")
            << u""_s << QByteArray("\xee\x97\xa5") << u"%EE%97%A5"_s;
        QTest::newRow("chinese stays")
            << u"/文档/"_s << QByteArray("文件.txt") << u"/文档/文件.txt"_s;
        QTest::newRow("bare name with edge spaces")
            << u""_s << QByteArray("  a b ") << u"%20%20a b%20"_s;
        QTest::newRow("trailing space after folder")
            << u"/d/"_s << QByteArray("a ") << u"/d/a%20"_s;
        QTest::newRow("only spaces") << u""_s << QByteArray("  ") << u"%20%20"_s;
        QTest::newRow("not UTF-8: raw bytes")
            << u"/d/"_s << QByteArray("gbk\xd6\xd0#.txt") << u"/d/gbk%D6%D0%23.txt"_s;
        QTest::newRow("encoded surrogate is not UTF-8")
            << u""_s << QByteArray("\xed\xa0\x80") << u"%ED%A0%80"_s;
        QTest::newRow("overlong slash is not UTF-8")
            << u""_s << QByteArray("\xc0\xaf") << u"%C0%AF"_s;
        QTest::newRow("C1 control as UTF-8") << u""_s << QByteArray("a\xc2\x85") << u"a%C2%85"_s;
    }
    void target()
    {
        QFETCH(QString, folder);
        QFETCH(QByteArray, name);
        QFETCH(QString, target);
        QCOMPARE(LinkTarget(folder, NativeName::fromBytes(name), PageEncoding::Gbk), target);
    }

    // A UTF-8 page holds every character as itself; the rest of the escaping is the same.
    void utf8Target()
    {
        QCOMPARE(LinkTarget(u""_s, NativeName::fromText(u"😀 #|.txt"_s), PageEncoding::Utf8),
                 u"😀 %23%7C.txt"_s);
    }

    // Targets of a page that validates (the table page): what a URL's path may not hold raw
    // is percent-encoded too, and the target still names the file.
    void urlTarget_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("target");
        QTest::newRow("space") << u"a b.txt"_s << u"a%20b.txt"_s;
        QTest::newRow("quote, brackets, backtick, braces")
            << u"\"<`{}>"_s << u"%22%3C%60%7B%7D%3E"_s;
        QTest::newRow("noncharacters") << u"x\uFFFE\uFDD0"_s + QChar(0xDBFF) + QChar(0xDFFF)
                                       << u"x%EF%BF%BE%EF%B7%90%F4%8F%BF%BF"_s;
        QTest::newRow("chinese and emoji stay") << u"表 😀"_s << u"表%20😀"_s;
    }
    void urlTarget()
    {
        QFETCH(QString, name);
        QFETCH(QString, target);
        QCOMPARE(LinkTarget(u""_s, NativeName::fromText(name), PageEncoding::Utf8, true), target);
    }

    // Text that validates: the classic text's references to controls, and noncharacters,
    // show as U+FFFD; whether written so or made so afterwards, the page text is the same.
    void validText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("html");
        QTest::newRow("tab and line feed stay references") << u"a\tb\nc"_s << u"a&#9;b&#10;c"_s;
        QTest::newRow("other controls") << u"a\x01-\rc\x7f"_s << u"a\uFFFD-\uFFFDc\uFFFD"_s;
        QTest::newRow("C1 control") << u"a\u0085"_s << u"a\uFFFD"_s;
        QTest::newRow("noncharacters")
            << u"\uFDD0x\uFFFF"_s + QChar(0xD83F) + QChar(0xDFFE) << u"\uFFFDx\uFFFD\uFFFD"_s;
        QTest::newRow("emoji and markup stay") << u"😀 <b>&amp;"_s << u"😀 &lt;b&gt;&amp;amp;"_s;
    }
    void validText()
    {
        QFETCH(QString, name);
        QFETCH(QString, html);
        QString valid, classic;
        AppendLinkText(valid, name, HtmlText::Valid);
        AppendHtmlText(classic, name);
        QCOMPARE(valid, html);
        QCOMPARE(ValidHtmlText(classic), html);
    }

    void folderTargetFromBytes()
    {
        QString out;
        AppendLinkTarget(out, NativeName::fromBytes("/m\xff/#/"), PageEncoding::Gbk);
        QCOMPARE(out, u"/m%FF/%23/"_s);
    }

    // A name that sets the direction of text is isolated, so it cannot reorder what follows
    // it on the line; every other name is its page text.
    void linkText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("html");
        const QString fsi = u"&#8296;"_s, pdi = u"&#8297;"_s;
        QTest::newRow("plain") << u"a <b>.txt"_s << u"a &lt;b&gt;.txt"_s;
        QTest::newRow("chinese") << u"报告.doc"_s << u"报告.doc"_s;
        QTest::newRow("override") << u"invoice\u202Efdp.exe"_s
                                  << fsi + u"invoice\u202Efdp.exe"_s + pdi;
        QTest::newRow("hebrew") << u"שלום.txt"_s << fsi + u"שלום.txt"_s + pdi;
        QTest::newRow("C1 controls show as what cannot be shown")
            << u"next\u0085line \u009b2J"_s << u"next\uFFFDline \uFFFD2J"_s;
        QTest::newRow("a stray isolate end")
            << u"x\u2069\u202Ey"_s << fsi + fsi + u"x\u2069\u202Ey"_s + pdi + pdi;
    }
    void linkText()
    {
        QFETCH(QString, name);
        QFETCH(QString, html);
        QString out;
        AppendLinkText(out, name);
        QCOMPARE(out, html);
    }
};

QTEST_GUILESS_MAIN(TestEscape)
#include "tst_escape.moc"
