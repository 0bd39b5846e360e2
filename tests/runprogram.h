#pragma once

// Runs a program to its end for tests of the executable and what it prints.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace dirweaver::test {

/// How a program ended, -1 for a crash, and what it wrote on each stream.
struct Run
{
    int status = -1;
    QByteArray out, err;
};

/// Runs program with arguments in cwd (the test's own when empty); one that does not end
/// within a minute stops the test.
inline Run RunProgram(const QString &program, const QStringList &arguments, const QString &cwd = {})
{
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.start(program, arguments);
    if (!p.waitForFinished(60000))
        qFatal("%s did not finish", qPrintable(program));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

} // namespace dirweaver::test
