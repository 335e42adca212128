#pragma once

#include "AnswerRecord.h"

#include <QDate>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace tally {

// One question of the lesson's report, as the record keeps it.
struct ReportQuestion
{
    int number = 0;
    QuestionTexts texts;
    // Answers offered, 1 to 5 (from the labels where the record does not
    // know), and the correct one (0: none).
    int answers = 0;
    int correct = 0;
    std::array<int, kBars> counts{};
    int answered = 0;
    // Each answer's share of those who answered, rounded; nothing while
    // nobody answered.
    std::array<std::optional<int>, kBars> percents;
    // The share who gave the correct answer; nothing without one.
    std::optional<int> correctPercent;
    // Which vote on the question this is (2 and on: "もう一度投票"), and the
    // counts of the vote before it, for the change per answer.
    int vote = 1;
    std::optional<std::array<int, kBars>> earlierCounts;
};

// What "授業のまとめ" holds: the lesson in numbers, every question asked in
// the record's order (each vote on it in turn) and, where some questions had
// a correct answer, how many of them each seat answered correctly (for the
// teacher's eyes only). A question voted on more than once counts once, by
// the seat's answer in the latest vote it took part in.
struct LessonReport
{
    QDate date;
    QString folder;
    // Pupils (seats 1 to studentsMax) who answered at least one question:
    // entry n for seat n, and how many.
    std::array<bool, kHistorySeats> answeredAny{};
    int pupils = 0;
    QList<ReportQuestion> questions;
    // Questions with a correct answer, and entry n: the correct answers of
    // seat n (1 to studentsMax; entry 0 unused).
    int markedQuestions = 0;
    std::array<int, kHistorySeats> correctBySeat{};
    int studentsMax = 0;
    // Entry n: the name of seat n from the teacher's class list, shown
    // beside its number; all empty without a list.
    std::array<QString, kHistorySeats> seatNames;
};

LessonReport makeLessonReport(const AnswerHistory &history, int studentsMax, const QDate &date,
                              const QString &folder);

// "授業のまとめ_2026-12-07.pdf".
QString reportFileName(const QDate &date);

} // namespace tally
