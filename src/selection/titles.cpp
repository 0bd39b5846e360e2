#include "titles.h"

#include <QCoreApplication>

#include "text/html.h"

namespace dirweaver {

Titles DeriveTitles(QStringView folderPath)
{
    QStringView path = folderPath;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    if (path.isEmpty() || path == u"/") {
        const QString root(u'/');
        return {root, root};
    }
    const QStringView name = path.mid(path.lastIndexOf(u'/') + 1);
    // The first character, not the first code unit: a surrogate pair moves as one.
    const qsizetype first = (name.size() > 1 && name[0].isHighSurrogate()) ? 2 : 1;
    QString header;
    AppendHtmlText(header, QString(name.left(first).toString().toUpper() + name.mid(first)));
    return {header, name.toString()};
}

QString ProposedFileName(QStringView folderTitle)
{
    if (folderTitle.endsWith(u'/'))
        return QCoreApplication::translate("Dirweaver", "根目录");
    return folderTitle.toString();
}

} // namespace dirweaver
