#include "controls.h"

#include "listviews.h"
#include "sourcebox.h"
#include "windowtext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// Builds the controls one by one and chains them into the keyboard order as they come.
class Builder
{
public:
    Builder(QWidget *form, WeaveControls &c) : form_(form), c_(c) {}

    template <typename T>
    T *add(const QString &name, const QString &caption = {}, const QColor &colour = {})
    {
        T *w = new T(form_);
        w->setObjectName(name);
        if constexpr (requires { w->setText(caption); }) {
            if (!caption.isEmpty())
                w->setText(caption);
        }
        if (colour.isValid())
            SetCaptionColour(w, colour);
        c_.byName.insert(name, w);
        if (w->focusPolicy() != Qt::NoFocus) {
            if (last_)
                QWidget::setTabOrder(last_, w);
            last_ = w;
        }
        return w;
    }

private:
    QWidget *form_;
    WeaveControls &c_;
    QWidget *last_ = nullptr;
};

// Tab enters the alignment group at its selected button from either side, as option groups
// take the keyboard: one stop, the arrow keys move within.
class OptionGroupFocus final : public QObject
{
public:
    OptionGroupFocus(const std::array<QRadioButton *, 3> &buttons, QObject *parent)
        : QObject(parent), buttons_(buttons)
    {
        for (QRadioButton *b : buttons_)
            b->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::FocusIn)
            return false;
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        auto *button = static_cast<QRadioButton *>(watched);
        if (button->isChecked() ||
            (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason))
            return false;
        for (QRadioButton *b : buttons_) {
            if (b->isChecked() && b->isEnabled()) {
                b->setFocus(reason);
                break;
            }
        }
        return false;
    }

private:
    std::array<QRadioButton *, 3> buttons_;
};

// Presses the watched button on Enter.
class EnterPresses final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers other = key->modifiers() & ~Qt::KeypadModifier;
        if (!enter || other != Qt::NoModifier || key->isAutoRepeat())
            return false;
        static_cast<QPushButton *>(watched)->animateClick();
        return true;
    }
};

// The caption a screen reader gives a control: its label's text without the colon.
QString spokenCaption(const QString &caption)
{
    QString name = caption.trimmed();
    while (name.endsWith(u'：') || name.endsWith(u':'))
        name.chop(1);
    return name;
}

} // namespace

void PressOnEnter(QPushButton *button)
{
    button->installEventFilter(new EnterPresses(button));
}

void SetCaptionColour(QWidget *control, const QColor &colour)
{
    QPalette palette = control->palette();
    palette.setColor(QPalette::WindowText, colour);
    control->setPalette(palette);
}

QColor DesignBlue()
{
    return {0, 0, 255};
}

QColor DesignRed()
{
    return {255, 0, 0};
}

namespace {

// The group boxes' captions as the translation finds them; the filter table holds them.
[[maybe_unused]] constexpr const char *kGroupCaptions[] = {
    QT_TRANSLATE_NOOP("Dirweaver", "多媒体文件"),
    QT_TRANSLATE_NOOP("Dirweaver", "Office文件"),
    QT_TRANSLATE_NOOP("Dirweaver", "常见设计文件"),
};

// The save dialog's table type, which its text tells apart.
QString tableFileType()
{
    return WindowText::tr("超文本表格 (*.htm)");
}

QString gbkFileType()
{
    return WindowText::tr("超文本文件 (*.htm)");
}

QString utf8FileType()
{
    return WindowText::tr("超文本文件 UTF-8 编码 (*.htm)");
}

QString jsonFileType()
{
    return WindowText::tr("JSON 数据 (*.json)");
}

} // namespace

QString CatalogueFileType()
{
    return WindowText::tr("目录总览 (*.htm)");
}

QFileDialog *CreateSaveDialog(QWidget *form)
{
    auto *dialog = new QFileDialog(form, WindowText::tr("生成Dirweaver文本"));
    dialog->setObjectName(u"CmD1"_s);
    // Qt's own dialog behaves the same under every desktop, and honours the suffix.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(
        {gbkFileType(), utf8FileType(), tableFileType(), jsonFileType(), CatalogueFileType()});
    dialog->selectNameFilter(gbkFileType());
    dialog->setDefaultSuffix(u"htm"_s);
    // A name typed without its suffix gets the chosen type's.
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString &type) {
        dialog->setDefaultSuffix(type == jsonFileType() ? u"json"_s : u"htm"_s);
    });
    return dialog;
}

