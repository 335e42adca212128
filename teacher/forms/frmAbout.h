#pragma once

#include <QDialog>

namespace teacher::forms {

// The version dialog, modal over the main window.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    void cmdOK_Click();
};

} // namespace teacher::forms
