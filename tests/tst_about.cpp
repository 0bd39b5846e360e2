// The about window: its controls, placement, single instance and the ways it closes.
#include "fakefilesystem.h"
#include "formfixture.h"
#include "ui/about.h"
#include "ui/application.h"
#include "ui/layout.h"
#include "ui/weaveform.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <QTimer>
#include <QUrl>
#include <optional>

#include <memory>

using namespace dirweaver;
using namespace Qt::StringLiterals;

class TestAbout : public QObject, public test::FormFixture
{
    Q_OBJECT

    test::FakeFileSystem fs;

    QList<AboutForm *> aboutWindows() const
    {
        QList<AboutForm *> found;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *about = qobject_cast<AboutForm *>(w); about && about->isVisible())
                found.append(about);
        }
        return found;
    }
    AboutForm *openAbout()
    {
        QTest::mouseClick(form->findChild<QPushButton *>(u"Command4"_s), Qt::LeftButton);
        const QList<AboutForm *> open = aboutWindows();
        return open.size() == 1 ? open.first() : nullptr;
    }
    static QRect px(const QRectF &twips) { return TwipsToPixels(twips, 96); }

private Q_SLOTS:
    void initTestCase()
    {
        SetUpApplication(*qApp, PageLanguage::Chinese);
        QDesktopServices::setUrlHandler(u"mailto"_s, &catcher, "open");
        fs.add("/docs", "a.txt");
    }
    void init()
    {
        openOn(fs, "/docs");
        QCOMPARE(form->logicalDpiX(), 96);
    }
    void cleanup()
    {
        form.reset();
        QTRY_VERIFY(aboutWindows().isEmpty());
        catcher.urls.clear();
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"mailto"_s); }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRectF>("twips");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("wraps");
        QTest::newRow("Label8") << u"Label8"_s << u"作者：Dirweaver 开发组"_s
                                << QRectF(600, 2160, 900, 180) << DesignRed() << false;
        QTest::newRow("Label3") << u"Label3"_s << u"名称：Dirweaver(目录编织器)"_s
                                << QRectF(2160, 240, 2070, 180) << DesignBlue() << false;
        QTest::newRow("Label4") << u"Label4"_s << u"版本：1.06"_s << QRectF(2160, 480, 900, 180)
                                << DesignBlue() << false;
        QTest::newRow("Label5") << u"Label5"_s << u"发布时间：2002/03/29"_s
                                << QRectF(2160, 720, 1800, 180) << DesignBlue() << false;
        QTest::newRow("Label1")
            << u"Label1"_s
            << u"功能：网页制作辅助工具。可直接生成超文本:对指定文件夹的文件迅速形相应的"
               u"Dirweaver。处理文件数量不限。本软件非常容易使用，用用就会！"_s
            << QRectF(2160, 1080, 2745, 975) << DesignBlue() << true;
        QTest::newRow("Label2") << u"Label2"_s << QString() << QRectF(120, 960, 1905, 1260)
                                << DesignRed() << true;
        QTest::newRow("Label10") << u"Label10"_s << ContactAddress() << QRectF(240, 2400, 1800, 180)
                                 << DesignRed() << false;
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRectF, twips);
        QFETCH(QColor, colour);
        QFETCH(bool, wraps);
        AboutForm *about = openAbout();
        QVERIFY(about);
        auto *label = about->findChild<QLabel *>(name);
        QVERIFY(label);
        if (!text.isNull())
            QCOMPARE(label->text(), text);
        QCOMPARE(label->palette().color(QPalette::WindowText), colour);
        QCOMPARE(label->pos(), px(twips).topLeft());
        if (wraps) {
            QCOMPARE(label->size(), px(twips).size());
            QVERIFY(label->wordWrap());
        } else {
            QCOMPARE(label->size(), label->sizeHint());
        }
    }

    void window()
    {
        AboutForm *about = openAbout();
        QVERIFY(about);
        QCOMPARE(about->objectName(), u"about"_s);
        QCOMPARE(about->windowTitle(), u"关于软件"_s);
        QCOMPARE(about->size(), px({0, 0, 5055, 2820}).size());
        QVERIFY(!about->parentWidget());
        auto *ok = about->findChild<QPushButton *>(u"Command1"_s);
        QCOMPARE(ok->text(), u"确定"_s);
        QCOMPARE(ok->geometry(), px({2640, 2160, 1455, 495}));
        QCOMPARE(about->focusWidget(), ok);
        QVERIFY(!ok->isDefault() && !ok->autoDefault());
        auto *image = about->findChild<QLabel *>(u"Image1"_s);
        QCOMPARE(image->geometry(), px({720, 120, 720, 720}));
        QCOMPARE(image->pixmap().size(), QSize(48, 48));

        QVERIFY(about->findChild<QLabel *>(u"Label2"_s)->text().startsWith(u"    我"_s));

        auto *address = about->findChild<QLabel *>(u"Label10"_s);
        QCOMPARE(address->font().family(), u"宋体"_s);
        QCOMPARE(address->font().pointSize(), 9);
        QVERIFY(address->font().underline());
        QCOMPARE(address->cursor().shape(), Qt::PointingHandCursor);
    }

    // What each control draws stays clear of the others, the remark and the author line too,
    // in either language.
    void nothingOverlaps_data()
    {
        QTest::addColumn<bool>("english");
        QTest::newRow("Chinese") << false;
        QTest::newRow("English") << true;
    }
    void nothingOverlaps()
    {
        QFETCH(bool, english);
        std::optional<test::InEnglish> inEnglish;
        if (english) {
            inEnglish.emplace(*this);
            openOn(fs, "/docs");
        }
        AboutForm *about = openAbout();
        QVERIFY(about);
        QList<std::pair<QString, QRect>> drawn;
        for (QWidget *w : about->findChildren<QWidget *>()) {
            QRect r = w->geometry();
            if (auto *label = qobject_cast<QLabel *>(w); label && label->wordWrap())
                r.setHeight(label->heightForWidth(label->width()));
            QVERIFY2(about->rect().contains(r), qPrintable(w->objectName()));
            for (const auto &[name, other] : drawn)
                QVERIFY2(!r.intersects(other), qPrintable(w->objectName() + u" / "_s + name));
            drawn.append({w->objectName(), r});
        }
        QCOMPARE(drawn.size(), 9);
    }

    void mailLink()
    {
        AboutForm *about = openAbout();
        QVERIFY(about);
        QTest::mouseClick(about->findChild<QLabel *>(u"Label10"_s), Qt::LeftButton);
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl(u"mailto:"_s + ContactAddress())});
        // Nothing of the program's own is shown, and both windows stay.
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(aboutWindows().size(), 1);
        QVERIFY(form->isVisible());
    }

    // Centred on the main window's outer rectangle, in twips, and not kept on the screen.
    void placement_data()
    {
        QTest::addColumn<QPointF>("mainAt");
        QTest::newRow("1000,1000") << QPointF(1000, 1000);
        QTest::newRow("origin") << QPointF(0, 0);
        QTest::newRow("left of the screen") << QPointF(-6000, 300);
    }
    void placement()
    {
        QFETCH(QPointF, mainAt);
        form->move(px({mainAt, QSizeF()}).topLeft());
        AboutForm *about = openAbout();
        QVERIFY(about);
        const QSizeF mainOuter = kMinimumOuterSize;
        const QSizeF aboutOuter = kAboutClientSize + kDesignFrame;
        const QPointF mainCentre = QPointF(form->frameGeometry().topLeft()) * 15 +
                                   QPointF(mainOuter.width(), mainOuter.height()) / 2;
        const QPointF aboutCentre = QPointF(about->frameGeometry().topLeft()) * 15 +
                                    QPointF(aboutOuter.width(), aboutOuter.height()) / 2;
        QVERIFY2((mainCentre - aboutCentre).manhattanLength() <= 15,
                 qPrintable(u"%1,%2 vs %3,%4"_s.arg(mainCentre.x())
                                .arg(mainCentre.y())
                                .arg(aboutCentre.x())
                                .arg(aboutCentre.y())));
        if (mainAt.x() < 0)
            QVERIFY(about->x() < 0);
    }

    // A second press only raises it: no second window, no new placement, no fresh period.
    void singleInstance()
    {
        QPointer<AboutForm> about = openAbout();
        QVERIFY(about);
        const QPoint at = about->pos();
        auto *timer = about->findChild<QTimer *>(u"Timer1"_s);
        QCOMPARE(timer->interval(), 15000);
        QVERIFY(timer->isActive());
        // A timer started again gets a new id.
        const int period = timer->timerId();
        form->move(form->pos() + QPoint(100, 100));
        QCOMPARE(openAbout(), about.data());
        QCOMPARE(about->pos(), at);
        QCOMPARE(timer->timerId(), period);

        // The main window keeps working meanwhile.
        const QString before = form->session().pageText();
        QTest::mouseClick(form->findChild<QCheckBox *>(u"Check8"_s), Qt::LeftButton);
        QVERIFY(form->session().pageText() != before);
    }

    void closes_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK") << u"ok"_s;
        QTest::newRow("frame") << u"frame"_s;
        QTest::newRow("timer") << u"timer"_s;
        QTest::newRow("Enter") << u"enter"_s;
        QTest::newRow("keypad Enter") << u"keypad"_s;
        QTest::newRow("Escape") << u"escape"_s;
    }
    void closes()
    {
        QFETCH(QString, how);
        QPointer<AboutForm> about = openAbout();
        QVERIFY(about);
        auto *timer = about->findChild<QTimer *>(u"Timer1"_s);
        if (how == u"ok")
            QTest::mouseClick(about->findChild<QPushButton *>(u"Command1"_s), Qt::LeftButton);
        else if (how == u"frame")
            about->close();
        else if (how == u"enter")
            QTest::keyClick(about->findChild<QPushButton *>(u"Command1"_s), Qt::Key_Return);
        else if (how == u"keypad")
            QTest::keyClick(about, Qt::Key_Enter, Qt::KeypadModifier);
        else if (how == u"escape")
            QTest::keyClick(about, Qt::Key_Escape);
        else
            timer->start(10); // the 15 seconds, shortened
        QTRY_VERIFY(!about);
        // Opened again, it is placed anew with a full 15 seconds.
        QPointer<AboutForm> again = openAbout();
        QVERIFY(again);
        auto *fresh = again->findChild<QTimer *>(u"Timer1"_s);
        QVERIFY(fresh->isActive());
        QCOMPARE(fresh->interval(), 15000);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
