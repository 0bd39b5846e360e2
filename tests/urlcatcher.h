#pragma once

// Keeps tests from starting a browser or mail program: URLs handed to the desktop land here.

#include <QList>
#include <QObject>
#include <QUrl>

namespace dirweaver::test {

/// Collects the URLs of a scheme once registered with QDesktopServices::setUrlHandler(scheme,
/// catcher, "open").
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    /// Every URL handed over, in order.
    QList<QUrl> urls;
public Q_SLOTS:
    /// Takes one URL instead of the desktop.
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace dirweaver::test
