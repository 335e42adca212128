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

// The question text (0) and the answer labels (1 to 5) as the seats were
// shown them.
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

// A question as the seats were shown it: where it came from (a row of the
// questionnaire, or the serial of an ad-hoc question, which "表示の消去"
// counts on), the number the teacher's screen gave it, its texts and facts.
struct AskedQuestion
{
    int source = 0;
    bool adHoc = false;
    int number = 0;
    QuestionTexts texts;
    QuestionFacts facts;
    // Which vote on the question this is: 1, or 2, 3 … when the teacher
    // has the class vote on it again ("もう一度投票") to compare the rounds.
    int vote = 1;

    // One record column holds one question: the same source with the same
    // texts and number of answers. Asking it again by any route (つぎへ after
    // もどる, 再集計, the questionnaire opened or edited anew) adds to its
    // column; anything the seats see differently (the blank question after
    // "表示の消去", other labels, an edited text) is another question.
    // Each vote has a column of its own, so that a later vote never
    // replaces an answer of an earlier one.
    bool sameQuestion(const AskedQuestion &other) const
    {
        return sameQuestionAnyVote(other) && vote == other.vote;
    }
    bool sameQuestionAnyVote(const AskedQuestion &other) const
    {
        return source == other.source && adHoc == other.adHoc && texts == other.texts &&
               facts.answers == other.facts.answers;
    }
};

// Which seats a reading covers: entry n for seat n.
using SeatSet = std::array<bool, kHistorySeats>;

// The answer of every seat to every question collected in the lesson: one
// column per question, in the order the questions were first collected, each
// with the number, texts and facts it was first asked with, never replaced.
// Collecting a question again writes its own column and no other. A second
// (third, …) vote on a question gets a column right after the question's
// earlier votes, wherever the question stands in the record.
//
// A question may be asked in several rounds (asked again, paused and
// restarted); every round resets the seat's answer file. A cell keeps the
// latest answer the seat gave to its question in any round. Within a round
// the latest reading counts, as the seat's file says; when it is no answer
// (exactly 1 to 5), such as a fresh round's 0 or an answer the pupil's
// program took back, the answer of an earlier round stands. Seat 4 answering
// 2, then nothing in a second round, then 3 in a third that it takes back:
//   cell 0 -> 2 -> 2 -> 3 -> 2
// Rounds are counted per seat: a seat that a publication did not reach goes
// on in the round it had. A reading that is no answer never makes one: 2.4
// leaves 0 (or the earlier answer), while 7 or -1 are kept as they are.
class AnswerHistory
{
public:
    // Stores one reading of seats 0 to studentsMax (only those in seats,
    // when given), rounded, in the column of question (appended when it is
    // new) by the rule above. A reading of another round than a seat's last
    // begins that round for the seat. True when a cell or the set of columns
    // changed.
    bool store(const AskedQuestion &question, const std::array<float, kHistorySeats> &seatAnswer,
               int studentsMax, int round = 0, const SeatSet *seats = nullptr);

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    // The column of question; -1 when it has none yet.
    int columnOf(const AskedQuestion &question) const;
    // 0 for a cell never written or outside the table.
    qint16 cell(int seat, int column) const;
    // The question number heading column; 0 outside the table.
    int questionNumber(int column) const;
    // The question the column holds, as it was first asked; an empty one
    // outside the table.
    AskedQuestion question(int column) const;
    // The vote the column holds (1 for the first); 0 outside the table.
    int vote(int column) const;
    // The latest vote on question in the record, whichever vote it names;
    // 0 when the record has none.
    int latestVote(const AskedQuestion &question) const;
    // The texts the column's question was first asked with.
    QuestionTexts texts(int column) const;
    QuestionFacts facts(int column) const;
    // Entry k: the seats 1 to studentsMax whose cell in column is k + 1, as
    // the record lists them.
    std::array<int, kBars> answerCounts(int column, int studentsMax) const;

private:
    struct Column
    {
        AskedQuestion question;
        std::array<qint16, kHistorySeats> cells{};
        // Each seat's round, and its cell as the rounds before it left it.
        std::array<int, kHistorySeats> round;
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
// Seat lines run from 1 to studentsMax; seat 0 is never answered. A second
// vote's column is headed with its number and the vote: " 3(2回目) ".
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
// -1 stays a number. Each vote on a question is a line of its own, numbered
// as the record heads its column. A cell holding a comma, a quote or a line break is
// quoted, its quotes doubled:
//   番号,質問,答え1,…,答え5,人数1,…,人数5,回答人数,正解,正答率
//    2 ,"赤, 青, 黄のどれ？",赤,青,黄,,,3,1,0,0,0,4,1,75
//    3 ,'=1+2,"'@SUM(9), 3",-1,+3,,,0,0,1,0,0,1,,
QByteArray resultsBytes(const AnswerHistory &history, int studentsMax);

// The heading of a column in both files: " 3 ", or " 3(2回目) " for the
// second vote on question 3.
QString columnHeading(const AnswerHistory &history, int column);
// "2回目" for vote 2.
QString voteLabel(int vote);
// A text cell as the results write it: a formula guarded, quoted where the
// text needs it, as described above.
QString csvCell(const QString &text);

} // namespace tally
