#include "annotations.h"

#include "text/digits.h"
#include "text/gbk.h"

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

const QString kNbsp = u"&nbsp;"_s;
// The longest run any pad needs, so pads are cut from it rather than built each time.
const QString kNbspRun = kNbsp.repeated(46);

// count "&nbsp;" without building them each time.
QStringView nbspRun(int count)
{
    return QStringView(kNbspRun).left(qBound(0, count, 46) * kNbsp.size());
}

void appendSizeText(QString &out, qint64 size, const PageWords &words)
{
    // Kilobytes rounded half to even, on integers so that huge sizes stay exact.
    qint64 kb = size / 1024;
    const qint64 rest = size % 1024;
    if (rest > 512 || (rest == 512 && kb % 2 != 0))
        ++kb;
    AppendDecimal(out, kb);
    out += u"KB ("_s;
    AppendDecimal(out, size);
    out += words.bytesClose;
}

int namePadCount(int nameWidth)
{
    const int gap = 45 - nameWidth;
    return gap <= 0 ? 3 : gap + 1;
}

int sizePadCount(int sizeWidth)
{
    const int gap = 20 - sizeWidth;
    return gap > 0 ? gap + 1 : 0;
}

} // namespace

void AppendAnnotations(QString &out, QStringView name, const std::optional<FileFacts> &facts,
                       bool showSize, bool showDate, const FileTimeFormat &format, FileDate date)
{
    if (!showSize && !showDate)
        return;
    out += nbspRun(namePadCount(Strlen(name)));
    const qsizetype sizeStart = out.size();
    if (showSize && facts && facts->size >= 0)
        appendSizeText(out, facts->size, format.words());
    if (showSize && showDate)
        out += nbspRun(sizePadCount(Strlen(QStringView(out).mid(sizeStart))));
    if (showDate && facts) {
        if (showSize)
            out += nbspRun(3);
        FormatFileTime(out, format,
                       date == FileDate::Modified ? facts->modifiedTime : facts->birthTime);
    }
}

} // namespace dirweaver
