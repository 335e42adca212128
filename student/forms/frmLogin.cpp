#include "frmLogin.h"

#include "MessageSeam.h"

#include "student/SignIn.h"
#include "widgets/GothicFont.h"
#include "widgets/ShareStallBanner.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace student::forms {

frmLogin::frmLogin(student::Module1 &module, MessageSeam &messages, QWidget *parent)
    : QDialog(parent), m_module(module), m_messages(messages)
{
    setObjectName(u"frmLogin"_s);
    setWindowTitle(u"オンブラ集計　ログオン"_s);
    setFixedSize(250, 106);
    setFont(widgets::gothicFont(9.75));

    lblLabels[1] = new QLabel(u"出席番号を入力してください。"_s, this);
    lblLabels[1]->setGeometry(7, 8, 224, 17);
    lblLabels[0] = new QLabel(u"（１～５０）"_s, this);
    lblLabels[0]->setGeometry(7, 32, 96, 17);
    for (int i = 0; i < 2; ++i)
        lblLabels[i]->setObjectName(u"lblLabels_%1"_s.arg(i));

    txtUserName = new QLineEdit(this);
    txtUserName->setObjectName(u"txtUserName"_s);
    txtUserName->setGeometry(112, 32, 131, 24);
    lblLabels[1]->setBuddy(txtUserName);

    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setGeometry(33, 68, 76, 24);
    QFont okFont = font();
    okFont.setPointSizeF(11.25);
    okFont.setBold(true);
    cmdOK->setFont(okFont);
    cmdOK->setDefault(true);

    cmdCancel = new QPushButton(u"ｷｬﾝｾﾙ"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    cmdCancel->setGeometry(140, 68, 76, 24);

    setTabOrder(txtUserName, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    connect(cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);

    Form_Load();
}

void frmLogin::setShareRunner(exchange::BackgroundShareRunner &runner)
{
    m_runner = &runner;
    widgets::addShareStallBanner(this, runner, rect().adjusted(4, 4, -4, -4),
                                 u"共有フォルダが応答しません。しばらく待ってください。"_s);
}

void frmLogin::Form_Load()
{
    txtUserName->clear();
    txtUserName->setFocus();
}

void frmLogin::cmdOK_Click()
{
    const student::SignInResult result = student::signIn(m_module, txtUserName->text(), *m_runner);
    switch (result.status) {
    case student::SignInResult::Status::Accepted:
        OK = true;
        accept();
        return;
    case student::SignInResult::Status::InvalidEntry:
        m_messages.message(this, student::signInMessageTitle(), result.message,
                           QMessageBox::NoIcon);
        txtUserName->clear();
        break;
    case student::SignInResult::Status::WriteFailed:
        // The entry was fine: keep it for another try once the teacher's
        // program has made the folder.
        m_messages.message(this, student::signInMessageTitle(), result.message,
                           QMessageBox::Warning);
        break;
    }
    txtUserName->setFocus();
}

void frmLogin::cmdCancel_Click()
{
    // The entry procedure ends the program as soon as the dialog returns
    // without OK; nothing has been written.
    reject();
}

void frmLogin::reject()
{
    OK = false;
    QDialog::reject();
}

void frmLogin::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace student::forms
