#pragma once

#include "LessonPrompter.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The teacher's program's own messages, in one place so that the message
// boxes and the tests use the same words.
namespace lesson::texts {

QString programTitle();
QString publishFailed(const QString &firstPath, int failedFiles, int totalFiles,
                      const QString &reason);
QString folderInUse(const QString &host);
QString takeOverFolder(const QString &host, const QDateTime &since);
QString folderLockFailed(const QString &path, const QString &reason);
QString recordFailed(const QString &path, const QString &reason, const RecordState &state);
QString confirmEndWithoutRecord(const RecordState &state);
QString unfinishedRecordFound(const QStringList &kept, const QStringList &stuck);
QString loadFailed(const QString &path, const QString &reason);
QString saveFailed(const QString &path, const QString &reason);
QString unencodable(const QString &path, const QString &characters);
QString marksReported(const QString &path, const QStringList &problems);

} // namespace lesson::texts
