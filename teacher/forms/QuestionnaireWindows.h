#pragma once

#include "teacher/questionnaire/QuestionnaireDocument.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace teacher::forms {

class frmFileLoad;
class frmTextEdit;

// The two modeless windows of the questionnaire documents, the file chooser
// and the editor, and the menu items of the main window that show them. The
// main window owns one instance and refreshes itself after each call.
class QuestionnaireWindows : public QObject
{
    Q_OBJECT

public:
    QuestionnaireWindows(questionnaire::QuestionnaireDocument &document, QWidget *mainWindow);
    ~QuestionnaireWindows() override;

    // "ファイルを開く": the state part has run; shows the chooser to open.
    void showFileOpen();
    // "ファイルを保存": the state part has run; shows the chooser to save.
    void showSave();
    // "アンケート新規作成": empties the editor's text box (built, not shown).
    void clearEditor();
    // "アンケート文を編集する".
    void showEditor();

    // The windows while they exist; null before their first showing and
    // after they were closed through their frames.
    frmFileLoad *fileLoad() const;
    frmTextEdit *textEdit() const;

    questionnaire::QuestionnaireDocument &document() { return m_document; }

private:
    questionnaire::QuestionnaireDocument &m_document;
    QWidget *m_mainWindow;
    QPointer<frmFileLoad> m_fileLoad;
    QPointer<frmTextEdit> m_textEdit;

    frmFileLoad &fileLoadWindow();
    frmTextEdit &textEditWindow();
    void showEditorAfterLoad();
    void editorNeedsFile();
    void hideEditor();
};

} // namespace teacher::forms
