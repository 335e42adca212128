#pragma once

#include "LessonReport.h"

#include <QString>

#include <array>

namespace tally {

// A bar of a question in the printed report: its length as a share of the
// question's longest bar, so that the largest count fills the width whatever
// the class size (0 for a count of 0, and for every bar while nobody has
// answered), and the words beside it. Counts 1, 3 and 0 of four pupils:
//   length 0.33 "1人（25%）", 1.0 "3人（75%）", 0 "0人（0%）"
// A later vote's bars share one scale with the vote before, drawn beside
// them, and say the change: "3人（75%） 前回 1人 +2".
struct ReportBar
{
    double length = 0;
    QString caption;
    // The vote before, for a later vote.
    std::optional<double> earlierLength;
};

// The bars of the question's answers 1 to question.answers; the rest empty.
std::array<ReportBar, kBars> reportBars(const ReportQuestion &question);

// "40%", or "－" for no percentage.
QString percentText(const std::optional<int> &percent);

} // namespace tally
