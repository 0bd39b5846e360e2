#include "layout.h"

#include <algorithm>
#include <cmath>

namespace dirweaver {

using namespace Qt::StringLiterals;

QList<ControlRect> DesignRects()
{
    // Left, top, width, height in twips at the design size 8900 x 7500.
    return {
        {u"Label1"_s, {240, 120, 2250, 180}},     {u"Drive1"_s, {120, 360, 3495, 300}},
        {u"Dir1"_s, {120, 720, 3495, 2190}},      {u"File1"_s, {3720, 360, 3015, 2610}},
        {u"Label9"_s, {7200, 120, 990, 180}},     {u"Check2"_s, {6840, 360, 855, 255}},
        {u"Check4"_s, {6840, 600, 855, 255}},     {u"Check6"_s, {6840, 840, 855, 255}},
        {u"Check3"_s, {6840, 1080, 855, 255}},    {u"Check5"_s, {6840, 1320, 855, 255}},
        {u"Check7"_s, {6840, 1560, 855, 255}},    {u"Check9"_s, {6840, 1800, 855, 255}},
        {u"Check17"_s, {6840, 2040, 1335, 255}},  {u"Check18"_s, {6840, 2280, 1335, 255}},
        {u"Check19"_s, {6840, 2520, 1815, 255}},  {u"Checkall"_s, {6840, 2760, 1695, 255}},
        {u"Check16"_s, {7800, 360, 855, 255}},    {u"Check15"_s, {7800, 600, 855, 255}},
        {u"Check13"_s, {7800, 840, 855, 255}},    {u"Check14"_s, {7800, 1080, 855, 255}},
        {u"Check12"_s, {7800, 1320, 855, 255}},   {u"Check11"_s, {7800, 1560, 855, 255}},
        {u"Check10"_s, {7800, 1800, 855, 255}},   {u"Label5"_s, {240, 3120, 1530, 180}},
        {u"Label10"_s, {3720, 3120, 720, 180}},   {u"Label11"_s, {5220, 3120, 720, 180}},
        {u"Label12"_s, {6720, 3120, 810, 180}},   {u"Text1"_s, {120, 3360, 8535, 1695}},
        {u"Label4"_s, {240, 5160, 720, 180}},     {u"Text2"_s, {120, 5400, 2450, 270}},
        {u"Label3"_s, {240, 5760, 1260, 180}},    {u"Text3"_s, {120, 6000, 2450, 270}},
        {u"Label7"_s, {240, 6360, 1260, 180}},    {u"Text4"_s, {120, 6600, 2450, 270}},
        {u"Command5"_s, {2760, 5760, 1095, 735}}, {u"Label2"_s, {4320, 5280, 1260, 180}},
        {u"Option1_0"_s, {4080, 5520, 495, 255}}, {u"Option1_1"_s, {4680, 5520, 495, 255}},
        {u"Option1_2"_s, {5280, 5520, 495, 255}}, {u"Check1"_s, {4080, 5760, 1815, 255}},
        {u"Check8"_s, {4080, 6000, 1815, 255}},   {u"Check20"_s, {4080, 6240, 1815, 255}},
        {u"Check21"_s, {4080, 6480, 1815, 255}},  {u"Check22"_s, {4080, 6720, 1815, 255}},
        {u"Command6"_s, {6120, 5160, 2400, 400}}, {u"Command3"_s, {6120, 5640, 2400, 400}},
        {u"Command4"_s, {6120, 6120, 2400, 400}}, {u"Command1"_s, {6120, 6600, 2400, 400}},
    };
}

QRectF RectOf(const QList<ControlRect> &rects, QStringView name)
{
    for (const ControlRect &c : rects) {
        if (c.name == name)
            return c.rect;
    }
    return {};
}

namespace {

// The rules read and write single edges of named rectangles, in the order they are given.
class Rules
{
public:
    explicit Rules(QList<ControlRect> &rects) : rects_(rects) {}
    qreal left(QStringView name) { return rect(name).x(); }
    qreal top(QStringView name) { return rect(name).y(); }
    qreal width(QStringView name) { return rect(name).width(); }
    void setLeft(QStringView name, qreal v) { rect(name).moveLeft(v); }
    void setTop(QStringView name, qreal v) { rect(name).moveTop(v); }
    void setWidth(QStringView name, qreal v) { rect(name).setWidth(v); }
    void setHeight(QStringView name, qreal v) { rect(name).setHeight(v); }

private:
    QRectF &rect(QStringView name)
    {
        for (ControlRect &c : rects_) {
            if (c.name == name)
                return c.rect;
        }
        Q_UNREACHABLE();
    }
    QList<ControlRect> &rects_;
};

} // namespace

QList<ControlRect> LayoutControls(QSizeF outer, const QHash<QString, qreal> &textWidths)
{
    QList<ControlRect> rects = DesignRects();
    Rules r(rects);
    const qreal W = outer.width();
    const qreal H = outer.height();

    // The button column keeps its distance to the right and bottom edges.
    r.setLeft(u"Command6", W - 2780);
    r.setLeft(u"Command1", r.left(u"Command6"));
    r.setLeft(u"Command3", r.left(u"Command6"));
    r.setLeft(u"Command4", r.left(u"Command6"));
    r.setTop(u"Command6", H - 2340);
    r.setTop(u"Command1", H - 900);
    r.setTop(u"Command3", H - 1860);
    r.setTop(u"Command4", H - 1380);
    r.setLeft(u"Command5", W - 6140);
    r.setTop(u"Command5", H - 1740);
    r.setLeft(u"Label2", W - 4580);
    r.setTop(u"Label2", H - 2220);
    // The option boxes, stacked 240 apart below Check1.
    r.setLeft(u"Check1", W - 4820);
    r.setLeft(u"Check8", r.left(u"Check1"));
    r.setLeft(u"Check20", W - 4820);
    r.setLeft(u"Check21", W - 4820);
    r.setLeft(u"Check22", W - 4820);
    r.setTop(u"Check1", H - 1740);
    r.setTop(u"Check8", r.top(u"Check1") + 240);
    r.setTop(u"Check20", r.top(u"Check8") + 240);
    r.setTop(u"Check21", r.top(u"Check20") + 240);
    r.setTop(u"Check22", r.top(u"Check21") + 240);
    r.setTop(u"Option1_0", H - 1980);
    r.setTop(u"Option1_1", r.top(u"Option1_0"));
    r.setTop(u"Option1_2", r.top(u"Option1_0"));
    r.setLeft(u"Option1_0", W - 4820);
    r.setLeft(u"Option1_1", W - 4220);
    r.setLeft(u"Option1_2", W - 3620);
    // An alignment caption wider than its button (a translation's) widens it, and the ones
    // after it move right, a small gap apart; the design's own captions leave them as they are.
    qreal next = r.left(u"Option1_0");
    for (QStringView option : {u"Option1_0", u"Option1_1", u"Option1_2"}) {
        r.setLeft(option, std::max(r.left(option), next));
        r.setWidth(option, std::max(r.width(option), textWidths.value(option.toString())));
        next = r.left(option) + r.width(option) + 60;
    }
    // Widened, they move left as far as they would reach into the button column.
    const qreal over = next - r.left(u"Command6");
    if (over > 0) {
        for (QStringView option : {u"Option1_0", u"Option1_1", u"Option1_2"})
            r.setLeft(option, r.left(option) - over);
    }
    // Title labels and boxes stay at the bottom; the boxes and the source box widen.
    r.setTop(u"Label4", H - 2340);
    r.setTop(u"Label3", H - 1740);
    r.setTop(u"Label7", H - 1140);
    r.setTop(u"Text2", H - 2100);
    r.setTop(u"Text3", H - 1500);
    r.setTop(u"Text4", H - 900);
    r.setWidth(u"Text2", (W - 8900) + 2450);
    r.setWidth(u"Text3", (W - 8900) + 2450);
    r.setWidth(u"Text4", (W - 8900) + 2450);
    r.setWidth(u"Text1", (W - 8900) + 8535);
    r.setHeight(u"Text1", (H - 7500) + 1695);
    // The two columns of type boxes and their heading stay at the right edge.
    for (QStringView box : {u"Check2", u"Check4", u"Check6", u"Check3", u"Check5", u"Check7",
                            u"Check9", u"Check17", u"Check18", u"Check19", u"Checkall"})
        r.setLeft(box, W - 2060);
    for (QStringView box :
         {u"Check16", u"Check15", u"Check13", u"Check14", u"Check12", u"Check11", u"Check10"})
        r.setLeft(box, W - 1100);
    r.setLeft(u"Label9", W - 1700);
    // A quarter of the extra width to the folder lists, three quarters to the file list.
    r.setLeft(u"File1", (W - 8900) * 0.25 + 3720);
    r.setWidth(u"File1", (W - 8900) * 0.75 + 3015);
    r.setWidth(u"Dir1", (W - 8900) * 0.25 + 3495);
    r.setWidth(u"Drive1", (W - 8900) * 0.25 + 3495);
    r.setLeft(u"Label10", r.left(u"File1"));
    r.setLeft(u"Label11", r.left(u"File1") + 1500);
    r.setLeft(u"Label12", r.left(u"File1") + 3000);
    return rects;
}

QSizeF EnforceMinimumSize(QSizeF outer)
{
    if (outer.height() < kMinimumOuterSize.height())
        outer.setHeight(kMinimumOuterSize.height());
    if (outer.width() < kMinimumOuterSize.width())
        outer.setWidth(kMinimumOuterSize.width());
    return outer;
}

QPointF CentreOn(const QRectF &owner, QSizeF size)
{
    return {owner.width() * 0.5 + owner.left() - size.width() * 0.5,
            owner.height() * 0.5 + owner.top() - size.height() * 0.5};
}

namespace {

constexpr qreal kTwipsPerInch = 1440.0;

} // namespace

QRect TwipsToPixels(const QRectF &twips, qreal dpi)
{
    const qreal k = dpi / kTwipsPerInch;
    return QRect(int(std::lround(twips.x() * k)), int(std::lround(twips.y() * k)),
                 int(std::lround(twips.width() * k)), int(std::lround(twips.height() * k)));
}

QSize TwipsToWholePixels(QSizeF twips, qreal dpi)
{
    const qreal k = dpi / kTwipsPerInch;
    return {int(std::ceil(twips.width() * k)), int(std::ceil(twips.height() * k))};
}

QSizeF PixelsToTwips(QSizeF pixels, qreal dpi)
{
    return pixels * (kTwipsPerInch / dpi);
}

QPointF PixelsToTwips(QPointF pixels, qreal dpi)
{
    return pixels * (kTwipsPerInch / dpi);
}

} // namespace dirweaver
