#pragma once

#include "commandline.h"
#include "selection/filesystem.h"

#include <QByteArray>
#include <QIODevice>
#include <QLocale>

namespace dirweaver {

/// Writes the page that request asks for; messages go to err. Returns the exit status:
/// 0 done, 1 the output could not be written, 2 bad input (nothing is written then).
int RunWriter(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
              const QByteArray &cwd, QIODevice &out, QIODevice &err, int terminalColumns = 0);

} // namespace dirweaver
