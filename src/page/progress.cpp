#include "progress.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kProgressWidth = 12;

// text cut to 12 characters or filled with spaces to 12, as the progress caption holds.
QString fitProgressText(const QString &text)
{
    if (text.size() >= kProgressWidth)
        return text.left(kProgressWidth);
    return text + QString(kProgressWidth - text.size(), u' ');
}

} // namespace

QString ToProcessCaption(qsizetype count)
{
    return u"需处理："_s + QString::number(count);
}

QString ProcessedCaption(qsizetype done)
{
    return u"已处理："_s + QString::number(done);
}

std::optional<QString> ProgressText(qsizetype done, qsizetype count)
{
    if (count <= 0)
        return std::nullopt;
    const double percent = double(done) / double(count) * 100.0;
    return fitProgressText(u"进度(%)："_s + QString::number(percent, 'g', 15));
}

ProgressCaptions ProgressCaptions::idle()
{
    return {u"需处理：0"_s, u"已处理：0"_s, u"进度(%)："_s};
}

void ProgressCaptions::fileDone(qsizetype done, qsizetype count)
{
    processed = ProcessedCaption(done);
    if (std::optional<QString> text = ProgressText(done, count))
        progress = *std::move(text);
}

} // namespace dirweaver
