#pragma once

#include "student/Module1.h"

#include "exchange/ShareRunner.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace student::forms {

class MessageSeam;

// The sign-in dialog: asks for the seat number, resets the seat's answer file
// and stores the seat in the program-wide state.
class frmLogin : public QDialog
{
    Q_OBJECT

public:
    frmLogin(student::Module1 &module, MessageSeam &messages, QWidget *parent = nullptr);

    // True once an entry was accepted and the seat's answer file reset.
    bool OK = false;

    // The sign-in's file work goes through runner (it outlives the dialog),
    // and the dialog tells when the share does not answer.
    void setShareRunner(exchange::BackgroundShareRunner &runner);

    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    student::Module1 &m_module;
    MessageSeam &m_messages;
    exchange::ShareRunner *m_runner = &exchange::ShareRunner::inPlace();
    std::array<QLabel *, 2> lblLabels{};
    QLineEdit *txtUserName = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
};

} // namespace student::forms
