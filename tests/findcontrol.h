#pragma once

// Finds a window's controls by their design names, as the window tests drive them.

#include <QObject>
#include <QString>
#include <QWidget>

namespace dirweaver::test {

/// The child of window named name, of type T; a missing control stops the test at once.
template <typename T = QWidget> T *FindControl(const QObject &window, const QString &name)
{
    T *w = window.findChild<T *>(name);
    if (!w)
        qFatal("no control %s", qPrintable(name));
    return w;
}

} // namespace dirweaver::test
