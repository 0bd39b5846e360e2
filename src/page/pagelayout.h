#pragma once

#include "builder.h"
#include "filetime.h"

#include <QString>
#include <QStringView>

#include <memory>
#include <optional>

namespace dirweaver {

/// What a line of a page lists.
enum class EntryKind { Parent, Folder, File };

/// The markup of one page style, written around the entries the builder walks through.
class PageLayout
{
public:
    virtual ~PageLayout() = default;
    /// True when the head names the folder part of every target once, so that each entry's
    /// target holds only its own part.
    virtual bool headHoldsFolder() const = 0;
    /// Writes everything before the first entry.
    virtual void start(PageSink &sink) = 0;
    /// Writes one entry: its target as written, its name as shown, and its facts (a negative
    /// size: none shown).
    virtual void entry(PageSink &sink, EntryKind kind, QStringView target, QStringView shown,
                       const std::optional<FileFacts> &facts) = 0;
    /// Writes everything after the last entry.
    virtual void finish(PageSink &sink) = 0;
};

/// The classic page: a paragraph of link lines, padded annotations, font heading.
std::unique_ptr<PageLayout> ClassicLayout(const PageInput &input, const FileTimeFormat &format);

/// The table page: one sortable, filterable table, inline style and script, one file.
std::unique_ptr<PageLayout> TableLayout(const PageInput &input, const FileTimeFormat &format);

/// Appends size as a short text: bytes below 1 KiB ("0 字节"), else the largest binary unit
/// that keeps it at 1 or more, one decimal below 10 ("3.4 MB", "12 KB").
void AppendShortSize(QString &out, qint64 size);

} // namespace dirweaver
