#pragma once

#include "teacher/questionnaire/QuestionnaireDocument.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace teacher::forms {

class DirectoryList;
class FileList;

// The file chooser "オンブラ": one modeless dialog that opens a questionnaire
// file or saves the current text under a name, in the role the lesson's
// saveMode() says when OK is pressed. It is built on its first showing, hidden
// by OK and Cancel, and discarded when closed through its frame.
class frmFileLoad : public QWidget
{
    Q_OBJECT

public:
    explicit frmFileLoad(questionnaire::QuestionnaireDocument &document, QWidget *parent = nullptr);

    // The prompt and background of the two roles. The save role starts with
    // no file selected.
    void setOpenRole();
    void setSaveRole();
    // Empties the name box and the selection, for a text that has no file yet.
    void clearFileName();

    // The drive, folder and selected file the lists show.
    questionnaire::ShownLocation shownLocation() const;

    // Handlers, named after their controls and events.
    void Form_Load();
    void Form_GotFocus();
    void Combo1_Change();
    void Drive1_Change();
    void Dir1_Change(const QString &dir);
    void File1_Click();
    void File1_DblClick();
    void cmdFileOk_Click();
    void cmdFileCancel_Click();

signals:
    // OK read a file in the open role: the editor is to show it.
    void loaded();
    // OK wrote the editor's waiting text and read it back.
    void editorFinished();
    void cancelled();
    // Closed through the window frame.
    void discarded();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    questionnaire::QuestionnaireDocument &m_document;
    bool m_built = false;

    QLabel *m_lblFileMessage = nullptr;
    QComboBox *m_drive1 = nullptr;
    DirectoryList *m_dir1 = nullptr;
    QComboBox *m_combo1 = nullptr;
    FileList *m_file1 = nullptr;
    QLineEdit *m_text1 = nullptr;

    void setBackground(const QColor &colour);
    void showDrive(const QString &drive);
    void moveListsTo(const QString &dir);
};

} // namespace teacher::forms
