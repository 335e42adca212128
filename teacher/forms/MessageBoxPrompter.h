#pragma once

#include "teacher/lesson/LessonPrompter.h"

class QWidget;

namespace teacher::forms {

// Asks the teacher with message boxes over the main window.
class MessageBoxPrompter : public lesson::LessonPrompter
{
public:
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    PublishChoice publishFailed(const QString &firstPath, int failedFiles, int totalFiles,
                                const QString &reason) override;
    bool confirmEndQuestionnaire() override;
    void folderInUse(const QString &host) override;
    bool takeOverFolder(const QString &host, const QDateTime &since) override;
    void folderLockFailed(const QString &path, const QString &reason) override;
    RecordChoice recordFailed(const QString &path, const QString &reason,
                              const lesson::RecordState &state) override;
    QString chooseRecordPath(const QString &suggestedPath) override;
    bool confirmEndWithoutRecord(const lesson::RecordState &state) override;
    void unfinishedRecordFound(const QStringList &kept, const QStringList &stuck) override;
    void questionnaireLoadFailed(const QString &path, const QString &reason) override;
    void questionnaireSaveFailed(const QString &path, const QString &reason) override;
    void questionnaireUnencodable(const QString &path, const QString &characters) override;
    void questionnaireMarksReported(const QString &path, const QStringList &problems) override;

private:
    QWidget *m_parent = nullptr;
};

} // namespace teacher::forms
