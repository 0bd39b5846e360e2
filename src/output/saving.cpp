#include "saving.h"

#include "pagefile.h"

#include <QFile>

namespace dirweaver {

using namespace Qt::StringLiterals;

SaveReport SaveAndReport(const QString &fileName, const QByteArray &page)
{
    QString error;
    if (SavePageBytes(QFile::encodeName(fileName), page, &error))
        return {true, u"Dirweaver文本成功生成！"_s};
    // The file is named, with the reason when the failure carries one.
    const QString failed = u"无法写入文件 %1"_s.arg(fileName);
    return {false, error.isEmpty() ? failed : failed + u"：\n"_s + error};
}

} // namespace dirweaver
