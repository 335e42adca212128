#pragma once

#include "teacher/questionnaire/QuestionnaireDocument.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace teacher::forms {

// The questionnaire editor "アンケートの文章編集": the questionnaire text in
// a large box under a guide to the file format. "編集終了" writes the text to
// the current questionnaire file and reads it back. Modeless; hidden by
// "編集終了", discarded when closed through its frame.
class frmTextEdit : public QWidget
{
    Q_OBJECT

public:
    frmTextEdit(questionnaire::QuestionnaireDocument &document, QWidget *parent = nullptr);

    // Label2 from LastQuestion.
    void showCount();
    // txtEdit from QuestionnaireText.
    void showQuestionnaireText();
    void clearText();
    // txtEdit's text with CR LF line ends.
    QString editedText() const;

    // Handlers, named after their controls and events.
    void Form_Load();
    void cmdEditOk_Click();

signals:
    // "編集終了" found no file it may write to: the chooser is to ask for a
    // name in its save role.
    void fileNeeded();
    // Closed through the window frame.
    void discarded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    questionnaire::QuestionnaireDocument &m_document;

    QLabel *m_label1 = nullptr;
    QPlainTextEdit *m_txtEdit = nullptr;
    QLabel *m_label2 = nullptr;
};

} // namespace teacher::forms
