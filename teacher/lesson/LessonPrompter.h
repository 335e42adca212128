#pragma once

#include "teacher/questionnaire/QuestionnaireDocument.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace lesson {

// Where the lesson's two files stand at the close, for the messages; paths
// in the system's form.
struct RecordState
{
    QStringList written;    // written in this close and still there
    QStringList notWritten; // not written
    QStringList keptIn;     // the running copies holding every answer; none when empty
};

// Every question the teacher's program puts to the user goes through this
// seam: the main window answers with message boxes, tests with a script.
class LessonPrompter : public questionnaire::DocumentPrompter
{
public:
    virtual ~LessonPrompter() = default;

    enum class PublishChoice { Retry, Continue };
    // Some exchange files could not be written during a publication.
    virtual PublishChoice publishFailed(const QString &firstPath, int failedFiles, int totalFiles,
                                        const QString &reason) = 0;

    // "ｱﾝｹｰﾄの終了": true to end the pupils' programs.
    virtual bool confirmEndQuestionnaire() = 0;

    enum class RecordChoice { Retry, SaveElsewhere, EndWithout };
    // One of the lesson's files (path) could not be written at closing; the
    // record and the results stand as state says.
    virtual RecordChoice recordFailed(const QString &path, const QString &reason,
                                      const RecordState &state) = 0;
    // Another place for the file that could not be written; empty when the
    // user cancels.
    virtual QString chooseRecordPath(const QString &suggestedPath) = 0;
    // Second confirmation before ending without the record and the results:
    // state is how the files stand if the user says yes (written: what
    // could not be taken back, each with the reason).
    virtual bool confirmEndWithoutRecord(const RecordState &state) = 0;

    // Another teacher's program holds the classroom folder: on this PC
    // (host), which ends this program; or on another, whose program may be
    // gone: true to take the lesson over from it.
    virtual void folderInUse(const QString &host) = 0;
    virtual bool takeOverFolder(const QString &host, const QDateTime &since) = 0;
    // The folder's lock file could not be made; the program ends.
    virtual void folderLockFailed(const QString &path, const QString &reason) = 0;

    // Running copies found at start-up, left by a lesson that did not close:
    // kept under the paths in kept; those in stuck (each with its reason)
    // could not be renamed and stay untouched.
    virtual void unfinishedRecordFound(const QStringList &kept, const QStringList &stuck) = 0;
};

} // namespace lesson
