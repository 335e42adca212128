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

    // Writes one of the lesson's files at path; once it is safe, its running
    // copy has done its work and goes. A file an earlier lesson left under
    // the file's own name is first kept under the time it was last written,
    // as the running copies are.
    exchange::FileStatus save(LessonFile file, const QString &path);

private:
    int m_studentsMax;
    AnswerHistory m_history;
    bool m_changed = false;
    std::array<bool, kLessonFiles.size()> m_runningCopyEnabled{true, true};
    QElapsedTimer m_sinceRunningCopies;
};

} // namespace tally
