#pragma once

#include "teacher/lesson/LessonPrompter.h"

#include <QDir>
#include <QList>

#include <functional>
#include <QStringList>

// Answers the lesson's questions from a script and records what was asked.
class ScriptedPrompter : public lesson::LessonPrompter
{
public:
    QList<PublishChoice> publishChoices;
    QList<RecordChoice> recordChoices;
    QStringList recordPaths;
    bool endQuestionnaire = true;
    bool takeOver = false;
    bool endWithoutRecord = true;

    QStringList asked; // one entry per question, "kind: detail"
    // Runs before each answer, as a user would act before pressing a button.
    std::function<void()> beforeAnswer;

    PublishChoice publishFailed(const QString &firstPath, int failedFiles, int totalFiles,
                                const QString &) override
    {
        asked
            << QStringLiteral("publish: %1 %2/%3").arg(firstPath).arg(failedFiles).arg(totalFiles);
        if (beforeAnswer)
            beforeAnswer();
        return publishChoices.isEmpty() ? PublishChoice::Continue : publishChoices.takeFirst();
    }
    bool confirmEndQuestionnaire() override
    {
        asked << QStringLiteral("end questionnaire");
        return endQuestionnaire;
    }
    void folderInUse(const QString &host) override
    {
        asked << QStringLiteral("folder in use: ") + host;
    }
    bool takeOverFolder(const QString &host, const QDateTime &since) override
    {
        asked << QStringLiteral("take over: %1 %2").arg(host, since.toString(Qt::ISODate));
        return takeOver;
    }
    void folderLockFailed(const QString &path, const QString &) override
    {
        asked << QStringLiteral("folder lock failed: ") + path;
    }
    // The record's questions with how the lesson's files stand, relative to
    // the working directory: "record: Kekka.csv; written: Kiroku.csv; not:
    // Kekka.csv; kept: Kiroku-running.csv Kekka-running.csv".
    static QString names(const QStringList &paths)
    {
        QStringList relative;
        for (const QString &path : paths)
            relative << QDir::current().relativeFilePath(QDir::fromNativeSeparators(path));
        return relative.join(u' ');
    }
    static QString files(const lesson::RecordState &state)
    {
        return QStringLiteral("; written: %1; not: %2; kept: %3")
            .arg(names(state.written), names(state.notWritten), names(state.keptIn));
    }
    RecordChoice recordFailed(const QString &path, const QString &,
                              const lesson::RecordState &state) override
    {
        asked << QStringLiteral("record: ") + names({path}) + files(state);
        return recordChoices.isEmpty() ? RecordChoice::EndWithout : recordChoices.takeFirst();
    }
    QString chooseRecordPath(const QString &) override
    {
        asked << QStringLiteral("choose record path");
        return recordPaths.isEmpty() ? QString() : recordPaths.takeFirst();
    }
    bool confirmEndWithoutRecord(const lesson::RecordState &state) override
    {
        asked << QStringLiteral("end without record") + files(state);
        return endWithoutRecord;
    }
    void unfinishedRecordFound(const QStringList &kept, const QStringList &stuck) override
    {
        asked << QStringLiteral("unfinished record: ") + kept.join(u' ') +
                     (stuck.isEmpty() ? QString() : QStringLiteral(" stuck: ") + stuck.join(u' '));
    }
    void questionnaireLoadFailed(const QString &path, const QString &) override
    {
        asked << QStringLiteral("load failed: ") + path;
    }
    void questionnaireSaveFailed(const QString &path, const QString &) override
    {
        asked << QStringLiteral("save failed: ") + path;
    }
    void questionnaireUnencodable(const QString &path, const QString &characters) override
    {
        asked << QStringLiteral("unencodable: ") + path + u' ' + characters;
    }
    void questionnaireMarksReported(const QString &path, const QStringList &problems) override
    {
        asked << QStringLiteral("marks: ") + path + u' ' + problems.join(u'|');
    }
};
