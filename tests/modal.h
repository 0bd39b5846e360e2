#pragma once

// Answers modal dialogs from inside their own event loops, as a user would.

#include <QApplication>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace dirweaver::test {

/// Offers every modal widget of type T that comes up to answer, until answer takes one by
/// returning true; the watch belongs to owner and ends with it if none is ever taken.
template <typename T> void WhenModal(QObject *owner, std::function<bool(T *)> answer)
{
    auto *watch = new QTimer(owner);
    watch->setInterval(5);
    QObject::connect(watch, &QTimer::timeout, watch, [watch, answer] {
        auto *w = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!w || !w->isVisible())
            return;
        // Stopped first: answering may open another modal loop that would call back here.
        watch->stop();
        if (answer(w))
            watch->deleteLater();
        else
            watch->start();
    });
    watch->start();
}

} // namespace dirweaver::test
