#pragma once

#include "commandline.h"
#include "page/catalog.h"
#include "selection/filesystem.h"

#include <QByteArray>
#include <QIODevice>
#include <QLocale>

#include <functional>

namespace dirweaver {

/// Writes one catalogue of every folder tree the request names into its output file ("-":
/// out): each tree walked as --tree walks it (the same folders entered and left out, the
/// same listing options), nothing written inside the trees. Links lead from where the
/// catalogue is saved, or start with the base address, which stands for that place. Returns
/// the exit status: 0 done, 1 a folder skipped or the file not written, 2 a top not read,
/// kCatalogStopped stopped.
/// What watches a catalogue being made from elsewhere (the window): how far the walk is, and
/// whether to stop it.
struct CatalogWatch
{
    /// Folders and files listed so far; called on the walk's threads.
    std::function<void(qint64 folders, qint64 files)> progress;
    /// Asked before each folder: true stops the run, and nothing is written.
    std::function<bool()> stopped;
    /// Told once the file is written: its status may still be 1 for folders skipped.
    std::function<void()> written;
};

/// The status RunCatalog returns when watch stopped it.
inline constexpr int kCatalogStopped = 3;

int RunCatalog(const WriterRequest &request, const FileSystem &fs, const QLocale &locale,
               const QByteArray &cwd, QIODevice &out, QIODevice &err, int terminalColumns,
               const CatalogWatch &watch = {});

/// Makes the catalogue job asks for, as --catalog FILE FOLDER with its listing, in its language
/// (dates in locale where it speaks that language).
CatalogueResult MakeCatalogue(const CatalogueJob &job, const FileSystem &fs, const QLocale &locale);

/// When a catalogue says it was made: SOURCE_DATE_EPOCH's seconds where it is set, as
/// reproducible builds ask, else now.
qint64 MadeAt(const QByteArray &sourceDateEpoch);

/// The link from the folder from to the folder to, both absolute and clean: "../" for each
/// name of from past what they share, then to's names percent-encoded, each ending in '/';
/// "./" for the same folder.
QString RelativeFolderTarget(const QByteArray &from, const QByteArray &to);

} // namespace dirweaver
