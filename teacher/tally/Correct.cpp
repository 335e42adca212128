#include "Correct.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tally {

std::optional<int> roundedPercent(int part, int whole)
{
    if (whole <= 0)
        return std::nullopt;
    return (200 * part + whole) / (2 * whole);
}

int seatsAnswering(const Tally &tally, int studentsMax, int answer)
{
    int count = 0;
    for (int seat = 1; seat <= std::min(studentsMax, kHistorySeats - 1); ++seat) {
        if (tally.seatAnswer[seat] == float(answer))
            ++count;
    }
    return count;
}

QString correctCaption(int correct, int answered)
{
    const std::optional<int> percent = roundedPercent(correct, answered);
    QString caption = u"正答 "_s + QString::number(correct) + u"人"_s;
    if (percent)
        caption += u"（"_s + QString::number(*percent) + u"%）"_s;
    return caption;
}

} // namespace tally
