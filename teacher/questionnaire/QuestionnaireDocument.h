#pragma once

#include "Questionnaire.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

namespace questionnaire {

// --- texts of the editor ---------------------------------------------------

// The editor's fixed guide to the file format: ten lines joined by a lone CR,
// with an empty second line.
QString guideText();

// "アンケート数　 3問" for lastQuestion 2: the number of questions in
// sign-position form.
QString questionCountText(int lastQuestion);

// A noncharacter that stands in the editor's box for a paragraph separator
// (U+2029) of the questionnaire text, which the box would otherwise turn into
// one of its own line breaks.
inline constexpr QChar kHeldParagraphSeparator{char16_t(0xFDEF)};

// The questionnaire text as the editor's box takes it: every CR LF (or a lone
// CR or LF) becomes "\n"; a line separator (U+2028) stays as it is, a
// paragraph separator becomes kHeldParagraphSeparator.
QString textForEditor(QStringView questionnaireText);

// The editor's text back in the questionnaire's form: every line break,
// whether "\n", CR LF, a lone CR or the paragraph separator between a text
// document's blocks, becomes CR LF. A line separator is text the file held
// (the box types none, see frmTextEdit) and stays; kHeldParagraphSeparator
// becomes the paragraph separator again.
QString textFromEditor(QStringView editorText);

// --- folders and files of the chooser ---------------------------------------

// The roots the drive list offers ("C:/", "D:/" on Windows, "/" elsewhere).
QStringList driveRoots();

// The root among drives that path lies on (the longest matching one, case
// ignored as the file systems with drive letters do). A UNC path that no drive
// holds gives its "//server/share/" root; any other unknown path gives "/".
QString driveOf(const QString &path, const QStringList &drives);

// The folders from the drive's root down to dir itself, root first:
// "/home/u" on "/" gives "/", "/home", "/home/u".
QStringList ancestorPaths(const QString &dir, const QString &drive);

// True when dir is a folder whose entries can be read.
bool canListDirectory(const QString &dir);

// Names of the folders in dir, hidden ones left out, sorted with case ignored.
QStringList listSubdirectories(const QString &dir);

// True when fileName matches the pattern as the file chooser reads it: one or
// more patterns separated by ";", each with "*" for any run of characters and
// "?" for one; case is ignored; "*.*" matches every name, also one without a
// dot; an empty pattern matches every name.
bool matchesFilePattern(QStringView fileName, QStringView pattern);

// Names of the files in dir that match the pattern, hidden ones left out,
// sorted with case ignored.
QStringList listFiles(const QString &dir, QStringView pattern);

// --- the procedures of the chooser and the editor ------------------------

// What the chooser's lists show: the drive, the folder and the selected file
// (empty when none is selected).
struct ShownLocation
{
    QString drive;
    QString dir;
    QString selectedFile;
};

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
// then waits in the editor, QuestionnaireText keeps the questionnaire that
// was loaded, and the chooser's OK writes the editor's text and reads it back.
class QuestionnaireDocument : public QObject
{
    Q_OBJECT

public:
    explicit QuestionnaireDocument(DocumentPrompter &prompter);

    // --- the document ------------------------------------------------------
    questionnaire::QuestionTable QuestionTable{};
    int LastQuestion = 0;
    // The correct answer of each row, 1 to 5, from the file's "/正解" lines;
    // 0 where the question has none.
    std::array<int, kTableRows> CorrectAnswer{};
    QString QuestionnaireText;
    QString QuestionnaireDrive;
    QString QuestionnaireDir;
    QString QuestionnaireFileName;
    // Whether the file chooser saves (true) or opens (false).
    bool SaveMode = false;

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

    // Copies the chooser's location into QuestionnaireDrive,
    // QuestionnaireDir and QuestionnaireFileName.
    void rememberLocation(const ShownLocation &shown);

    enum class FileOkResult {
        Stayed,         // no usable file name: the chooser stays up
        Failed,         // loading or saving failed (the user was told)
        Saved,          // the text was written
        Loaded,         // the file was read: the editor shows it
        EditorFinished, // the editor's text was written and read back
    };
    // OK of the chooser in the role SaveMode says, given what its lists show
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
    // Encoding of the file last read and the path it was read from: a file
    // saved back keeps its encoding.
    TextEncoding m_encoding = TextEncoding::Cp932;
    QString m_readFrom;
    bool m_isNew = false;
    ShownLocation m_confirmed; // the file last opened or saved with OK
    bool m_editorWaits = false;
};

} // namespace questionnaire
