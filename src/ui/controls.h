#pragma once

#include "selection/filter.h"

#include <QHash>
#include <QList>
#include <QString>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;

namespace dirweaver {

/// The controls of the main window, each named as in the design so tools and tests find it.
struct WeaveControls
{
    QComboBox *Drive1 = nullptr;
    QListView *Dir1 = nullptr;
    QListView *File1 = nullptr;
    QPushButton *Command1 = nullptr, *Command3 = nullptr, *Command4 = nullptr,
                *Command5 = nullptr, *Command6 = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr, *Text3 = nullptr, *Text4 = nullptr;
    QCheckBox *Check1 = nullptr, *Check8 = nullptr, *Check20 = nullptr, *Check21 = nullptr,
              *Check22 = nullptr;
    /// The file-type boxes in the order of TypeBoxes().
    std::array<QCheckBox *, kTypeBoxCount> typeBoxes{};
    QCheckBox *Checkall = nullptr;
    std::array<QRadioButton *, 3> Option1{};
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr,
           *Label5 = nullptr, *Label7 = nullptr, *Label9 = nullptr, *Label10 = nullptr,
           *Label11 = nullptr, *Label12 = nullptr;
    QTimer *Timer1 = nullptr, *Timer2 = nullptr;
    /// Every visible control by objectName, for the layout.
    QHash<QString, QWidget *> byName;
};

/// Creates the controls on form with their captions, colours and initial states, in
/// keyboard order.
WeaveControls CreateControls(QWidget *form);

} // namespace dirweaver
