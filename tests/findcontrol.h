#pragma once

// Finds a window's controls by their design names and clicks them, as the window tests
// drive them.

#include <QCoreApplication>
#include <QMouseEvent>
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

/// Queues a click on target as the window system delivers one: it waits for the event loop,
/// a build's yield included.
inline void PostClick(QWidget *target)
{
    const QPointF at = target->rect().center();
    const QPointF global = target->mapToGlobal(at);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            target,
            new QMouseEvent(type, at, global, Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
}

} // namespace dirweaver::test
