#pragma once

#include "options.h"

#include <QByteArrayView>
#include <QString>

namespace dirweaver {

/// The fixed and option-dependent HTML pieces that every page is assembled from.
struct PageFragments
{
    /// From the start of the page to the browser title.
    QString pageStart;
    /// From the browser title to the heading.
    QString titleToHeading;
    /// After the heading, up to the rule under it.
    QString headingClose;
    /// The rule above the footer, up to the footer title.
    QString footerOpen;
    /// After the footer title, to the end of the page.
    QString pageClose;
    /// Before a link's target.
    QString linkOpen;
    /// Between a link's target and its text.
    QString targetClose;
    /// After a link's text.
    QString linkClose;
    /// After a link line's annotations.
    QString lineBreak;
    /// The paragraph opening, with the lines' alignment.
    QString paraOpen;
    /// The paragraph closing.
    QString paraClose;
    /// Before each link line; empty without bullets.
    QString bulletOpen;
    /// After each link line; empty without bullets.
    QString bulletClose;

    /// The pieces for the options' encoding, bullets and alignment.
    static PageFragments forOptions(const PageOptions &options);
};

/// The paragraph opening for an alignment, such as <P align="left">.
QString ParagraphOpen(Align align);

} // namespace dirweaver
