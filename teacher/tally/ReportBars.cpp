#include "ReportBars.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tally {

std::array<ReportBar, kBars> reportBars(const ReportQuestion &question)
{
    std::array<ReportBar, kBars> bars;
    const int answers = std::clamp(question.answers, 0, kBars);
    int largest = 0;
    for (int a = 0; a < answers; ++a)
        largest = std::max(largest, question.counts[a]);
    for (int a = 0; a < answers; ++a) {
        bars[a].length = largest > 0 ? double(question.counts[a]) / largest : 0.0;
        bars[a].caption = QString::number(question.counts[a]) + u"人（"_s +
                          percentText(question.percents[a]) + u"）"_s;
    }
    return bars;
}

QString percentText(const std::optional<int> &percent)
{
    return percent ? QString::number(*percent) + u"%"_s : u"－"_s;
}

} // namespace tally
