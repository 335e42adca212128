#include "RecordKeeper.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

using namespace Qt::StringLiterals;

namespace tally {
namespace {

// Moves the file at path aside in its folder under the time it was last
// written, "Kiroku-2026-12-07-1015.csv" for the record, never over another
// file; the name it got, or nothing with the reason.
std::optional<QString> keepAside(const QString &path, RecordKeeper::LessonFile file, QString &error)
{
    const QFileInfo info(path);
    const QString stem = info.dir().filePath(RecordKeeper::fileName(file).chopped(4) + u'-' +
                                             info.lastModified().toString(u"yyyy-MM-dd-HHmm"_s));
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

// Removes a file this close wrote; one already gone is removed too.
bool takeBack(const QString &path, QString &error)
{
    QFile file(path);
    if (file.remove() || (!file.exists() && !QFileInfo(path).isSymLink()))
        return true;
    error = file.errorString();
    return false;
}

QString absolutePath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
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

exchange::FileStatus RecordKeeper::saveLessonFiles(LessonFile &failed)
{
    // The running copies are brought up to date at every attempt: the
    // messages tell where the answers are.
    writeRunningCopies();
    for (const LessonFile file : kLessonFiles) {
        const QString target = absolutePath(lessonFilePath(file));
        for (const QString &path : QStringList(m_written[int(file)])) {
            if (path == target)
                continue;
            QString error;
            if (!takeBack(path, error)) {
                failed = file;
                return exchange::FileStatus::failure(
                    u"先に書いた「%1」を取り消せませんでした（%2）。"_s.arg(
                        exchange::nativePath(path), error));
            }
            m_written[int(file)].removeOne(path);
        }
    }
    // The earlier lesson's pair is moved aside together: when one of them
    // cannot be, the other goes back to its name.
    QList<std::pair<QString, QString>> movedAside;
    for (const LessonFile file : kLessonFiles) {
        const QString path = lessonFilePath(file);
        const QFileInfo earlier(path);
        if (!m_keepEarlier[int(file)] || isWritten(file) ||
            !(earlier.isFile() || earlier.isSymLink()))
            continue;
        QString error;
        if (const std::optional<QString> keptAs = keepAside(path, file, error)) {
            movedAside.append({*keptAs, path});
            continue;
        }
        for (const auto &[keptAs, name] : std::as_const(movedAside))
            QFile::rename(keptAs, name);
        failed = file;
        return exchange::FileStatus::failure(
            u"前の授業の「%1」を別の名前で残せませんでした（%2）。"_s.arg(earlier.fileName(),
                                                                          error));
    }
    for (const LessonFile file : kLessonFiles) {
        if (isWritten(file))
            continue;
        const exchange::FileStatus status =
            exchange::saveFileSafely(lessonFilePath(file), bytes(file));
        if (!status) {
            failed = file;
            return status;
        }
        m_written[int(file)] << absolutePath(lessonFilePath(file));
    }
    for (const LessonFile file : kLessonFiles) {
        if (m_runningCopyEnabled[int(file)])
            QFile::remove(runningFileName(file));
    }
    return {};
}

QString RecordKeeper::lessonFilePath(LessonFile file) const
{
    return m_lessonFilePaths[int(file)];
}

exchange::FileStatus RecordKeeper::chooseLessonFilePath(LessonFile file, const QString &path)
{
    const LessonFile other = file == LessonFile::Record ? LessonFile::Results : LessonFile::Record;
    const QString beside = QFileInfo(path).dir().filePath(fileName(other));
    for (const QString &needed :
         {beside, runningFileName(LessonFile::Record), runningFileName(LessonFile::Results)}) {
        if (absolutePath(path).compare(absolutePath(needed), Qt::CaseInsensitive) == 0) {
            return exchange::FileStatus::failure(
                u"「%1」は、もう一方のファイルか途中の記録が使う名前です。"
                u"別の名前を選んでください。"_s.arg(exchange::nativePath(path)));
        }
    }
    m_lessonFilePaths[int(file)] = path;
    m_keepEarlier[int(file)] = false;
    m_lessonFilePaths[int(other)] = beside;
    m_keepEarlier[int(other)] = true;
    return {};
}

QStringList RecordKeeper::takeBackLessonFiles()
{
    QStringList left;
    for (QStringList &written : m_written) {
        for (const QString &path : QStringList(written)) {
            QString error;
            if (takeBack(path, error))
                written.removeOne(path);
            else
                left << exchange::nativePath(path) + u"（"_s + error + u"）"_s;
        }
    }
    return left;
}

QStringList RecordKeeper::writtenLessonFiles() const
{
    QStringList paths;
    for (const QStringList &written : m_written) {
        for (const QString &path : written)
            paths << exchange::nativePath(path);
    }
    return paths;
}

QStringList RecordKeeper::unwrittenLessonFiles() const
{
    QStringList paths;
    for (const LessonFile file : kLessonFiles) {
        if (!isWritten(file))
            paths << exchange::nativePath(lessonFilePath(file));
    }
    return paths;
}

QStringList RecordKeeper::currentRunningCopies() const
{
    QStringList paths;
    for (const LessonFile file : kLessonFiles) {
        const QByteArray expected = bytes(file);
        if (m_runningCopyEnabled[int(file)] &&
            exchange::readFileHead(runningFileName(file), expected.size() + 1) == expected)
            paths << exchange::nativePath(runningFileName(file));
    }
    return paths;
}

bool RecordKeeper::isWritten(LessonFile file) const
{
    return m_written[int(file)].contains(absolutePath(lessonFilePath(file)));
}

} // namespace tally
