#include "QuestionnaireWindows.h"

#include "frmFileLoad.h"
#include "frmTextEdit.h"

namespace teacher::forms {

namespace {

// Shows a window and brings it to the front with the focus, whether it was
// hidden or up already: a window shown again must not stay behind the other.
void bringUp(QWidget &window)
{
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

QuestionnaireWindows::QuestionnaireWindows(questionnaire::QuestionnaireDocument &document,
                                           QWidget *mainWindow)
    : m_document(document), m_mainWindow(mainWindow)
{
    m_document.editorText = [this]() -> std::optional<QString> {
        if (!m_textEdit)
            return std::nullopt;
        return m_textEdit->editedText();
    };
}

QuestionnaireWindows::~QuestionnaireWindows()
{
    m_document.editorText = nullptr;
    delete m_fileLoad.data();
    delete m_textEdit.data();
}

frmFileLoad *QuestionnaireWindows::fileLoad() const
{
    return m_fileLoad;
}

frmTextEdit *QuestionnaireWindows::textEdit() const
{
    return m_textEdit;
}

frmFileLoad &QuestionnaireWindows::fileLoadWindow()
{
    if (!m_fileLoad) {
        m_fileLoad = new frmFileLoad(m_document, m_mainWindow);
        connect(m_fileLoad, &frmFileLoad::loaded, this, &QuestionnaireWindows::showEditorAfterLoad);
        connect(m_fileLoad, &frmFileLoad::editorFinished, this, &QuestionnaireWindows::hideEditor);
        connect(m_fileLoad, &frmFileLoad::cancelled, this,
                [this] { m_document.cancelEditorWait(); });
        connect(m_fileLoad, &frmFileLoad::discarded, this, [this] {
            m_document.cancelEditorWait();
            // Built anew, first-showing steps included, at the next showing.
            m_fileLoad->deleteLater();
            m_fileLoad = nullptr;
        });
    }
    return *m_fileLoad;
}

frmTextEdit &QuestionnaireWindows::textEditWindow()
{
    if (!m_textEdit) {
        m_textEdit = new frmTextEdit(m_document, m_mainWindow);
        connect(m_textEdit, &frmTextEdit::fileNeeded, this, &QuestionnaireWindows::editorNeedsFile);
        connect(m_textEdit, &frmTextEdit::discarded, this, [this] {
            // Closing the editor cancels "編集終了": nothing is saved. A text
            // waiting for a name is dropped with the editor, and the chooser
            // that asked for the name goes with it; QuestionnaireText and the
            // question table stay as they were loaded.
            if (m_document.editorWaitsForFile() && m_fileLoad)
                m_fileLoad->hide();
            m_document.cancelEditorWait();
            m_textEdit->deleteLater();
            m_textEdit = nullptr;
        });
    }
    return *m_textEdit;
}

void QuestionnaireWindows::showFileOpen()
{
    m_document.cancelEditorWait();
    frmFileLoad &window = fileLoadWindow();
    window.setOpenRole();
    bringUp(window);
}

void QuestionnaireWindows::showSave()
{
    frmFileLoad &window = fileLoadWindow();
    window.setSaveRole();
    bringUp(window);
}

void QuestionnaireWindows::clearEditor()
{
    frmTextEdit &window = textEditWindow();
    window.clearText();
    window.update();
}

void QuestionnaireWindows::showEditor()
{
    frmTextEdit &window = textEditWindow();
    bringUp(window);
    window.showQuestionnaireText();
    window.showCount();
}

void QuestionnaireWindows::showEditorAfterLoad()
{
    frmTextEdit &window = textEditWindow();
    bringUp(window);
    window.showCount();
    window.showQuestionnaireText();
    window.update();
}

// "編集終了" with no file it may write to: the chooser asks for a name, as
// "ファイルを保存" does; its OK then writes the editor's text and reads it
// back. The name box starts empty, so that a name left there from the file
// opened earlier is not taken by a hasty OK.
void QuestionnaireWindows::editorNeedsFile()
{
    m_document.chooseToSave();
    fileLoadWindow().clearFileName();
    showSave();
}

void QuestionnaireWindows::hideEditor()
{
    if (m_textEdit)
        m_textEdit->hide();
}

} // namespace teacher::forms
