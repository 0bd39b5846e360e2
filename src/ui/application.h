#pragma once

#include "page/words.h"

#include <QIcon>
#include <QtGlobal>

class QApplication;

namespace dirweaver {

/// Sets the program's look on app: a 9-point CJK font for every caption (the design's
/// Song face mapped to the installed one), the window's words in language (Qt's own
/// Chinese texts with the design's, or the English translation), name and icon.
void SetUpApplication(QApplication &app, PageLanguage language);

/// The program's 48 x 48 icon, shown by both windows.
QIcon ProgramIcon();

} // namespace dirweaver
