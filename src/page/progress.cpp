#include "progress.h"

#include <QCoreApplication>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// The characters of the number after the progress caption's words.
constexpr qsizetype kProgressDigits = 6;

QString progressWords()
{
    return QCoreApplication::translate("Dirweaver", "进度(%)：");
}

// The words and the number cut to six characters or filled with spaces to six, as the
// progress caption holds them.
QString fitProgressText(const QString &number)
{
    if (number.size() >= kProgressDigits)
        return progressWords() + number.left(kProgressDigits);
    return progressWords() + number + QString(kProgressDigits - number.size(), u' ');
}

QString toProcessWords()
{
    return QCoreApplication::translate("Dirweaver", "需处理：");
}

QString processedWords()
{
    return QCoreApplication::translate("Dirweaver", "已处理：");
}

} // namespace

QString ToProcessCaption(qsizetype count)
{
    return toProcessWords() + QString::number(count);
}

QString ProcessedCaption(qsizetype done)
{
    return processedWords() + QString::number(done);
}

std::optional<QString> ProgressText(qsizetype done, qsizetype count)
{
    if (count <= 0)
        return std::nullopt;
    const double percent = double(done) / double(count) * 100.0;
    return fitProgressText(QString::number(percent, 'g', 15));
}

ProgressCaptions ProgressCaptions::idle()
{
    return {toProcessWords() + u'0', processedWords() + u'0', progressWords()};
}

void ProgressCaptions::fileDone(qsizetype done, qsizetype count)
{
    processed = ProcessedCaption(done);
    if (std::optional<QString> text = ProgressText(done, count))
        progress = *std::move(text);
}

} // namespace dirweaver
