#include "progress.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype kProgressWidth = 12;
constexpr qsizetype kWholePageLimit = 32000;
constexpr qsizetype kAbridgedPart = 14000;
} // namespace

QString IdleToProcessCaption()
{
    return u"需处理：0"_s;
}

QString IdleProcessedCaption()
{
    return u"已处理：0"_s;
}

QString IdleProgressCaption()
{
    return u"进度(%)："_s;
}

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
    return FitProgressText(u"进度(%)："_s + QString::number(percent, 'g', 15));
}

QString FitProgressText(const QString &text)
{
    if (text.size() >= kProgressWidth)
        return text.left(kProgressWidth);
    return text + QString(kProgressWidth - text.size(), u' ');
}

QString AbridgedView(const QString &page)
{
    if (page.size() < kWholePageLimit)
        return page;
    return page.left(kAbridgedPart) + u"\r\n......"_s.repeated(5) + u"\r\n"_s +
           page.right(kAbridgedPart);
}

} // namespace dirweaver
