#include "LessonReport.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tally {

LessonReport makeLessonReport(const AnswerHistory &history, int studentsMax, const QDate &date,
                              const QString &folder)
{
    LessonReport report;
    report.date = date;
    report.folder = folder;
    report.studentsMax = std::min(studentsMax, kHistorySeats - 1);
    std::array<bool, kHistorySeats> &answeredAny = report.answeredAny;
    for (int column = 0; column < history.columnCount(); ++column) {
        ReportQuestion question;
        question.number = history.questionNumber(column);
        question.texts = history.texts(column);
        const QuestionFacts facts = history.facts(column);
        question.answers = facts.answers;
        if (question.answers < 1 || question.answers > kBars) {
            // The last label in use, at least two as every answer set has.
            question.answers = 2;
            for (int label = kBars; label > 2; --label) {
                if (!question.texts[label].isEmpty()) {
                    question.answers = label;
                    break;
                }
            }
        }
        question.correct =
            facts.correct >= 1 && facts.correct <= question.answers ? facts.correct : 0;
        question.counts = history.answerCounts(column, studentsMax);
        const AskedQuestion asked = history.question(column);
        question.vote = asked.vote;
        AskedQuestion before = asked;
        --before.vote;
        const int earlier = history.columnOf(before);
        if (earlier >= 0)
            question.earlierCounts = history.answerCounts(earlier, studentsMax);
        // The latest vote scores the question.
        const bool scores = history.latestVote(asked) == asked.vote;
        for (const int count : question.counts)
            question.answered += count;
        for (int k = 0; k < kBars; ++k)
            question.percents[k] = roundedPercent(question.counts[k], question.answered);
        if (question.correct != 0) {
            question.correctPercent = question.percents[question.correct - 1];
            report.markedQuestions += scores;
        }
        for (int seat = 1; seat <= report.studentsMax; ++seat) {
            const qint16 cell = history.cell(seat, column);
            if (cell >= 1 && cell <= kBars)
                answeredAny[seat] = true;
            if (question.correct == 0 || !scores)
                continue;
            // The seat's answer in the latest vote it answered.
            qint16 last = 0;
            for (AskedQuestion vote = asked; vote.vote >= 1 && last == 0; --vote.vote) {
                const qint16 given = history.cell(seat, history.columnOf(vote));
                last = given >= 1 && given <= kBars ? given : 0;
            }
            report.correctBySeat[seat] += last == question.correct;
        }
        report.questions.append(question);
    }
    report.pupils = int(std::count(answeredAny.begin(), answeredAny.end(), true));
    return report;
}

QString reportFileName(const QDate &date)
{
    return u"授業のまとめ_"_s + date.toString(u"yyyy-MM-dd"_s) + u".pdf"_s;
}

} // namespace tally
