#pragma once

#include "AnswerRecord.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/TextFile.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <array>

namespace tally {

// The lesson's record: one column per question collected, the running copies
// that keep it safe while the lesson runs, and the files "Kiroku.csv" and
// "Kekka.csv" it leaves in the working directory when the lesson closes.
// Statuses come back with their reasons; asking the teacher is the caller's.
class RecordKeeper
{
public:
    // The answer record and the results with their questions.
    enum class LessonFile { Record, Results };
    static constexpr std::array<LessonFile, 2> kLessonFiles{LessonFile::Record,
                                                            LessonFile::Results};
    static QString fileName(LessonFile file);
    // The copy of each kept current while the lesson runs, so that a crash or
    // a power cut loses at most the last second: "Kiroku-running.csv".
    static QString runningFileName(LessonFile file);

    explicit RecordKeeper(int studentsMax = exchange::kStudentsMax) : m_studentsMax(studentsMax) {}

    // Records one reading of the seats (those in seats, when given) for a
    // question in a round of it, in the question's column.
    void store(const AskedQuestion &question, const std::array<float, kHistorySeats> &seatAnswer,
               int round, const SeatSet *seats = nullptr);

    const AnswerHistory &history() const { return m_history; }
    bool isEmpty() const { return m_history.columnCount() == 0; }
    QByteArray bytes(LessonFile file) const;

    // Running copies found at start-up were left by a lesson that never
    // closed (a crash, a killed process, a power cut). Each is kept under the
    // time it was last written, Kiroku-2026-12-07-1015.csv, never
    // overwritten. kept names where they went; stuck those that could not be
    // renamed, with the reason, which this lesson then keeps no running copy
    // of rather than write over them. Paths are absolute, in the system's
    // form.
    struct UnfinishedRecord
    {
        QStringList kept;
        QStringList stuck;
    };
    UnfinishedRecord keepUnfinished();

    // Writes the running copies if the record changed since they were last
    // written, and at least minimumGapMs after that; false when one could
    // not be written (tried again at the next call).
    bool writeRunningCopies(qint64 minimumGapMs = 0);

    // The close writes the lesson's two files as a pair, side by side, both
    // or neither: a Kiroku.csv never stands beside another lesson's
    // Kekka.csv or beside none, nor the other way round. Until both are
    // written the running copies stay and keep every answer (the next start
    // keeps them under their time).
    //
    // Writes what of the pair is not written yet, stopping at the first step
    // that fails (failed names the file it was for, the status the reason):
    // a file this close wrote where the pair no longer goes is taken back;
    // an earlier lesson's file at either name is kept under the time it was
    // last written, as the running copies are, before either file is
    // written; then the record and the results are written. Once both are,
    // the running copies have done their work and go.
    exchange::FileStatus saveLessonFiles(LessonFile &failed);
    // Where file goes: the working directory under its own name, until the
    // teacher chooses another place.
    QString lessonFilePath(LessonFile file) const;
    // The teacher's place for file, the one that could not be written: it
    // goes to path, which the teacher agreed to replace, and the other file
    // beside it under its own name, so that the two stay together (a file
    // this close wrote at the old place is taken back by the next save).
    // Fails, changing nothing, when path is the name the other file or a
    // running copy needs.
    exchange::FileStatus chooseLessonFilePath(LessonFile file, const QString &path);
    // The teacher ends without the pair: whatever this close wrote is
    // removed. Returns what could not be, each with the reason.
    QStringList takeBackLessonFiles();
    // For the messages, paths in the system's form: the files this close
    // wrote (and has not taken back), the pair's files not written, and the
    // running copies that hold every answer now, as read back from them.
    QStringList writtenLessonFiles() const;
    QStringList unwrittenLessonFiles() const;
    QStringList currentRunningCopies() const;

private:
    int m_studentsMax;
    AnswerHistory m_history;
    bool m_changed = false;
    std::array<bool, kLessonFiles.size()> m_runningCopyEnabled{true, true};
    QElapsedTimer m_sinceRunningCopies;
    // Where the close writes each file, whether an earlier file at that
    // name is kept aside first (not at a path the teacher chose), and the
    // absolute paths it has written and not taken back.
    std::array<QString, kLessonFiles.size()> m_lessonFilePaths{fileName(LessonFile::Record),
                                                               fileName(LessonFile::Results)};
    std::array<bool, kLessonFiles.size()> m_keepEarlier{true, true};
    std::array<QStringList, kLessonFiles.size()> m_written;

    bool isWritten(LessonFile file) const;
};

} // namespace tally
