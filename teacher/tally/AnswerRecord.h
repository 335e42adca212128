#pragma once

#include "Collect.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <vector>

namespace tally {

// The question a record column belongs to: a row of one questionnaire, or one
// ad-hoc question. Opening a questionnaire or starting a new one begins a new
// questionnaire serial, so no question of it shares a column with an earlier
// one; ad-hoc questions are numbered by a serial of their own.
struct QuestionKey
{
    int questionnaire = 0;
    int question = 0;
    bool adHoc = false;

    friend bool operator==(const QuestionKey &, const QuestionKey &) = default;
};

// The answer of every seat to every question collected in the lesson: one
// column per question, in the order the questions were first collected, each
// with the number the teacher's screen showed for it. Collecting a question
// again replaces its own column and no other.
class AnswerHistory
{
public:
    // Overwrites the cells of seats 0 to studentsMax in the column of key
    // (appended when the key is new) with the rounded seat answers, and heads
    // it with questionNumber. True when a cell, the number or the set of
    // columns changed.
    bool store(const QuestionKey &key, int questionNumber,
               const std::array<float, kHistorySeats> &seatAnswer, int studentsMax);

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    // 0 for a cell never written or outside the table.
    qint16 cell(int seat, int column) const;
    // The question number heading column; 0 outside the table.
    int questionNumber(int column) const;

private:
    struct Column
    {
        QuestionKey key;
        int questionNumber = 0;
        std::array<qint16, kHistorySeats> cells{};
    };
    std::vector<Column> m_columns;
};

// A seat answer as a history cell: rounded to the nearest whole number, a half
// to the even neighbour (2.5 gives 2, 3.5 gives 4), clamped to the 16-bit
// range; NaN gives 0.
qint16 historyValue(float value);

// The answer record "Kiroku.csv" in code page 932 with CR LF line ends: every
// collected column, each headed by its question number, so that header and
// seat lines always line up. Two ad-hoc questions and then a questionnaire of
// two give
//   出席番号, 1 , 2 , 1 , 2
//    1 番 , 2 , 0 , 1 , 3
// Seat lines run from 1 to studentsMax; seat 0 is never answered.
QByteArray answerRecordBytes(const AnswerHistory &history, int studentsMax);

} // namespace tally
