#pragma once

// The questionnaire document of the teacher's program: the question table
// and text read from a file, and the steps of the chooser's OK and the
// editor's "編集終了" on them.

#include "FileChooserModel.h"
#include "Questionnaire.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

namespace questionnaire {

// Every question the questionnaire document puts to the user goes through
// this seam: the main window answers with message boxes, tests with a script.
class DocumentPrompter
{
public:
    virtual ~DocumentPrompter() = default;
    virtual void questionnaireLoadFailed(const QString &path, const QString &reason) = 0;
    virtual void questionnaireSaveFailed(const QString &path, const QString &reason) = 0;
    // The questionnaire was read, but these characters of it cannot reach
    // the seats: they would show "?".
    virtual void questionnaireUnencodable(const QString &path, const QString &characters) = 0;
    // The questionnaire was read, but some of its "/正解" lines were left
    // out or overruled: one text per line (see CorrectMarks).
    virtual void questionnaireMarksReported(const QString &path, const QStringList &problems) = 0;
};

// The questionnaire document of the teacher's program: the question table
// read from a file, the text it was read from and where that file is, with
// the steps of the file chooser's OK and of the editor's "編集終了" on them.
// It holds no widgets; the forms call the steps and show the outcome.
//
// The editor writes its text back to the file last opened or saved with OK.
// The chooser's lists also set the remembered location whenever the chooser
// is shown or becomes active, so a file that was only selected in the list,
// or a folder the lists were moved to, may be remembered without being
// confirmed; writing the editor's text there would destroy a questionnaire the
// teacher never meant to touch, so "編集終了" goes back to the confirmed
// location first, and showing the chooser and cancelling it changes nothing
// for the editor. When no file has been confirmed at all, or the text was
// started anew, the chooser asks for a name in its save role first; the text
// then waits in the editor, questionnaireText() keeps the questionnaire that
// was loaded, and the chooser's OK writes the editor's text and reads it back.
class QuestionnaireDocument : public QObject
{
    Q_OBJECT

public:
    explicit QuestionnaireDocument(DocumentPrompter &prompter);

    // --- the document ------------------------------------------------------
    const questionnaire::QuestionTable &questionTable() const { return m_questionTable; }
    int lastQuestion() const { return m_lastQuestion; }
    // The correct answer of a row, 1 to 5, from the file's "/正解" lines; 0
    // where the question has none.
    int correctAnswer(int row) const { return m_correctAnswer[row]; }
    // The text the table was read from, or the text saved next.
    const QString &questionnaireText() const { return m_questionnaireText; }
    void setQuestionnaireText(const QString &text) { m_questionnaireText = text; }
    // Where the questionnaire file is: the chooser's drive, folder and name.
    const QString &questionnaireDrive() const { return m_questionnaireDrive; }
    const QString &questionnaireDir() const { return m_questionnaireDir; }
    const QString &questionnaireFileName() const { return m_questionnaireFileName; }
    // The file that SFileLoad and SFileSave read and write next.
    void setFileLocation(const QString &dir, const QString &fileName);

    // Whether the file chooser's OK saves (true) or opens (false).
    bool saveMode() const { return m_saveMode; }
    void chooseToOpen() { m_saveMode = false; }
    void chooseToSave() { m_saveMode = true; }

    // The current questionnaire file; "/" alone until a file is chosen.
    QString questionnairePath() const;
    // Load and save the current file; false (after telling the user) when
    // the file could not be read or written. Loading replaces the table also
    // when it fails, with an empty one.
    bool SFileLoad();
    bool SFileSave();
    // "アンケート新規作成": an empty table and text that have no file yet.
    void startNew();
    // True while the text was started anew and has no file of its own yet.
    bool isNew() const { return m_isNew; }

    // --- the steps of the chooser and the editor ---------------------------
    // The editor's current text while the editor exists, nothing otherwise;
    // set by the windows that own the editor.
    std::function<std::optional<QString>()> editorText;

    // Copies the chooser's location into questionnaireDrive(),
    // questionnaireDir() and questionnaireFileName().
    void rememberLocation(const ShownLocation &shown);

    enum class FileOkResult {
        Stayed,         // no usable file name: the chooser stays up
        Failed,         // loading or saving failed (the user was told)
        Saved,          // the text was written
        Loaded,         // the file was read: the editor shows it
        EditorFinished, // the editor's text was written and read back
    };
    // OK of the chooser in the role saveMode() says, given what its lists show
    // and the name typed in its name box.
    FileOkResult fileOk(const ShownLocation &shown, const QString &typedName);

    enum class EditOkResult {
        Finished,   // the editor may be hidden
        FileNeeded, // the chooser must ask for a name in its save role
        Failed,     // saving or loading back failed (the user was told)
    };
    // "編集終了" with the text of the editor's box in CR LF form.
    EditOkResult editOk(const QString &text);

    // True while the editor's text waits for a name from the chooser. The
    // editor closed through its frame cancels the wait: nothing is saved.
    bool editorWaitsForFile() const { return m_editorWaits; }
    void cancelEditorWait() { m_editorWaits = false; }

    // True when "編集終了" may write to the current questionnaire file.
    bool canSaveInPlace() const;

signals:
    // The question table was read anew or emptied: its questions start
    // again from the first.
    void tableReplaced();

private:
    DocumentPrompter &m_prompter;
    questionnaire::QuestionTable m_questionTable{};
    int m_lastQuestion = 0;
    std::array<int, kTableRows> m_correctAnswer{};
    QString m_questionnaireText;
    QString m_questionnaireDrive;
    QString m_questionnaireDir;
    QString m_questionnaireFileName;
    bool m_saveMode = false;
    // Encoding of the file last read and the path it was read from: a file
    // saved back keeps its encoding.
    TextEncoding m_encoding = TextEncoding::Cp932;
    QString m_readFrom;
    bool m_isNew = false;
    ShownLocation m_confirmed; // the file last opened or saved with OK
    bool m_editorWaits = false;
};

} // namespace questionnaire
