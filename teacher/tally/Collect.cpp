#include "Collect.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/TextFile.h"

#include <QFileInfo>

#include <algorithm>

namespace tally {
namespace {

int lastSeat(int studentsMax)
{
    return std::min(studentsMax, kHistorySeats - 1);
}

// The answer file paths are fixed for the whole run; building them once keeps
// the poll down to the file reads themselves.
const std::array<QString, kHistorySeats> &answerFilePaths()
{
    static const std::array<QString, kHistorySeats> paths = [] {
        std::array<QString, kHistorySeats> result;
        for (int seat = 0; seat < kHistorySeats; ++seat)
            result[seat] = exchange::answerFilePath(seat);
        return result;
    }();
    return paths;
}

} // namespace

std::optional<float> readAnswerFile(const QString &path)
{
    const std::optional<double> value = exchange::readAnswerFile(path);
    if (!value)
        return std::nullopt;
    return static_cast<float>(*value);
}

bool isAnswerValue(float value)
{
    for (int answer = 1; answer <= kBars; ++answer) {
        if (value == static_cast<float>(answer))
            return true;
    }
    return false;
}

void countAnswers(Tally &tally, int studentsMax)
{
    tally.lvqSum = 0;
    tally.answerCount.fill(0.0f);
    for (int seat = 0; seat <= lastSeat(studentsMax); ++seat) {
        const float value = tally.seatAnswer[seat];
        for (int answer = 1; answer <= kBars; ++answer) {
            if (value == static_cast<float>(answer)) {
                tally.answerCount[answer - 1] += 1.0f;
                ++tally.lvqSum;
                break;
            }
        }
    }
}

void readSeat(std::array<float, kHistorySeats> &seatAnswer, int seat)
{
    if (const std::optional<float> value = readAnswerFile(answerFilePaths()[seat]))
        seatAnswer[seat] = *value;
}

AnswerStamp answerStamp(int seat)
{
    const QString &path = answerFilePaths()[seat];
    AnswerStamp stamp;
    stamp.modified = QFileInfo(path).lastModified();
    stamp.bytes =
        exchange::readFileHead(path, exchange::kAnswerFileReadLimit).value_or(QByteArray());
    return stamp;
}

void collectAnswers(Tally &tally, int studentsMax)
{
    for (int seat = 0; seat <= lastSeat(studentsMax); ++seat)
        readSeat(tally.seatAnswer, seat);
    countAnswers(tally, studentsMax);
}

AnsweredSeats answeredSeats(const Tally &tally, int studentsMax)
{
    AnsweredSeats result;
    for (int seat = 1; seat <= lastSeat(studentsMax); ++seat) {
        if (isAnswerValue(tally.seatAnswer[seat])) {
            result.seat[seat] = true;
            ++result.count;
        }
    }
    return result;
}

} // namespace tally