OutputForm ChosenForm(const QFileDialog &dialog)
{
    const QString chosen = dialog.selectedNameFilter();
    if (chosen == tableFileType())
        return {&TableFormat(), PageEncoding::Utf8};
    if (chosen == jsonFileType())
        return {&JsonFormat(), PageEncoding::Utf8};
    return {&ClassicFormat(), chosen == utf8FileType() ? PageEncoding::Utf8 : PageEncoding::Gbk};
}

namespace {

// The controls' first states: the core's own defaults, and how they take the keyboard.
void setInitialStates(WeaveControls &c, QWidget *form)
{
    const PageOptions defaults;
    const FilterBoxes filterDefaults;
    c.Check1->setChecked(defaults.absolutePath);
    c.Check8->setChecked(defaults.blankLine);
    c.Check20->setChecked(defaults.bullet);
    c.Check21->setChecked(defaults.showSize);
    c.Check22->setChecked(defaults.showDate);
    c.Checkall->setChecked(filterDefaults.all);
    for (std::size_t i = 0; i < kTypeBoxCount; ++i)
        c.typeBoxes[i]->setChecked(filterDefaults.types[i]);
    c.Option1[std::size_t(defaults.align)]->setChecked(true);
    new OptionGroupFocus(c.Option1, form);
    for (QLineEdit *box : {c.Text2, c.Text3, c.Text4})
        box->setCursorPosition(0);
    c.Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The drive list's rows hold their whole text too.
    c.Drive1->setItemDelegate(new WholeTextDelegate(c.Drive1));
    // Tab leaves the source box, as it leaves every other control.
    c.Text1->setTabChangesFocus(true);

    for (QPushButton *button : {c.Command1, c.Command3, c.Command4, c.Command5, c.Command6})
        PressOnEnter(button);
}

// Boxes are named by the caption beside them, the lists by what they list, the alignment
// buttons with their caption; buttons and check boxes by their own text.
void nameForScreenReaders(WeaveControls &c)
{
    const auto caption = [&c](const QString &label) {
        return spokenCaption(static_cast<QLabel *>(c.byName.value(label))->text());
    };
    c.Text1->setAccessibleName(caption(u"Label5"_s));
    c.Text2->setAccessibleName(caption(u"Label4"_s));
    c.Text3->setAccessibleName(caption(u"Label3"_s));
    c.Text4->setAccessibleName(caption(u"Label7"_s));
    c.Drive1->setAccessibleName(WindowText::tr("驱动器"));
    // A drop-down list is named on Linux by the label that stands for it.
    static_cast<QLabel *>(c.byName.value(u"Label1"_s))->setBuddy(c.Drive1);
    c.Dir1->setAccessibleName(WindowText::tr("目录"));
    c.Dir1->setAccessibleDescription(caption(u"Label1"_s));
    c.Drive1->setAccessibleDescription(caption(u"Label1"_s));
    c.File1->setAccessibleName(WindowText::tr("文件"));
    for (QRadioButton *button : c.Option1)
        button->setAccessibleDescription(caption(u"Label2"_s));
    for (QCheckBox *box : c.typeBoxes)
        box->setAccessibleDescription(caption(u"Label9"_s));
}

} // namespace

