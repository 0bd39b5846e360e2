#pragma once

#include <QHash>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringView>

namespace dirweaver {

/// A control's name and its rectangle in twips, relative to the window's client area.
struct ControlRect
{
    /// The control's objectName.
    QString name;
    /// Left, top, width and height in twips.
    QRectF rect;
};

/// The smallest outer size of the main window in twips, which is also its design size.
inline constexpr QSizeF kMinimumOuterSize{8900, 7500};
/// What the frame and title bar add to the client size, in twips.
inline constexpr QSizeF kDesignFrame{125, 405};

/// The about window's client size in twips; it never changes.
inline constexpr QSizeF kAboutClientSize{5055, 2820};

/// Every control's rectangle at the design size, in the order of the design table.
QList<ControlRect> DesignRects();

/// The rectangles of every control for an outer window size in twips, the design rectangles
/// moved and stretched by the anchoring rules (buttons and options to the bottom right, the
/// source box taking the extra height, the lists sharing the extra width); an alignment
/// button whose caption needs more than its design width (textWidths, in twips, by name)
/// gets it, the buttons after it moving right.
QList<ControlRect> LayoutControls(QSizeF outer, const QHash<QString, qreal> &textWidths = {});

/// The rectangle of the control called name in rects; an empty one when it is missing.
QRectF RectOf(const QList<ControlRect> &rects, QStringView name);

/// outer with its height, then its width, raised to the minimum.
QSizeF EnforceMinimumSize(QSizeF outer);

/// The top-left corner in twips that centres a window of outer size `size` on the outer
/// rectangle `owner`; not kept on the screen, so it may lie partly off it.
QPointF CentreOn(const QRectF &owner, QSizeF size);

/// Twips to pixels at dpi logical dots per inch (15 twips a pixel at 96), rounded only here.
QRect TwipsToPixels(const QRectF &twips, qreal dpi);
/// A size in twips as whole pixels at dpi, rounded up so that nothing of it is cut.
QSize TwipsToWholePixels(QSizeF twips, qreal dpi);
/// Pixels to twips at dpi.
QSizeF PixelsToTwips(QSizeF pixels, qreal dpi);
/// A point in pixels to twips at dpi.
QPointF PixelsToTwips(QPointF pixels, qreal dpi);

} // namespace dirweaver
