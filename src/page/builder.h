#pragma once

#include "filetime.h"
#include "format.h"
#include "model.h"
#include "selection/filesystem.h"
#include "selection/prefetch.h"
#include "sink.h"

#include <QString>

#include <functional>

namespace dirweaver {

/// Writes a page model in its format, one entry after the other, reading the files' facts
/// as it goes.
class PageBuilder
{
public:
    /// Called after each file with its index and the number of files; false abandons the build.
    using FileDone = std::function<bool(qsizetype index, qsizetype count)>;

    /// Reads file facts through fs and writes dates in format.
    PageBuilder(const FileSystem &fs, const FileTimeFormat &format) : fs_(fs), format_(format) {}

    /// Writes the page of model to sink, and with wholeFile the end a file of its format
    /// has; false when fileDone abandoned it, with the end left out. The files' facts come
    /// from facts, when the caller started reading them, or are read on a second core as the
    /// entries are written.
    bool build(const PageModel &model, PageSink &sink, const FileDone &fileDone = {},
               const FactsPrefetch *facts = nullptr, bool wholeFile = false) const;

private:
    const FileSystem &fs_;
    const FileTimeFormat &format_;
};

/// The complete page text of model, built in one go (without a file's end).
QString BuildPageText(const PageModel &model, const FileSystem &fs, const FileTimeFormat &format);

} // namespace dirweaver
