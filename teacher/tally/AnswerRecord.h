#pragma once

#include "Collect.h"
#include "Correct.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>
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

// The question text (0) and the answer labels (1 to 5) on the teacher's
// screen while a question was collected.
using QuestionTexts = std::array<QString, 6>;

// What the record keeps of a question besides its texts: how many answers
// the seats were offered (1 to 5; 0 when unknown) and which of them is the
// correct one (0: none).
struct QuestionFacts
{
    int answers = 0;
    int correct = 0;

    friend bool operator==(const QuestionFacts &, const QuestionFacts &) = default;
};

// The answer of every seat to every question collected in the lesson: one
// column per question, in the order the questions were first collected, each
// with the number the teacher's screen showed for it. Collecting a question
// again writes its own column and no other.
//
// A question may be asked in several rounds (asked again, paused and
// restarted); every round resets the seats' answer files. A cell keeps the
// latest answer the seat gave to its question in any round. Within a round
// the latest reading counts, as the seat's file says; when it is no answer
// (exactly 1 to 5), such as a fresh round's 0 or an answer the pupil's
// program took back, the answer of an earlier round stands. Seat 4 answering
// 2, then nothing in a second round, then 3 in a third that it takes back:
//   cell 0 -> 2 -> 2 -> 3 -> 2
class AnswerHistory
{
public:
    // Stores one reading of seats 0 to studentsMax, rounded, in the column of
    // key (appended when the key is new) by the rule above, and heads it with
    // questionNumber; texts are kept for the results. A reading of another
    // round than the column's last begins that round. True when a cell, the
    // number, the texts or the set of columns changed.
    bool store(const QuestionKey &key, int questionNumber,
               const std::array<float, kHistorySeats> &seatAnswer, int studentsMax,
               const QuestionTexts &texts = {}, int round = 0, const QuestionFacts &facts = {});

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    // The column of key; -1 when it has none yet.
    int columnOf(const QuestionKey &key) const;
    // 0 for a cell never written or outside the table.
    qint16 cell(int seat, int column) const;
    // The question number heading column; 0 outside the table.
    int questionNumber(int column) const;
    // The texts on screen when column was last collected.
    QuestionTexts texts(int column) const;
    QuestionFacts facts(int column) const;
    // Entry k: the seats 1 to studentsMax whose cell in column is k + 1, as
    // the record lists them.
    std::array<int, kBars> answerCounts(int column, int studentsMax) const;

private:
    struct Column
    {
        QuestionKey key;
        int questionNumber = 0;
        std::array<qint16, kHistorySeats> cells{};
        QuestionTexts texts;
        QuestionFacts facts;
        int round = 0;
        // The cells as the rounds before the current one left them.
        std::array<qint16, kHistorySeats> earlier{};
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

// The results "Kekka.csv", for a spreadsheet on a Japanese PC: code page 932,
// CR LF, a header line, then one line per column of the record with its
// number as the record heads it, the question, the five answer labels, the
// five counts and the number who answered, counted from the record's cells
// of seats 1 to studentsMax, so that both files agree; last the correct
// answer and the percent of those who answered who gave it (rounded; both
// empty where the question has no correct answer, the percent also where
// nobody answered). A text a spreadsheet would take for a formula (=, +, -,
// @ or their full-width forms first, after any blanks; a tab or a carriage
// return first) gets a quote in front and stays text; a plain number such as
// -1 stays a number. A cell holding a comma, a quote or a line break is
// quoted, its quotes doubled:
//   番号,質問,答え1,…,答え5,人数1,…,人数5,回答人数,正解,正答率
//    2 ,"赤, 青, 黄のどれ？",赤,青,黄,,,3,1,0,0,0,4,1,75
//    3 ,'=1+2,"'@SUM(9), 3",-1,+3,,,0,0,1,0,0,1,,
QByteArray resultsBytes(const AnswerHistory &history, int studentsMax);

} // namespace tally
