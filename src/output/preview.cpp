#include "preview.h"

#include <QCoreApplication>

#include "pagefile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace dirweaver {

using namespace Qt::StringLiterals;

namespace {

// A folder owned by this user that nobody else may write to.
bool IsPrivate(const QString &folder)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

QString PreviewFolder()
{
    // The runtime folder is checked by Qt (owner, mode 0700); the cache folder is the
    // fallback where no runtime folder can be had, and is checked here the same way.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && IsPrivate(runtime))
        return runtime;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache) && IsPrivate(cache))
        return cache;
    return {};
}

QString PreviewNotOpenedText(const QString &fileName, std::optional<int> status)
{
    QString text = QCoreApplication::translate(
                       "Dirweaver", "预览文件已写好，但没有浏览器打开它。请用浏览器手动打开：\n%1")
                       .arg(fileName);
    if (status)
        text +=
            QCoreApplication::translate("Dirweaver", "\n（打开程序以状态 %1 退出）").arg(*status);
    return text;
}

QString WritePreview(const QByteArray &page, QString *error, QByteArrayView suffix)
{
    const QString folder = PreviewFolder();
    if (folder.isEmpty()) {
        if (error)
            *error = QCoreApplication::translate("Dirweaver", "找不到只属于当前用户的临时文件夹");
        return {};
    }
    QString name = kPreviewFileName.toString();
    if (suffix != ".htm")
        name = name.chopped(4) + QString::fromLatin1(suffix);
    const QString path = folder + u'/' + name;
    QString why;
    if (SavePageBytes(QFile::encodeName(path), page, &why))
        return path;
    if (error)
        *error = QCoreApplication::translate("Dirweaver", "无法写入预览文件 %1：%2").arg(path, why);
    return {};
}

} // namespace dirweaver
