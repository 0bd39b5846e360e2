#pragma once

#include <QString>
#include <QWidget>

class QKeyEvent;
class QPushButton;
class QTimer;

namespace dirweaver {

/// The address the about window shows and mails to, as the build was configured.
QString ContactAddress();

/// The about window: what the program is, its version and date, who made it and how to write
/// to them. It deletes itself when closed and closes by itself 15 seconds after loading.
class AboutForm final : public QWidget
{
    Q_OBJECT

public:
    /// An about window without owner, offering contact as the mail address.
    explicit AboutForm(const QString &contact);

    /// Places the window centred on owner's outer rectangle and starts the 15-second timer.
    void Form_Load(const QWidget &owner);

protected:
    /// Enter and Escape close the window, as its one button would.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Command1_Click();
    void Timer1_Timer();
    void Label10_Click();

    QString contact_;
    QPushButton *Command1 = nullptr;
    QTimer *Timer1 = nullptr;
};

} // namespace dirweaver
