#pragma once

#include <QCoreApplication>

namespace dirweaver {

/// The window's own words: the design's Chinese, or what the window language's translation
/// makes of them.
class WindowText
{
    Q_DECLARE_TR_FUNCTIONS(Dirweaver)
};

} // namespace dirweaver
