#pragma once

#include <QDialog>

namespace teacher::forms {

// The confirmation that the user is the teacher, shown before anything else.
class frmLogin : public QDialog
{
    Q_OBJECT

public:
    explicit frmLogin(QWidget *parent = nullptr);

    // True when the user left with OK; false after ｷｬﾝｾﾙ or the close box.
    bool OK = false;

    void cmdOK_Click();
    void cmdCancel_Click();
};

} // namespace teacher::forms
