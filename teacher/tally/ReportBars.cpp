#include "ReportBars.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tally {

std::array<ReportBar, kBars> reportBars(const ReportQuestion &question)
{
    std::array<ReportBar, kBars> bars;
    const int answers = std::clamp(question.answers, 0, kBars);
    int largest = 0;
    const std::array<int, kBars> earlier =
        question.earlierCounts.value_or(std::array<int, kBars>{});
    for (int a = 0; a < answers; ++a)
        largest = std::max({largest, question.counts[a], earlier[a]});
    auto length = [largest](int count) { return largest > 0 ? double(count) / largest : 0.0; };
    for (int a = 0; a < answers; ++a) {
        bars[a].length = length(question.counts[a]);
        bars[a].caption = QString::number(question.counts[a]) + u"人（"_s +
                          percentText(question.percents[a]) + u"）"_s;
        if (!question.earlierCounts)
            continue;
        bars[a].earlierLength = length(earlier[a]);
        const int change = question.counts[a] - earlier[a];
        bars[a].caption += u" 前回 %1人 %2"_s.arg(earlier[a])
                               .arg(change > 0   ? u"+"_s + QString::number(change)
                                    : change < 0 ? QString::number(change)
                                                 : u"±0"_s);
    }
    return bars;
}

QString percentText(const std::optional<int> &percent)
{
    return percent ? QString::number(*percent) + u"%"_s : u"－"_s;
}

} // namespace tally
