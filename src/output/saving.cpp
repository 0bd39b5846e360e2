#include "saving.h"

#include <QCoreApplication>

#include "pagefile.h"

#include <QFile>

namespace dirweaver {

using namespace Qt::StringLiterals;

SaveReport SaveAndReport(const QString &fileName, const QByteArray &page)
{
    QString error;
    if (SavePageBytes(QFile::encodeName(fileName), page, &error))
        return {true, QCoreApplication::translate("Dirweaver", "Dirweaver文本成功生成！")};
    // The file is named, with the reason when the failure carries one.
    const QString failed =
        QCoreApplication::translate("Dirweaver", "无法写入文件 %1").arg(fileName);
    return {false, error.isEmpty()
                       ? failed
                       : failed + QCoreApplication::translate("Dirweaver", "：") + u'\n' + error};
}

} // namespace dirweaver
