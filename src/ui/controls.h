#pragma once

#include "page/options.h"
#include "page/session.h"
#include "page/words.h"
#include "selection/filter.h"

#include <QHash>
#include <QList>
#include <QString>

#include <array>

class QCheckBox;
class QColor;
class QFileDialog;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;

namespace dirweaver {

class ListBox;

/// The controls of the main window, each named as in the design so tools and tests find it.
struct WeaveControls
{
    /// The drive list.
    QComboBox *Drive1 = nullptr;
    /// The folder list.
    ListBox *Dir1 = nullptr;
    /// The file list.
    ListBox *File1 = nullptr;
    /// "结束程序", ends the program.
    QPushButton *Command1 = nullptr;
    /// "生成Dirweaver文本", saves the page.
    QPushButton *Command3 = nullptr;
    /// "关于软件", the about window.
    QPushButton *Command4 = nullptr;
    /// "更新标题", rebuilds with the edited titles.
    QPushButton *Command5 = nullptr;
    /// "超文本预览", the browser preview.
    QPushButton *Command6 = nullptr;
    /// The HTML source view.
    QPlainTextEdit *Text1 = nullptr;
    /// The browser title.
    QLineEdit *Text2 = nullptr;
    /// The page heading.
    QLineEdit *Text3 = nullptr;
    /// The page footer.
    QLineEdit *Text4 = nullptr;
    /// Absolute link targets.
    QCheckBox *Check1 = nullptr;
    /// A blank line between links.
    QCheckBox *Check8 = nullptr;
    /// A bullet before each link.
    QCheckBox *Check20 = nullptr;
    /// The file size after each link.
    QCheckBox *Check21 = nullptr;
    /// The creation date after each link.
    QCheckBox *Check22 = nullptr;
    /// The file-type boxes in the order of TypeBoxes().
    std::array<QCheckBox *, kTypeBoxCount> typeBoxes{};
    /// "*.* (所有文件)", all files.
    QCheckBox *Checkall = nullptr;
    /// The alignment buttons left, centre, right.
    std::array<QRadioButton *, 3> Option1{};
    /// Files to process, files processed, progress in percent.
    QLabel *Label10 = nullptr, *Label11 = nullptr, *Label12 = nullptr;
    /// The deferred refresh timer.
    QTimer *Timer1 = nullptr;
    /// Every visible control by objectName, for the layout.
    QHash<QString, QWidget *> byName;
};

/// Makes Enter (and the keypad's Enter) press button while it has the focus, as command
/// buttons do on the platform the form comes from; Qt leaves that to dialogs' default buttons.
void PressOnEnter(QPushButton *button);

/// Gives a control's caption the colour of the design's blue or red.
void SetCaptionColour(QWidget *control, const QColor &colour);

/// The design's blue captions.
QColor DesignBlue();
/// The design's red captions.
QColor DesignRed();

/// The save dialog `CmD1` with its fixed settings: title, save mode, the three file types
/// (the GBK page first and chosen, the UTF-8 page, the table page), the default suffix and a
/// question before a file is replaced.
QFileDialog *CreateSaveDialog(QWidget *form);

/// The save dialog's type that writes the catalogue of the open folder's whole tree.
QString CatalogueFileType();

/// The style and encoding of the file type chosen in the save dialog.
OutputForm ChosenForm(const QFileDialog &dialog);

/// Creates the controls on form with their captions, colours and initial states, in
/// keyboard order; the footer box starts with language's footer.
WeaveControls CreateControls(QWidget *form, PageLanguage language);

} // namespace dirweaver
