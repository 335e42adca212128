#include "RecordKeeper.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

using namespace Qt::StringLiterals;

namespace tally {
namespace {

// Moves the file at path aside under the time it was last written, "Kiroku-
// 2026-12-07-1015.csv" for the record, never over another file; the name it
// got, or nothing with the reason.
std::optional<QString> keepAside(const QString &path, RecordKeeper::LessonFile file, QString &error)
{
    const QString stem = RecordKeeper::fileName(file).chopped(4) + u'-' +
                         QFileInfo(path).lastModified().toString(u"yyyy-MM-dd-HHmm"_s);
    QString keptAs = stem + u".csv"_s;
    for (int n = 2; QFileInfo::exists(keptAs) || QFileInfo(keptAs).isSymLink(); ++n)
        keptAs = stem + u'-' + QString::number(n) + u".csv"_s;
    QFile moved(path);
    if (!moved.rename(keptAs)) {
        error = moved.errorString();
        return std::nullopt;
    }
    return keptAs;
}

} // namespace

QString RecordKeeper::fileName(LessonFile file)
{
    return file == LessonFile::Record ? u"Kiroku.csv"_s : u"Kekka.csv"_s;
}

QString RecordKeeper::runningFileName(LessonFile file)
{
    return fileName(file).chopped(4) + u"-running.csv"_s;
}

void RecordKeeper::store(const AskedQuestion &question,
                         const std::array<float, kHistorySeats> &seatAnswer, int round,
                         const SeatSet *seats)
{
    if (m_history.store(question, seatAnswer, m_studentsMax, round, seats))
        m_changed = true;
}

QByteArray RecordKeeper::bytes(LessonFile file) const
{
    return file == LessonFile::Record ? answerRecordBytes(m_history, m_studentsMax)
                                      : resultsBytes(m_history, m_studentsMax);
}

RecordKeeper::UnfinishedRecord RecordKeeper::keepUnfinished()
{
    UnfinishedRecord found;
    for (const LessonFile lessonFile : kLessonFiles) {
        const QString running = runningFileName(lessonFile);
        if (!QFileInfo::exists(running) && !QFileInfo(running).isSymLink())
            continue;
        QString error;
        if (const std::optional<QString> keptAs = keepAside(running, lessonFile, error)) {
            found.kept << exchange::nativePath(*keptAs);
        } else {
            m_runningCopyEnabled[int(lessonFile)] = false;
            found.stuck << exchange::nativePath(running) + u"（"_s + error + u"）"_s;
        }
    }
    return found;
}

bool RecordKeeper::writeRunningCopies(qint64 minimumGapMs)
{
    if (!m_changed)
        return true;
    if (m_sinceRunningCopies.isValid() && m_sinceRunningCopies.elapsed() < minimumGapMs)
        return true;
    m_sinceRunningCopies.start();
    bool written = true;
    for (const LessonFile file : kLessonFiles) {
        if (!m_runningCopyEnabled[int(file)])
            continue;
        // A failure stays quiet in front of the class: the record is still
        // in memory, the next occasion tries again, and closing reports as
        // usual.
        if (!exchange::saveFileSafely(runningFileName(file), bytes(file)).ok)
            written = false;
    }
    if (written)
        m_changed = false;
    return written;
}

exchange::FileStatus RecordKeeper::save(LessonFile file, const QString &path)
{
    // An earlier lesson's file in the working directory is kept, not
    // replaced; a folder in the way fails below as before.
    const QFileInfo earlier(path);
    if (path == fileName(file) && (earlier.isFile() || earlier.isSymLink())) {
        QString error;
        if (!keepAside(path, file, error)) {
            return exchange::FileStatus::failure(
                u"前の授業の「%1」を別の名前で残せませんでした（%2）。"_s.arg(path, error));
        }
    }
    const exchange::FileStatus status = exchange::saveFileSafely(path, bytes(file));
    if (status.ok && m_runningCopyEnabled[int(file)])
        QFile::remove(runningFileName(file));
    return status;
}

} // namespace tally
