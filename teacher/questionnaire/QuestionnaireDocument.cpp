// The questionnaire document: loading and saving its file, and the steps of
// the file chooser's OK and the editor's "編集終了".
#include "QuestionnaireDocument.h"

namespace questionnaire {

QuestionnaireDocument::QuestionnaireDocument(DocumentPrompter &prompter) : m_prompter(prompter) {}

QString QuestionnaireDocument::questionnairePath() const
{
    return questionnaire::questionnairePath(m_questionnaireDir, m_questionnaireFileName);
}

bool QuestionnaireDocument::SFileLoad()
{
    const QString path = questionnairePath();
    const LoadResult result = loadFile(path, m_questionTable, m_lastQuestion, m_questionnaireText);
    m_correctAnswer = result.marks.answer;
    emit tableReplaced();
    if (!result.status.ok) {
        m_prompter.questionnaireLoadFailed(exchange::nativePath(path), result.status.error);
        return false;
    }
    m_encoding = result.encoding;
    m_readFrom = path;
    m_isNew = false;
    if (!result.unencodable.isEmpty())
        m_prompter.questionnaireUnencodable(exchange::nativePath(path), result.unencodable);
    if (!result.marks.problems.isEmpty())
        m_prompter.questionnaireMarksReported(exchange::nativePath(path), result.marks.problems);
    return true;
}

bool QuestionnaireDocument::SFileSave()
{
    const QString path = questionnairePath();
    // A file saved back keeps the encoding it was read in; any other file is
    // written in code page 932.
    const TextEncoding encoding = path == m_readFrom ? m_encoding : TextEncoding::Cp932;
    const exchange::FileStatus status = saveFile(path, m_questionnaireText, encoding);
    if (!status.ok) {
        m_prompter.questionnaireSaveFailed(exchange::nativePath(path), status.error);
        return false;
    }
    m_isNew = false;
    return true;
}

void QuestionnaireDocument::startNew()
{
    m_saveMode = false;
    m_lastQuestion = 0;
    m_questionnaireText.clear();
    m_correctAnswer.fill(0);
    for (int row = 0; row <= kLastLoadedRow; ++row) {
        for (int field = 0; field <= kMaxAnswers; ++field)
            m_questionTable[row][field].clear();
    }
    m_isNew = true;
    emit tableReplaced();
}

void QuestionnaireDocument::setFileLocation(const QString &dir, const QString &fileName)
{
    m_questionnaireDir = dir;
    m_questionnaireFileName = fileName;
}

void QuestionnaireDocument::rememberLocation(const ShownLocation &shown)
{
    m_questionnaireDrive = shown.drive;
    m_questionnaireDir = shown.dir;
    m_questionnaireFileName = shown.selectedFile;
}

bool QuestionnaireDocument::canSaveInPlace() const
{
    return !m_confirmed.selectedFile.isEmpty() && !m_isNew;
}

QuestionnaireDocument::FileOkResult QuestionnaireDocument::fileOk(const ShownLocation &shown,
                                                                  const QString &typedName)
{
    // The location is taken first, so an OK that stops below still leaves
    // m_questionnaireFileName empty.
    rememberLocation(shown);

    if (!m_saveMode) {
        if (m_questionnaireFileName.isEmpty())
            return FileOkResult::Stayed;
        m_editorWaits = false;
        if (!SFileLoad())
            return FileOkResult::Failed;
        m_confirmed = {m_questionnaireDrive, m_questionnaireDir, m_questionnaireFileName};
        return FileOkResult::Loaded;
    }

    // A selected file wins over the typed name, which is used as typed.
    if (m_questionnaireFileName.isEmpty())
        m_questionnaireFileName = typedName;
    if (m_questionnaireFileName.isEmpty())
        return FileOkResult::Stayed;

    // The editor's "編集終了" is waiting for this name: what is in its box
    // now is what the teacher wants written, edits made meanwhile included.
    const std::optional<QString> edited =
        m_editorWaits && editorText ? editorText() : std::optional<QString>();
    const QString loadedText = m_questionnaireText;
    if (edited) {
        m_questionnaireText = *edited;
        if (edited->isEmpty()) {
            m_editorWaits = false;
            return FileOkResult::EditorFinished;
        }
    }
    if (!SFileSave()) {
        // The editor's text keeps waiting in the editor; in memory the
        // questionnaire stays the one the question table was read from.
        if (edited)
            m_questionnaireText = loadedText;
        return FileOkResult::Failed;
    }
    m_confirmed = {m_questionnaireDrive, m_questionnaireDir, m_questionnaireFileName};
    if (!edited)
        return FileOkResult::Saved;
    m_editorWaits = false;
    // Written but not read back: the editor stays up with its text.
    return SFileLoad() ? FileOkResult::EditorFinished : FileOkResult::Saved;
}

QuestionnaireDocument::EditOkResult QuestionnaireDocument::editOk(const QString &text)
{
    if (text.isEmpty()) {
        m_questionnaireText.clear();
        return EditOkResult::Finished;
    }
    if (!canSaveInPlace()) {
        // The text stays in the editor until the chooser's OK takes it, so
        // that m_questionnaireText still matches the question table if the wait
        // is cancelled.
        m_editorWaits = true;
        return EditOkResult::FileNeeded;
    }
    m_questionnaireText = text;
    rememberLocation(m_confirmed);
    return SFileSave() && SFileLoad() ? EditOkResult::Finished : EditOkResult::Failed;
}

} // namespace questionnaire
