#pragma once

#include <QString>

#include <optional>

namespace dirweaver {

/// Idle caption of Label10, files to process.
QString IdleToProcessCaption();
/// Idle caption of Label11, files processed.
QString IdleProcessedCaption();
/// Idle caption of Label12, progress in percent.
QString IdleProgressCaption();

/// Label10 during a build: "需处理：" and the number of files.
QString ToProcessCaption(qsizetype count);
/// Label11 during a build: "已处理：" and the number of files done.
QString ProcessedCaption(qsizetype done);
/// Label12 during a build, exactly 12 characters ("进度(%)：33.333"); nullopt for no files.
std::optional<QString> ProgressText(qsizetype done, qsizetype count);
/// text cut to 12 characters or filled with spaces to 12, as the progress caption holds.
QString FitProgressText(const QString &text);

/// What the source box shows of a page: the whole page below 32000 characters, otherwise
/// its first and last 14000 characters around five marker lines, which keeps the box fast.
QString AbridgedView(const QString &page);

} // namespace dirweaver
