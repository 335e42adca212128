#pragma once

#include "Graph.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

namespace tally {

// Seats 0 to 51 have a slot; the teacher polls 0 to its students maximum (50).
inline constexpr int kHistorySeats = 52;

// The tally of the last poll.
struct Tally
{
    std::array<float, kHistorySeats> seatAnswer{}; // last good value read per seat
    std::array<float, kBars> answerCount{};        // entry k: seats whose value is exactly k + 1
    int lvqSum = 0;                                // seats counted into answerCount
};

// The first field of an answer file as a number (a field that is not a number
// gives 0). Nothing when there is no field to read: a missing file, a
// directory, an empty file or one caught between being cut and refilled. At
// most exchange::kAnswerFileReadLimit bytes are read, so a huge or garbage
// file costs no more than a good one.
std::optional<float> readAnswerFile(const QString &path);

// Reads one seat's answer file into seatAnswer[seat]. A seat whose file
// gives no field keeps its previous value, so a pupil's answer does not
// flicker out while the pupil's program rewrites the file.
void readSeat(std::array<float, kHistorySeats> &seatAnswer, int seat);

// What a seat's answer file holds and when it was last written, to tell a
// file that could not be reset from one the pupil's program wrote since.
// Empty bytes and no time when it cannot be read.
struct AnswerStamp
{
    QByteArray bytes;
    QDateTime modified;

    friend bool operator==(const AnswerStamp &, const AnswerStamp &) = default;
};
AnswerStamp answerStamp(int seat);

// Whether a value read from an answer file is an answer: exactly 1 to 5.
bool isAnswerValue(float value);

// Counts the seats 0 to studentsMax from seatAnswer: only the exact values 1
// to 5 count, anything else (0, negative, fractions, above 5) counts nowhere.
void countAnswers(Tally &tally, int studentsMax);

// One poll: reads the answer files of seats 0 to studentsMax (relative to the
// working directory) as readSeat does, all of them before counting, then
// counts as countAnswers.
void collectAnswers(Tally &tally, int studentsMax);

// Which pupils' seats, 1 to studentsMax, have a current answer of exactly 1 to
// 5 (entry n for seat n; seat 0, which no pupil can sign in to, and seats
// beyond studentsMax stay false), and how many they are. Unlike lvqSum this
// leaves seat 0 out: it counts pupils, for "回答 n人" and the seat overview.
struct AnsweredSeats
{
    std::array<bool, kHistorySeats> seat{};
    int count = 0;
};
AnsweredSeats answeredSeats(const Tally &tally, int studentsMax);

} // namespace tally
