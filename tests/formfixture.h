#pragma once

// The main window under test, on real folders or on a made-up file system: its controls
// found by name, its message boxes read and answered, the URLs it hands to the desktop caught.

#include "findcontrol.h"
#include "modal.h"
#include "output/pagefile.h"
#include "selection/filesystem.h"
#include "testfiles.h"
#include "ui/weaveform.h"
#include "urlcatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <memory>

namespace dirweaver::test {

/// What a message box of the window said.
struct Message
{
    bool shown = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
};

/// The window under test and what it showed.
class FormFixture
{
public:
    RealFileSystem disk;
    QTemporaryDir tmp;
    std::unique_ptr<WeaveForm> form;
    /// The locale the next window dates and sorts in, and whose language its pages speak.
    QLocale locale{QLocale::Chinese, QLocale::China};
    /// Owns the watches that answer modal dialogs; reset after each test.
    std::unique_ptr<QObject> answers = std::make_unique<QObject>();
    UrlCatcher catcher;
    Message message;

    /// The window's control called name.
    template <typename T = QWidget> T *control(const QString &name) const
    {
        return FindControl<T>(*form, name);
    }
    /// Clicks the control called name with the mouse.
    void click(const QString &name) { QTest::mouseClick(control(name), Qt::LeftButton); }
    /// The window's page as a browser reads it.
    QString page() const { return form->session().pageText(); }
    /// A folder under the temporary one holding files file0000.txt... of i bytes each.
    QString makeFolder(const QString &relative, int files)
    {
        const QString path = tmp.filePath(relative);
        QDir().mkpath(path);
        for (int i = 0; i < files; ++i)
            WriteFile(path + QStringLiteral("/file%1.txt").arg(i, 4, 10, QChar(u'0')),
                      QByteArray(i, 'x'));
        return path;
    }
    /// Opens the window on folder of the real file system and builds its first page.
    void open(const QString &folder) { openOn(disk, QFile::encodeName(folder)); }
    /// Opens a window reading through files on folder, offering volumes, applying listing to
    /// its pages, and builds its first page; files must outlive the window.
    void openOn(const FileSystem &files, const QByteArray &folder, QList<Volume> volumes = {},
                const FolderPageRequest &listing = {})
    {
        form = std::make_unique<WeaveForm>(files, locale, std::move(volumes), listing);
        form->Form_Load(NativeName::fromBytes(folder));
    }
    /// What saving writes for the window's page.
    QByteArray pageBytes() const { return form->session().pageBytes() + "\r\n"; }
    /// Records the next message box of the window itself and closes it with OK.
    void expectMessage()
    {
        message = {};
        WhenModal<QMessageBox>(answers.get(), [this](QMessageBox *box) {
            if (box->parentWidget() != form.get())
                return false;
            message = {true, box->icon(), box->windowTitle(), box->text()};
            box->button(QMessageBox::Ok)->click();
            return true;
        });
    }
};

/// The English window while it lives: its translation installed, and the fixture's next
/// window in an English locale; the window goes before the translation does.
class InEnglish
{
public:
    explicit InEnglish(FormFixture &fixture) : fixture_(fixture)
    {
        if (!translator_.load(QStringLiteral(":/i18n/dirweaver_en.qm")))
            qFatal("the English translation is not in the program");
        QCoreApplication::installTranslator(&translator_);
        fixture_.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    ~InEnglish()
    {
        fixture_.form.reset();
        QCoreApplication::removeTranslator(&translator_);
        fixture_.locale = QLocale(QLocale::Chinese, QLocale::China);
    }
    InEnglish(const InEnglish &) = delete;
    InEnglish &operator=(const InEnglish &) = delete;

private:
    FormFixture &fixture_;
    QTranslator translator_;
};

} // namespace dirweaver::test
