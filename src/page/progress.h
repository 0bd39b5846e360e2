#pragma once

#include <QString>

#include <optional>

namespace dirweaver {

/// Label10 during a build: "需处理：" and the number of files.
QString ToProcessCaption(qsizetype count);
/// Label11 during a build: "已处理：" and the number of files done.
QString ProcessedCaption(qsizetype done);
/// Label12 during a build, exactly 12 characters ("进度(%)：33.333"); nullopt for no files.
std::optional<QString> ProgressText(qsizetype done, qsizetype count);

/// The three progress captions above the source box.
struct ProgressCaptions
{
    /// Label10, files to process.
    QString toProcess;
    /// Label11, files processed.
    QString processed;
    /// Label12, progress in percent.
    QString progress;

    /// The idle texts that every reset puts back.
    static ProgressCaptions idle();
    /// Label11 and Label12 once done files of a list of count are built; Label12 keeps its
    /// text when the list is empty.
    void fileDone(qsizetype done, qsizetype count);

    friend bool operator==(const ProgressCaptions &, const ProgressCaptions &) = default;
};

} // namespace dirweaver
