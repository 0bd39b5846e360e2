#pragma once

// Whole-file reads and writes for tests that check what landed on disk.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace dirweaver::test {

/// The bytes of the file at path, or "<missing>" when it cannot be read.
inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

/// Makes the file at path hold bytes; a test that cannot set up its files stops at once.
inline void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace dirweaver::test
