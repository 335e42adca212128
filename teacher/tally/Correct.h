#pragma once

#include "Collect.h"

#include <QString>

#include <optional>

namespace tally {

// The percent of part in whole, rounded to a whole number, a half upwards
// (1 of 8 gives 13); nothing when whole is 0.
std::optional<int> roundedPercent(int part, int whole);

// The pupils (seats 1 to studentsMax) whose current answer is exactly answer.
int seatsAnswering(const Tally &tally, int studentsMax, int answer);

// The line under the graph while the correct answer is shown: "正答 3人（60%）"
// for 3 correct of 5 who answered; "正答 0人" while nobody has answered.
QString correctCaption(int correct, int answered);

} // namespace tally