WeaveControls CreateControls(QWidget *form, PageLanguage language)
{
    WeaveControls c;
    Builder b(form, c);
    const QColor kBlue = DesignBlue();
    const QColor kRed = DesignRed();
    const auto &types = TypeBoxes();
    const auto typeBox = [&](std::size_t i) {
        QCheckBox *box = b.add<QCheckBox>(types[i].control.toString(),
                                          WindowText::tr(types[i].caption.toUtf8().constData()));
        // What a box adds is not always its caption: a group's patterns are seen only here.
        box->setToolTip(types[i].masks.toString());
        c.typeBoxes[i] = box;
    };
    // Type boxes by their place in the filter table: Check2..Check7, Check9..Check19.
    const auto typeIndex = [](int check) { return std::size_t(check < 8 ? check - 2 : check - 3); };

    c.Drive1 = b.add<QComboBox>(u"Drive1"_s);
    c.Dir1 = b.add<ListBox>(u"Dir1"_s);
    c.File1 = b.add<ListBox>(u"File1"_s);
    c.Command1 = b.add<QPushButton>(u"Command1"_s, WindowText::tr("结束程序"));
    c.Text1 = b.add<SourceBox>(u"Text1"_s);
    c.Command3 = b.add<QPushButton>(u"Command3"_s, WindowText::tr("生成Dirweaver文本"));
    b.add<QLabel>(u"Label3"_s, WindowText::tr("网页页眉标题："), kBlue);
    c.Text2 = b.add<QLineEdit>(u"Text2"_s, WindowText::tr("IE标题"));
    c.Check1 = b.add<QCheckBox>(u"Check1"_s, WindowText::tr("链接采用绝对路径"), kBlue);
    b.add<QLabel>(u"Label4"_s, WindowText::tr("IE标题："), kBlue);
    c.Text3 = b.add<QLineEdit>(u"Text3"_s, WindowText::tr("网页页眉标题"));
    c.Text4 = b.add<QLineEdit>(u"Text4"_s, DefaultFooter(language));
    b.add<QLabel>(u"Label7"_s, WindowText::tr("网页页脚标题："), kBlue);
    b.add<QLabel>(u"Label1"_s, WindowText::tr("源文件路径(驱动器及目录):"), kRed);
    b.add<QLabel>(u"Label5"_s, WindowText::tr("超文本语言源代码:"), kBlue);
    for (int check = 2; check <= 7; ++check)
        typeBox(typeIndex(check));
    c.Check8 = b.add<QCheckBox>(u"Check8"_s, WindowText::tr("链接之间插入空行"), kBlue);
    typeBox(typeIndex(9));
    c.Checkall = b.add<QCheckBox>(u"Checkall"_s, WindowText::tr("*.* (所有文件)"));
    for (int check = 10; check <= 16; ++check)
        typeBox(typeIndex(check));
    b.add<QLabel>(u"Label9"_s, WindowText::tr("扩展名要求:"), kRed);
    for (int check = 17; check <= 19; ++check)
        typeBox(typeIndex(check));
    c.Check20 = b.add<QCheckBox>(u"Check20"_s, WindowText::tr("链接前加项目符号"), kBlue);
    c.Command4 = b.add<QPushButton>(u"Command4"_s, WindowText::tr("关于软件"));
    c.Option1[0] = b.add<QRadioButton>(u"Option1_0"_s, WindowText::tr("左"), kBlue);
    c.Option1[1] = b.add<QRadioButton>(u"Option1_1"_s, WindowText::tr("中"), kBlue);
    c.Option1[2] = b.add<QRadioButton>(u"Option1_2"_s, WindowText::tr("右"), kBlue);
    b.add<QLabel>(u"Label2"_s, WindowText::tr("链接项目的位置"), kBlue);
    c.Command5 = b.add<QPushButton>(u"Command5"_s, WindowText::tr("更新标题"));
    c.Label11 = b.add<QLabel>(u"Label11"_s, WindowText::tr("已处理："), kBlue);
    c.Label10 = b.add<QLabel>(u"Label10"_s, WindowText::tr("需处理："), kBlue);
    c.Label12 = b.add<QLabel>(u"Label12"_s, WindowText::tr("进度(%)："), kBlue);
    c.Check21 = b.add<QCheckBox>(u"Check21"_s, WindowText::tr("注明文件大小"), kBlue);
    c.Check22 = b.add<QCheckBox>(u"Check22"_s, WindowText::tr("注明文件建立日期"), kBlue);
    c.Command6 = b.add<QPushButton>(u"Command6"_s, WindowText::tr("超文本预览"));
    c.Checkall->setToolTip(kAllFilesPattern.toString());
    c.Check1->setToolTip(
        WindowText::tr("链接写成文件的完整路径；不勾选时只写文件名，网页要和文件放在一起才能用"));
    c.Check8->setToolTip(WindowText::tr("每个链接单独成段，链接之间空一行"));
    c.Check20->setToolTip(WindowText::tr("在每个链接前加项目符号"));
    for (QRadioButton *button : c.Option1)
        button->setToolTip(WindowText::tr("链接在网页中靠左、居中或靠右"));
    c.Check21->setToolTip(WindowText::tr("在每个链接后注明文件大小"));
    c.Check22->setToolTip(WindowText::tr("在每个链接后注明文件建立日期"));
    c.Timer1 = new QTimer(form);
    c.Timer1->setObjectName(u"Timer1"_s);
    c.Timer1->setInterval(500);
    setInitialStates(c, form);
    nameForScreenReaders(c);
    return c;
}

} // namespace dirweaver