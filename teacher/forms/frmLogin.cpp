#include "frmLogin.h"

#include "TeacherUi.h"

#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace teacher::forms {

frmLogin::frmLogin(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmLogin"_s);
    setWindowTitle(u"オンブラ（先生用）　ﾛｸﾞｵﾝ"_s);
    setFont(gothicFont(9));
    // client area 4920 x 2040 twips
    setFixedSize(twips(4920), twips(2040));

    auto *label = new QLabel(
        u"このソフトは先生用です。まちがった人は、キャンセルをクリックして下さい。"_s, this);
    label->setObjectName(u"lblLabels"_s);
    label->setWordWrap(true);
    label->setGeometry(twips(240), twips(240), twips(4440), twips(840));

    auto *ok = new QPushButton(u"OK"_s, this);
    ok->setObjectName(u"cmdOK"_s);
    ok->setGeometry(twips(600), twips(1320), twips(1575), twips(420));
    ok->setDefault(true);
    ok->setAutoDefault(true);

    auto *cancel = new QPushButton(u"ｷｬﾝｾﾙ"_s, this);
    cancel->setObjectName(u"cmdCancel"_s);
    cancel->setGeometry(twips(2760), twips(1320), twips(1575), twips(420));
    // Focused, each button takes Enter for itself; OK keeps it otherwise.
    cancel->setAutoDefault(true);

    connect(ok, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
}

void frmLogin::cmdOK_Click()
{
    OK = true;
    accept();
}

// Esc reaches QDialog::reject, which leaves OK false just as this button does.
void frmLogin::cmdCancel_Click()
{
    OK = false;
    reject();
}

} // namespace teacher::forms
