#include "fakefilesystem.h"
#include "formfixture.h"
#include "output/preview.h"
#include "output/saving.h"
#include "page/progress.h"
#include "selection/filter.h"
#include "selection/titles.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/layout.h"
#include "ui/weaveform.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <sys/mount.h>

using namespace dirweaver;
using namespace Qt::StringLiterals;

namespace {

NativeName name(const char *path)
{
    return NativeName::fromBytes(QByteArray(path));
}

void addFiles(test::FakeFileSystem &fs, const QByteArray &folder, int count)
{
    fs.addFolder(folder);
    for (int i = 0; i < count; ++i)
        fs.add(folder, "f" + QByteArray::number(100000 + i) + ".txt", FileFacts{i, 1017396245});
}

} // namespace

class TestWeaveForm : public QObject, public test::FormFixture
{
    Q_OBJECT

    test::FakeFileSystem fs;

    void open(const char *folder, QList<Volume> volumes = {})
    {
        openOn(fs, folder, std::move(volumes));
    }
    // Acts at the first turn of the event loop once the build of toProcess files is under
    // way; a zero timer alone could fire while a slow machine still reads the folder.
    void duringBuild(qsizetype toProcess, std::function<void()> act)
    {
        auto *poll = new QTimer(form.get());
        poll->setInterval(0);
        const QString caption = u"需处理："_s + QString::number(toProcess);
        connect(poll, &QTimer::timeout, form.get(), [this, poll, caption, act] {
            if (control<QLabel>(u"Label10"_s)->text() != caption)
                return;
            poll->stop();
            act();
        });
        poll->start();
    }
    QModelIndex dirEntry(const QString &text) const
    {
        auto *dir = control<QListView>(u"Dir1"_s);
        const QModelIndexList found = dir->model()->match(
            dir->model()->index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchEndsWith);
        if (found.isEmpty())
            qFatal("no folder %s", qPrintable(text));
        return found.first();
    }
    void doubleClickFolder(const QString &text)
    {
        auto *dir = control<QListView>(u"Dir1"_s);
        const QPoint at = dir->visualRect(dirEntry(text)).center();
        QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, at);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "CST-8");
        SetUpApplication(*qApp, PageLanguage::Chinese);
        fs.addFolder("/");
        fs.add("/docs", "a.txt", FileFacts{1200, 1017396245});
        fs.add("/docs", "b.doc", FileFacts{512, 1017396245});
        fs.addFolder("/docs/sub");
        fs.add("/docs/sub", "c.txt");
        fs.addFolder("/docs/other");
        fs.add("/media/usb", "photo.jpg");
        addFiles(fs, "/big", 3000);
        addFiles(fs, "/small", 5);
    }
    void cleanup() { form.reset(); }

    // Every text of the English window is English: each of the design's words, on the
    // window, the about window, the save dialog and in the messages, has its translation.
    void allTranslated()
    {
        const test::InEnglish english(*this);
        open("/docs");
        QStringList texts{form->windowTitle()};
        const auto collect = [&texts](QWidget *top) {
            for (QWidget *w : top->findChildren<QWidget *>()) {
                texts << w->toolTip() << w->accessibleName() << w->accessibleDescription();
                if (auto *label = qobject_cast<QLabel *>(w))
                    texts << label->text();
                else if (auto *button = qobject_cast<QAbstractButton *>(w))
                    texts << button->text();
                else if (auto *line = qobject_cast<QLineEdit *>(w))
                    texts << line->text();
            }
        };
        collect(form.get());
        QVERIFY(!texts.filter(u"This page was made with Dirweaver"_s).isEmpty());
        control<QPushButton>(u"Command4"_s)->click();
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == u"about"_s && w->isVisible()) {
                texts << w->windowTitle();
                collect(w);
                w->close();
            }
        }
        std::unique_ptr<QFileDialog> dialog(CreateSaveDialog(form.get()));
        texts << dialog->windowTitle() << dialog->nameFilters();
        texts << SaveAndReport(u"/no/such/folder/x.htm"_s, "x").text
              << PreviewNotOpenedText(u"/tmp/p.htm"_s, 3) << *ProgressText(1, 3)
              << ProposedFileName(u"/"_s) << control<QPlainTextEdit>(u"Text1"_s)->toPlainText();
        const QRegularExpression chinese(u"[\\x{2e80}-\\x{9fff}\\x{ff00}-\\x{ffef}]"_s);
        // The heading's typeface is the design's, a name and no word of the page.
        QVERIFY2(texts.filter(chinese).join(u'|').remove(u"face=\"黑体\""_s).count(chinese) == 0,
                 qPrintable(texts.filter(chinese).join(u" | "_s)));
    }

    void startUp()
    {
        open("/docs");
        QCOMPARE(form->windowTitle(), u"Dirweaver V1.06"_s);
        QVERIFY(form->windowIcon().availableSizes().contains(QSize(48, 48)));
        QVERIFY(form->isVisible());
        for (const QString &on : {u"Check1"_s, u"Check21"_s, u"Check22"_s, u"Checkall"_s})
            QVERIFY2(control<QCheckBox>(on)->isChecked(), qPrintable(on));
        for (const QString &off : {u"Check8"_s, u"Check20"_s, u"Check2"_s, u"Check19"_s})
            QVERIFY2(!control<QCheckBox>(off)->isChecked(), qPrintable(off));
        QVERIFY(control<QRadioButton>(u"Option1_0"_s)->isChecked());
        auto *timer1 = form->findChild<QTimer *>(u"Timer1"_s);
        QVERIFY(timer1 && !timer1->isActive());
        QCOMPARE(timer1->interval(), 500);
        QCOMPARE(control<QLineEdit>(u"Text2"_s)->text(), u"Docs"_s);
        QCOMPARE(control<QLineEdit>(u"Text3"_s)->text(), u"Docs"_s);
        QCOMPARE(control<QLineEdit>(u"Text4"_s)->text(), u"本网页采用Dirweaver V1.06 制作！"_s);
        QCOMPARE(control<QListView>(u"File1"_s)->model()->rowCount(), 2);
        QCOMPARE(control<QPlainTextEdit>(u"Text1"_s)->toPlainText(),
                 QString(page()).replace(u"\r\n"_s, u"\n"_s));
        QVERIFY(page().contains(u"<A HREF=\"/docs/a.txt\">a.txt</A>"_s));
        QCOMPARE(control<QLabel>(u"Label10"_s)->text(), u"需处理：2"_s);
        QCOMPARE(control<QLabel>(u"Label11"_s)->text(), u"已处理：2"_s);
        QCOMPARE(control<QLabel>(u"Label12"_s)->text(), u"进度(%)：100   "_s);
    }

    void captionsAndColours_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QColor>("colour");
        const QColor blue(0, 0, 255), red(255, 0, 0), black(0, 0, 0);
        QTest::newRow("Label1") << u"Label1"_s << u"源文件路径(驱动器及目录):"_s << red;
        QTest::newRow("Label9") << u"Label9"_s << u"扩展名要求:"_s << red;
        QTest::newRow("Label5") << u"Label5"_s << u"超文本语言源代码:"_s << blue;
        QTest::newRow("Label2") << u"Label2"_s << u"链接项目的位置"_s << blue;
        QTest::newRow("Check1") << u"Check1"_s << u"链接采用绝对路径"_s << blue;
        QTest::newRow("Check22") << u"Check22"_s << u"注明文件建立日期"_s << blue;
        QTest::newRow("Option1_1") << u"Option1_1"_s << u"中"_s << blue;
        QTest::newRow("Check17") << u"Check17"_s << u"多媒体文件"_s << black;
        QTest::newRow("Checkall") << u"Checkall"_s << u"*.* (所有文件)"_s << black;
        QTest::newRow("Command3") << u"Command3"_s << u"生成Dirweaver文本"_s << QColor();
        QTest::newRow("Command1") << u"Command1"_s << u"结束程序"_s << QColor();
    }
    void captionsAndColours()
    {
        QFETCH(QString, control);
        QFETCH(QString, caption);
        QFETCH(QColor, colour);
        if (!form)
            open("/docs");
        QWidget *w = this->control(control);
        QCOMPARE(w->property("text").toString(), caption);
        if (colour.isValid())
            QCOMPARE(w->palette().color(QPalette::WindowText), colour);
        QCOMPARE(QFontInfo(w->font()).pointSize(), 9);
    }

    void fontAndTranslation()
    {
        QCOMPARE(QFontInfo(QApplication::font()).family(), u"AR PL UMing CN"_s);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"取消"_s);
    }

    void keyboardOrder()
    {
        open("/docs");
        const QStringList expected = {
            u"Drive1"_s,   u"Dir1"_s,      u"File1"_s,     u"Command1"_s,  u"Text1"_s,
            u"Command3"_s, u"Text2"_s,     u"Check1"_s,    u"Text3"_s,     u"Text4"_s,
            u"Check2"_s,   u"Check3"_s,    u"Check4"_s,    u"Check5"_s,    u"Check6"_s,
            u"Check7"_s,   u"Check8"_s,    u"Check9"_s,    u"Checkall"_s,  u"Check10"_s,
            u"Check11"_s,  u"Check12"_s,   u"Check13"_s,   u"Check14"_s,   u"Check15"_s,
            u"Check16"_s,  u"Check17"_s,   u"Check18"_s,   u"Check19"_s,   u"Check20"_s,
            u"Command4"_s, u"Option1_0"_s, u"Option1_1"_s, u"Option1_2"_s, u"Command5"_s,
            u"Check21"_s,  u"Check22"_s,   u"Command6"_s};
        QStringList order;
        QWidget *w = control(u"Drive1"_s);
        do {
            if (w->focusPolicy() & Qt::TabFocus)
                order.append(w->objectName());
            w = w->nextInFocusChain();
        } while (w != control(u"Drive1"_s) && order.size() < 100);
        order.removeAll(QString()); // inner parts of composite controls
        QCOMPARE(order, expected);
    }

    void layoutFollowsSize_data()
    {
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<QSizeF>("outer");
        QTest::newRow("design size") << QSize(585, 473) << QSizeF(8900, 7500);
        QTest::newRow("smaller snaps back") << QSize(300, 200) << QSizeF(8900, 7500);
        QTest::newRow("only too narrow") << QSize(100, 533) << QSizeF(8900, 8400);
        QTest::newRow("wider and higher") << QSize(645, 540) << QSizeF(9800, 8505);
    }
    void layoutFollowsSize()
    {
        QFETCH(QSize, requested);
        QFETCH(QSizeF, outer);
        open("/docs");
        form->resize(requested);
        const qreal dpi = form->logicalDpiX();
        QCOMPARE(dpi, 96.0);
        QCOMPARE(PixelsToTwips(form->size(), dpi) + kDesignFrame, outer);
        for (const ControlRect &r : LayoutControls(outer)) {
            QWidget *w = control(r.name);
            const QRect px = TwipsToPixels(r.rect, dpi);
            if (qobject_cast<QLabel *>(w))
                QCOMPARE(w->pos(), px.topLeft()); // labels size themselves to their caption
            else
                QVERIFY2(w->geometry() == px, qPrintable(r.name));
        }
    }

    void minimisedKeepsLayout()
    {
        open("/docs");
        const QRect before = control(u"Command6"_s)->geometry();
        form->setWindowState(Qt::WindowMinimized);
        form->resize(900, 900);
        QCOMPARE(control(u"Command6"_s)->geometry(), before);
    }

    void bulletsForceLeft()
    {
        open("/docs");
        click(u"Option1_2"_s);
        QVERIFY(page().contains(u"<P align=\"right\">"_s));
        click(u"Check20"_s);
        QVERIFY(control<QRadioButton>(u"Option1_0"_s)->isChecked());
        for (const QString &o : {u"Option1_0"_s, u"Option1_1"_s, u"Option1_2"_s})
            QVERIFY(!control(o)->isEnabled());
        QVERIFY(page().contains(u"<P align=\"left\">\r\n<li><A HREF"_s));
        QVERIFY(page().contains(u" </li>\r\n"_s));

        click(u"Check20"_s);
        for (const QString &o : {u"Option1_0"_s, u"Option1_1"_s, u"Option1_2"_s})
            QVERIFY(control(o)->isEnabled());
        QVERIFY(control<QRadioButton>(u"Option1_0"_s)->isChecked());
        QVERIFY(page().contains(u"<P align=\"left\">\r\n<A HREF"_s));
    }

    void optionBoxesRebuild_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("gone");
        QTest::addColumn<QString>("appears");
        QTest::newRow("Check1") << u"Check1"_s << u"HREF=\"/docs/a.txt\""_s << u"HREF=\"a.txt\""_s;
        QTest::newRow("Check8") << u"Check8"_s << u"\r\n</P><HR>"_s << u"<P align=\"left\"><A"_s;
        QTest::newRow("Check21") << u"Check21"_s << u"字节)"_s << u"2002年3月29日 18:04:05"_s;
        QTest::newRow("Check22") << u"Check22"_s << u"2002年3月29日"_s << u"(1200字节)"_s;
    }
    void optionBoxesRebuild()
    {
        QFETCH(QString, box);
        QFETCH(QString, gone);
        QFETCH(QString, appears);
        open("/docs");
        QVERIFY(page().contains(gone));
        click(box);
        QVERIFY(!page().contains(gone));
        QVERIFY(page().contains(appears));
    }

    void sameAlignmentRebuildsAndReplacesEdits()
    {
        open("/docs");
        auto *text1 = control<QPlainTextEdit>(u"Text1"_s);
        text1->setPlainText(u"手写的内容"_s);
        click(u"Option1_0"_s);
        QVERIFY(text1->toPlainText().startsWith(u"<HTML>"_s));
        QVERIFY(!page().contains(u"手写的内容"_s));
    }

    void typeBoxesFilterAndKeepTitles()
    {
        open("/docs");
        control<QLineEdit>(u"Text3"_s)->setText(u"我的页眉"_s);
        click(u"Check5"_s); // "*.txt", while all files stay ticked
        QCOMPARE(form->session().pattern(), u"*.*"_s);
        QVERIFY(page().contains(u"我的页眉"_s));
        click(u"Checkall"_s);
        QCOMPARE(form->session().pattern(), u"*.txt"_s);
        QCOMPARE(control<QListView>(u"File1"_s)->model()->rowCount(), 1);
        QVERIFY(!page().contains(u"b.doc"_s));
        QCOMPARE(control<QLineEdit>(u"Text3"_s)->text(), u"我的页眉"_s);
        click(u"Check5"_s);
        QCOMPARE(form->session().pattern(), u"*.zzz"_s);
        QCOMPARE(control<QLabel>(u"Label10"_s)->text(), u"需处理：0"_s);
        QCOMPARE(control<QLabel>(u"Label11"_s)->text(), u"已处理：0"_s);
        QCOMPARE(control<QLabel>(u"Label12"_s)->text(), u"进度(%)："_s);
    }

    // Enter on a focused button presses it, as a click does; elsewhere it does nothing.
    void enterPressesFocusedButton_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("pressed");
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
        QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier) << false;
    }
    void enterPressesFocusedButton()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, pressed);
        open("/docs");
        control<QLineEdit>(u"Text3"_s)->setText(u"新页眉"_s);
        auto *button = control<QPushButton>(u"Command5"_s);
        button->setFocus();
        QTest::keyClick(button, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_COMPARE(page().contains(u"新页眉"_s), pressed);
    }

    // Every control a screen reader reaches has a name: the caption beside a box, what a
    // list lists, a button's or a check box's own text.
    void accessibleNames_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("source box") << u"Text1"_s << u"超文本语言源代码"_s;
        QTest::newRow("browser title") << u"Text2"_s << u"IE标题"_s;
        QTest::newRow("header title") << u"Text3"_s << u"网页页眉标题"_s;
        QTest::newRow("footer title") << u"Text4"_s << u"网页页脚标题"_s;
        QTest::newRow("drives, by their label") << u"Drive1"_s << u"源文件路径(驱动器及目录):"_s;
        QTest::newRow("folders") << u"Dir1"_s << u"目录"_s;
        QTest::newRow("files") << u"File1"_s << u"文件"_s;
        QTest::newRow("button") << u"Command3"_s << u"生成Dirweaver文本"_s;
        QTest::newRow("check box") << u"Check21"_s << u"注明文件大小"_s;
        QTest::newRow("alignment") << u"Option1_1"_s << u"中"_s;
    }
    void accessibleNames()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        open("/docs");
        QAccessibleInterface *spoken =
            QAccessible::queryAccessibleInterface(this->control<QWidget>(control));
        QVERIFY(spoken);
        QString spokenName = spoken->text(QAccessible::Name);
        if (spoken->role() == QAccessible::ComboBox) {
            const auto labels = spoken->relations(QAccessible::Label);
            spokenName = labels.isEmpty() ? QString() : labels[0].first->text(QAccessible::Name);
        }
        QCOMPARE(spokenName, name);
        // And none that takes the focus goes unnamed.
        for (QWidget *w : form->findChildren<QWidget *>()) {
            if (w->focusPolicy() == Qt::NoFocus || w->objectName().isEmpty() || !w->isVisible())
                continue;
            QAccessibleInterface *each = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(each && !each->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
        }
    }

    void updateTitlesButton()
    {
        open("/docs");
        control<QLineEdit>(u"Text3"_s)->setText(u"新页眉"_s);
        control<QLineEdit>(u"Text4"_s)->setText(u"新页脚"_s);
        QVERIFY(!page().contains(u"新页眉"_s));
        click(u"Command5"_s);
        QVERIFY(page().contains(u"face=\"黑体\">新页眉</FONT>"_s));
        QVERIFY(page().contains(u"<P align=\"center\">新页脚</P>"_s));
        QCOMPARE(control<QLineEdit>(u"Text2"_s)->text(), u"Docs"_s);
    }

    void openingFolders()
    {
        open("/docs");
        control<QLineEdit>(u"Text3"_s)->setText(u"我的页眉"_s);
        doubleClickFolder(u"sub"_s);
        QCOMPARE(form->dirPath().bytes, QByteArray("/docs/sub"));
        QCOMPARE(control<QLineEdit>(u"Text3"_s)->text(), u"Sub"_s);
        QCOMPARE(form->session().folderTitle(), u"sub"_s);
        QVERIFY(page().contains(u"HREF=\"/docs/sub/c.txt\""_s));

        // A single click only selects: the page keeps the open folder's links.
        auto *dir = control<QListView>(u"Dir1"_s);
        QTest::mouseClick(dir->viewport(), Qt::LeftButton, {},
                          dir->visualRect(dirEntry(u"docs"_s)).center());
        QCOMPARE(dir->currentIndex(), dirEntry(u"docs"_s));
        click(u"Check21"_s);
        QCOMPARE(form->dirPath().bytes, QByteArray("/docs/sub"));
        QVERIFY(page().contains(u"HREF=\"/docs/sub/c.txt\""_s));

        doubleClickFolder(u"docs"_s);
        QCOMPARE(form->dirPath().bytes, QByteArray("/docs"));
        QVERIFY(page().contains(u"HREF=\"/docs/a.txt\""_s));
    }

    void unreadableFolderFromTheList()
    {
        fs.addFolder("/docs/other", EACCES);
        open("/docs");
        doubleClickFolder(u"other"_s);
        QCOMPARE(form->dirPath().bytes, QByteArray("/docs/other"));
        QCOMPARE(control<QListView>(u"File1"_s)->model()->rowCount(), 0);
        QVERIFY(!page().contains(u"<A HREF"_s));
        QCOMPARE(control<QLabel>(u"Label10"_s)->text(), u"需处理：0"_s);
        fs.addFolder("/docs/other");
    }

    // A type box's tooltip is exactly what it adds to the listing, so a group's patterns
    // are seen before it is ticked; the link and layout options say what they do.
    void tooltips()
    {
        open("/docs");
        for (const TypeBox &box : TypeBoxes())
            QCOMPARE(control<QCheckBox>(box.control.toString())->toolTip(), box.masks.toString());
        QCOMPARE(control<QCheckBox>(u"Checkall"_s)->toolTip(), u"*.*"_s);
        for (const QString &name : {u"Check1"_s, u"Check8"_s, u"Check20"_s, u"Check21"_s,
                                    u"Check22"_s, u"Option1_0"_s, u"Option1_1"_s, u"Option1_2"_s})
            QVERIFY2(!control(name)->toolTip().isEmpty(), qPrintable(name));
    }

    // At the window's smallest, no caption is cut in either language: each text, measured
    // with its control's font, fits the part of the control that holds text.
    void captionsFit_data()
    {
        QTest::addColumn<bool>("english");
        QTest::newRow("Chinese") << false;
        QTest::newRow("English") << true;
    }
    void captionsFit()
    {
        QFETCH(bool, english);
        std::optional<test::InEnglish> inEnglish;
        if (english)
            inEnglish.emplace(*this);
        open("/docs");
        form->resize(form->minimumSize());
        QStringList cut;
        // What each control draws on the window: a caption's own ink (as wide as its text,
        // its lines high, in the part of the control that holds text), a box its whole self.
        QList<std::pair<QWidget *, QRect>> drawn;
        for (QWidget *w : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!w->isVisible() || w->objectName().isEmpty())
                continue;
            QString text;
            QRect room = w->contentsRect();
            if (auto *label = qobject_cast<QLabel *>(w)) {
                text = label->text();
            } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
                text = button->text();
                QStyleOptionButton option;
                option.initFrom(button);
                option.text = text;
                const QStyle::SubElement part =
                    qobject_cast<QCheckBox *>(w)      ? QStyle::SE_CheckBoxContents
                    : qobject_cast<QRadioButton *>(w) ? QStyle::SE_RadioButtonContents
                                                      : QStyle::SE_PushButtonContents;
                room = w->style()->subElementRect(part, &option, w);
            }
            // A caption of several lines needs its widest line's width and every line's
            // height.
            int needed = 0;
            for (const QString &line : text.trimmed().split(u'\n'))
                needed = std::max(needed, w->fontMetrics().horizontalAdvance(line));
            const int high = w->fontMetrics().height() * int(text.count(u'\n') + 1);
            if (high > room.height())
                needed = room.width() + 1;
            if (!text.isEmpty() && needed > room.width())
                cut.append(u"%1 \"%2\": %3 px in %4"_s.arg(w->objectName(), text)
                               .arg(needed)
                               .arg(room.width()));
            const bool caption = qobject_cast<QLabel *>(w) || qobject_cast<QCheckBox *>(w) ||
                                 qobject_cast<QRadioButton *>(w);
            const QRect ink = caption ? QRect(room.left(), room.center().y() - high / 2,
                                              std::min(needed, room.width()), high)
                                      : w->rect();
            drawn.append({w, ink.translated(w->pos())});
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u"; "_s)));
        // Nor does a control's text run over another control.
        QStringList over;
        for (const auto &[a, inkA] : drawn) {
            for (const auto &[b, inkB] : drawn) {
                if (a < b && inkA.intersects(inkB))
                    over.append(a->objectName() + u" and "_s + b->objectName());
            }
        }
        QVERIFY2(over.isEmpty(), qPrintable(over.join(u"; "_s)));
    }

    void drives()
    {
        open("/docs", {{name("/media/usb"), u"PHOTOS"_s}, {name("/media/cdrom"), {}}});
        auto *drive = control<QComboBox>(u"Drive1"_s);
        QCOMPARE(drive->count(), 3);
        QCOMPARE(drive->currentText(), u"/"_s);

        drive->setCurrentIndex(drive->findText(u"/media/usb [PHOTOS]"_s));
        QCOMPARE(form->dirPath().bytes, QByteArray("/media/usb"));
        QVERIFY(page().contains(u"photo.jpg"_s));

        // Back on "/", the folder last opened there opens again.
        drive->setCurrentIndex(drive->findText(u"/"_s));
        QCOMPARE(form->dirPath().bytes, QByteArray("/docs"));

        // A volume that cannot be read: the list falls back without a word or a rebuild.
        const QString before = page();
        control<QLineEdit>(u"Text3"_s)->setText(u"我的页眉"_s);
        drive->setCurrentIndex(drive->findText(u"/media/cdrom"_s));
        QCOMPARE(drive->currentText(), u"/"_s);
        QCOMPARE(form->dirPath().bytes, QByteArray("/docs"));
        QCOMPARE(page(), before);
        QCOMPARE(control<QLineEdit>(u"Text3"_s)->text(), u"我的页眉"_s);

        // A disk mounted while the window is open joins the list, one taken away leaves it;
        // the open folder, its drive and its page stay, and each drive keeps its folder.
        form->volumesChanged({{name("/media/usb"), u"PHOTOS"_s}, {name("/media/new"), {}}});
        QCOMPARE(drive->count(), 3);
        QCOMPARE(drive->itemText(1), u"/media/new"_s);
        QCOMPARE(drive->currentText(), u"/"_s);
        QCOMPARE(form->dirPath().bytes, QByteArray("/docs"));
        QCOMPARE(page(), before);
        QCOMPARE(form->drives().currentFolder(0).bytes, QByteArray("/docs"));
    }

    // The drive list follows the machine's mounts while the window is open: a file system
    // mounted comes, and goes when it is taken away (root only: the test mounts a tmpfs).
    void drivesFollowMounts()
    {
        QTemporaryDir dir;
        const QByteArray point = QFile::encodeName(dir.path());
        form = std::make_unique<WeaveForm>(fs, QLocale(QLocale::Chinese, QLocale::China),
                                           MountedVolumes());
        form->followMounts();
        auto *drive = control<QComboBox>(u"Drive1"_s);
        if (mount("tmpfs", point.constData(), "tmpfs", 0, nullptr) != 0)
            QSKIP(qPrintable(u"cannot mount a tmpfs here: "_s +
                             QString::fromLocal8Bit(strerror(errno))));
        auto unmount = qScopeGuard([&] { umount2(point.constData(), MNT_DETACH); });
        QTRY_VERIFY(drive->findText(dir.path(), Qt::MatchStartsWith) >= 0);
        QCOMPARE(drive->currentText(), u"/"_s);
        QCOMPARE(umount2(point.constData(), MNT_DETACH), 0);
        unmount.dismiss();
        QTRY_VERIFY(drive->findText(dir.path(), Qt::MatchStartsWith) < 0);
    }

    // A folder opened during a long build leaves the list shorter than the running build:
    // the build stops unseen and the deferred refresh shows the new folder half a second on.
    void shorterFolderDuringBuild()
    {
        form = std::make_unique<WeaveForm>(fs, QLocale(QLocale::Chinese, QLocale::China),
                                           QList<Volume>{{name("/small"), {}}});
        auto *drive = control<QComboBox>(u"Drive1"_s);
        duringBuild(3000, [&] { drive->setCurrentIndex(drive->findText(u"/small"_s)); });
        form->Form_Load(name("/big"));
        auto *timer1 = form->findChild<QTimer *>(u"Timer1"_s);
        QVERIFY(timer1->isActive());
        QCOMPARE(form->dirPath().bytes, QByteArray("/small"));
        QCOMPARE(page().count(u"<A HREF"_s), 5);
        QTRY_VERIFY_WITH_TIMEOUT(!timer1->isActive(), 3000);
        QCOMPARE(page().count(u"<A HREF"_s), 5);
        QCOMPARE(page().count(u"</HTML>"_s), 1);
        QCOMPARE(control<QLabel>(u"Label11"_s)->text(), u"已处理：5"_s);
        QCOMPARE(control<QPlainTextEdit>(u"Text1"_s)->toPlainText().count(u"<A HREF"_s), 5);
    }

    // The window answers while a folder it opens is still being read, and a folder opened
    // meanwhile is the one that stands: the earlier reading is left unseen.
    void folderOpenedWhileAnotherIsRead()
    {
        form = std::make_unique<WeaveForm>(fs, QLocale(QLocale::Chinese, QLocale::China),
                                           QList<Volume>{{name("/small"), {}}});
        auto *drive = control<QComboBox>(u"Drive1"_s);
        int rowsWhenAnswered = -1;
        QTimer::singleShot(50, form.get(), [&] {
            rowsWhenAnswered = control<QListView>(u"Dir1"_s)->model()->rowCount();
            fs.listingLatency = std::chrono::milliseconds(0);
            drive->setCurrentIndex(drive->findText(u"/small"_s));
        });
        fs.listingLatency = std::chrono::milliseconds(400);
        form->Form_Load(name("/big"));
        QCOMPARE(rowsWhenAnswered, 0); // nothing shown yet of the folder being read
        QCOMPARE(form->dirPath().bytes, QByteArray("/small"));
        QCOMPARE(page().count(u"<A HREF"_s), 5);
        QCOMPARE(control<QListView>(u"File1"_s)->model()->rowCount(), 5);
        QCOMPARE(page().count(u"</HTML>"_s), 1);
    }

    // Any other click during a build: the nested build's page stands, with one foot.
    void optionClickDuringBuild()
    {
        form = std::make_unique<WeaveForm>(fs, QLocale(QLocale::Chinese, QLocale::China),
                                           QList<Volume>{});
        duringBuild(3000, [&] { click(u"Check8"_s); });
        form->Form_Load(name("/big"));
        QVERIFY(control<QCheckBox>(u"Check8"_s)->isChecked());
        QVERIFY(!form->findChild<QTimer *>(u"Timer1"_s)->isActive());
        QCOMPARE(page().count(u"<A HREF"_s), 3000);
        QCOMPARE(page().count(u"</P><BR>"_s), 3000); // every line in the blank-line layout
        QCOMPARE(page().count(u"</HTML>"_s), 1);
        QCOMPARE(control<QLabel>(u"Label11"_s)->text(), u"已处理：3000"_s);
    }

    void exitDuringBuild()
    {
        form = std::make_unique<WeaveForm>(fs, QLocale(QLocale::Chinese, QLocale::China),
                                           QList<Volume>{});
        duringBuild(3000, [&] { click(u"Command1"_s); });
        form->Form_Load(name("/big"));
        QVERIFY(!form->isVisible());
        QVERIFY(!form->session().building());
        QVERIFY(page().isEmpty()); // the unfinished page was never kept
        QVERIFY(control<QPlainTextEdit>(u"Text1"_s)->toPlainText().isEmpty());
    }
};

QTEST_MAIN(TestWeaveForm)
#include "tst_weaveform.moc"
