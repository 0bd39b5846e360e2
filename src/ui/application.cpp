#include "application.h"

#include "version.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

// The icons are compiled into this static library; nothing would pull them in otherwise.
static void InitResources()
{
    Q_INIT_RESOURCE(ui);
}

namespace dirweaver {

using namespace Qt::StringLiterals;

void SetUpApplication(QApplication &app, PageLanguage language)
{
    QApplication::setApplicationName(u"Dirweaver"_s);
    QApplication::setApplicationVersion(QStringLiteral(DIRWEAVER_VERSION));
    // The desktop entry's name, which ties the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(DIRWEAVER_APP_ID));
    QApplication::setWindowIcon(ProgramIcon());

    // The design's faces resolve to the installed CJK fonts, the Song look first.
    const QStringList cjk = {u"AR PL UMing CN"_s, u"WenQuanYi Micro Hei"_s, u"Noto Sans CJK SC"_s};
    QFont::insertSubstitutions(u"宋体"_s, cjk);
    QFont::insertSubstitutions(u"黑体"_s, {u"WenQuanYi Micro Hei"_s, u"AR PL UMing CN"_s});
    QApplication::setFont(QFont(u"宋体"_s, 9));

    // The design's words are the source; Qt's own are English unless translated.
    auto *translator = new QTranslator(&app);
    const bool loaded = language == PageLanguage::English
                            ? translator->load(u":/i18n/dirweaver_en.qm"_s)
                            : translator->load(u"qtbase_zh_CN"_s,
                                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded)
        QCoreApplication::installTranslator(translator);
}

QIcon ProgramIcon()
{
    InitResources();
    return QIcon(u":/dirweaver/dirweaver-48.png"_s);
}

} // namespace dirweaver
