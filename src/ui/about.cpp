#include "about.h"

#include "application.h"
#include "controls.h"
#include "layout.h"
#include "version.h"
#include "windowtext.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// A label that answers a click, as the address does.
class ClickLabel final : public QLabel
{
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
            onClick)
            onClick();
    }
};

} // namespace

QString ContactAddress()
{
    return QStringLiteral(DIRWEAVER_CONTACT);
}

AboutForm::AboutForm(const QString &contact) : contact_(contact)
{
    setObjectName(u"about"_s);
    setWindowTitle(WindowText::tr("关于软件"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Nothing in it ever moves or resizes, so the frame offers no way to resize it.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const qreal dpi = logicalDpiX();
    setFixedSize(TwipsToPixels({{}, kAboutClientSize}, dpi).size());

    // Labels are placed after their text and font are set, so autosized ones fit them.
    const auto place = [&](QLabel *l, const QString &name, const QColor &colour,
                           const QRectF &twips, bool wraps) {
        l->setObjectName(name);
        SetCaptionColour(l, colour);
        const QRect px = TwipsToPixels(twips, dpi);
        if (wraps) {
            l->setWordWrap(true);
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            l->setGeometry(px);
        } else {
            l->move(px.topLeft());
            l->adjustSize();
        }
    };
    const auto label = [&](const QString &name, const QString &text, const QColor &colour,
                           const QRectF &twips, bool wraps) {
        place(new QLabel(text, this), name, colour, twips, wraps);
    };
    const QColor red = DesignRed(), blue = DesignBlue();
    // In keyboard order; only the button takes the focus, so it holds it from the start.
    label(u"Label2"_s,
          WindowText::tr(
              "    我们是C++/Qt编程新手，本工具功能尚少，请多提意见。欢迎爱好C++的朋友来信交流，"
              "共享编程的乐趣！"),
          red, {120, 960, 1905, 1260}, true);
    Command1 = new QPushButton(WindowText::tr("确定"), this);
    Command1->setObjectName(u"Command1"_s);
    Command1->setGeometry(TwipsToPixels({2640, 2160, 1455, 495}, dpi));
    Command1->setAutoDefault(false);
    label(u"Label8"_s, WindowText::tr("作者：Dirweaver 开发组"), red, {600, 2160, 900, 180}, false);
    label(u"Label3"_s, WindowText::tr("名称：Dirweaver(目录编织器)"), blue, {2160, 240, 2070, 180},
          false);
    label(u"Label4"_s, WindowText::tr("版本：%1").arg(QStringLiteral(DIRWEAVER_VERSION)), blue,
          {2160, 480, 900, 180}, false);
    label(u"Label5"_s, WindowText::tr("发布时间：%1").arg(QStringLiteral(DIRWEAVER_RELEASE_DATE)),
          blue, {2160, 720, 1800, 180}, false);
    label(u"Label1"_s,
          WindowText::tr(
              "功能：网页制作辅助工具。可直接生成超文本:对指定文件夹的文件迅速形相应的Dirweaver。"
              "处理文件数量不限。本软件非常容易使用，用用就会！"),
          blue, {2160, 1080, 2745, 975}, true);
    // The address reads as a link: underlined Song face and a pointing hand.
    auto *address = new ClickLabel(contact_, this);
    QFont font(u"宋体"_s, 9);
    font.setUnderline(true);
    address->setFont(font);
    address->setCursor(Qt::PointingHandCursor);
    address->onClick = [this] { Label10_Click(); };
    place(address, u"Label10"_s, red, {240, 2400, 1800, 180}, false);

    auto *image = new QLabel(this);
    image->setObjectName(u"Image1"_s);
    image->setGeometry(TwipsToPixels({720, 120, 720, 720}, dpi));
    image->setPixmap(ProgramIcon().pixmap(48, 48));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setInterval(15000);
    Timer1->setSingleShot(true);
    // A full 15 seconds, not the up to 5% less of a coarse timer.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &AboutForm::Timer1_Timer);
    connect(Command1, &QPushButton::clicked, this, &AboutForm::Command1_Click);
    Command1->setFocus();
}

void AboutForm::Form_Load(const QWidget &owner)
{
    const qreal dpi = logicalDpiX();
    // Outer sizes as the main window's layout counts them: client area plus the frame.
    const QRectF ownerOuter(PixelsToTwips(QPointF(owner.frameGeometry().topLeft()), dpi),
                            PixelsToTwips(owner.size(), dpi) + kDesignFrame);
    const QPointF at = CentreOn(ownerOuter, kAboutClientSize + kDesignFrame);
    move(TwipsToPixels({at, QSizeF()}, dpi).topLeft());
    Timer1->start();
}

void AboutForm::Command1_Click()
{
    close();
}

void AboutForm::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void AboutForm::Timer1_Timer()
{
    close();
}

void AboutForm::Label10_Click()
{
    // Whatever the desktop makes of it, the program says nothing of its own.
    QDesktopServices::openUrl(QUrl(u"mailto:"_s + contact_));
}

} // namespace dirweaver
