#pragma once

#include "options.h"

#include <QString>

#include <array>

namespace dirweaver {

/// The fixed and option-dependent HTML pieces that every page is assembled from.
struct PageFragments
{
    /// Anchor open, end of target, anchor close, line break.
    std::array<QString, 4> link;
    /// Page start, title to heading, heading close, rule before the footer, page close.
    std::array<QString, 5> frame;
    /// Paragraph open (after the alignment) and close.
    std::array<QString, 2> para;
    /// Before and after each link line; empty without bullets.
    std::array<QString, 2> bullet;

    /// The table for the options' bullets and alignment; bullets force left alignment.
    static PageFragments forOptions(const PageOptions &options);
};

/// The paragraph opening for an alignment, such as <P align="left">.
QString ParagraphOpen(Align align);

} // namespace dirweaver
