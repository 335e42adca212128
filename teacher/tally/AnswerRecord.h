#pragma once

#include "Collect.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>

namespace tally {

// One column per row of the question table (0 to 31).
inline constexpr int kHistoryColumns = 32;

// The answer of every seat to every question column, as the last poll on that
// column read it, and per column the number of the question that was on screen
// at that poll.
class AnswerHistory
{
public:
    // Overwrites the cells of seats 0 to studentsMax in column with the rounded
    // seat answers and remembers questionNumber for the column. A column
    // outside 0 to 31 is ignored.
    void store(int column, int questionNumber, const std::array<float, kHistorySeats> &seatAnswer,
               int studentsMax);

    // 0 for a cell never written or outside the table.
    qint16 cell(int seat, int column) const;
    // The question number of the last store into column; 0 when none.
    int questionNumber(int column) const;
    bool isWritten(int column) const;

private:
    std::array<std::array<qint16, kHistoryColumns>, kHistorySeats> m_cells{};
    std::array<int, kHistoryColumns> m_questionNumbers{};
    std::array<bool, kHistoryColumns> m_written{};
};

// A seat answer as a history cell: rounded to the nearest whole number, a half
// to the even neighbour (2.5 gives 2, 3.5 gives 4), clamped to the 16-bit
// range; NaN gives 0.
qint16 historyValue(float value);

// The answer record "Kiroku.csv" in code page 932 with CR LF line ends. Of the
// columns 0 to lastColumn only those written by a poll are recorded, each
// headed by its question number, so that header and seat lines line up
// whichever column a question's answers landed in:
//   出席番号, 1 , 2 , 3
//    1 番 , 2 , 0 , 1
// Seat lines run from 1 to studentsMax; seat 0 is never answered.
QByteArray answerRecordBytes(const AnswerHistory &history, int lastColumn, int studentsMax);

} // namespace tally
