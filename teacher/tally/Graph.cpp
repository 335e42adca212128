#include "Graph.h"

#include "exchange/NumberText.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tally {
namespace {

// Characters as the teacher sees them: a character outside the basic plane
// (a surrogate pair) counts one, like any full-width or half-width one.
qsizetype characterCount(const QString &text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text[i].isLowSurrogate() || i == 0 || !text[i - 1].isHighSurrogate())
            ++count;
    }
    return count;
}

// The percentage with at most 7 significant digits, never with an exponent,
// without trailing zeros in the fraction and without a bare decimal point.
QString percentText(float percent)
{
    const double value = percent == 0.0f ? 0.0 : static_cast<double>(percent); // no "-0"
    QString text = QString::number(value, 'g', 7);
    if (!std::isfinite(value) || !text.contains(u'e'))
        return text;
    // Far outside the range a tally produces; written out in full all the same.
    const double rounded = text.toDouble();
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
    text = QString::number(rounded, 'f', std::max(0, 6 - exponent));
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}

void emptyPositions(const BarLayout &layout, Graph &graph)
{
    for (const int position : layout.emptyPositions) {
        graph[position].caption.clear();
        graph[position].height = 0;
    }
}

} // namespace

std::optional<BarLayout> barPosition(double mode)
{
    if (mode >= 1 && mode <= 2)
        return BarLayout{{1, 3, -1, -1, -1}, {0, 2, 4}};
    if (mode == 3)
        return BarLayout{{1, 2, 3, -1, -1}, {0, 4}};
    if (mode == 4)
        return BarLayout{{1, 2, 3, 4, -1}, {0}};
    if (mode == 5)
        return BarLayout{{0, 1, 2, 3, 4}, {}};
    return std::nullopt;
}

int answerFontPointSize(const ShownTexts &shown)
{
    qsizetype longest = 0;
    for (int field = 1; field <= kBars; ++field)
        longest = std::max(longest, characterCount(shown[field]));
    if (longest < 3)
        return 48;
    if (longest <= 5)
        return 36;
    if (longest <= 11)
        return 28;
    return 20;
}

LabelLayout layoutAnswerLabels(double mode, const ShownTexts &shown)
{
    LabelLayout result;
    result.pointSize = answerFontPointSize(shown);
    const std::optional<BarLayout> layout = barPosition(mode);
    if (!layout)
        return result;
    std::array<QString, kBars> captions;
    for (int answer = 0; answer < kBars; ++answer) {
        const int position = layout->positionOfAnswer[answer];
        if (position >= 0)
            captions[position] = shown[answer + 1];
    }
    result.captions = captions;
    return result;
}

namespace {

// Draws every placed answer's bar with draw(answer, bar), then empties the
// positions the layout leaves empty. False, with graph untouched, for a mode
// that places no answer.
template <typename Draw> bool drawBars(double mode, Graph &graph, Draw draw)
{
    const std::optional<BarLayout> layout = barPosition(mode);
    if (!layout)
        return false;
    for (int answer = 0; answer < kBars; ++answer) {
        const int position = layout->positionOfAnswer[answer];
        if (position >= 0)
            draw(answer, graph[position]);
    }
    emptyPositions(*layout, graph);
    return true;
}

} // namespace

bool showCountGraph(double mode, const std::array<float, kBars> &answerCount, Graph &graph)
{
    return drawBars(mode, graph, [&answerCount](int answer, Bar &bar) {
        const float count = answerCount[answer];
        bar.caption = exchange::numberDigits(count) + u"人"_s;
        bar.height = count * kPixelsPerPupil;
        bar.top = kBaseLine - bar.height;
    });
}

bool showPercentGraph(double mode, const std::array<float, kBars> &answerCount, int lvqSum,
                      Graph &graph, float &lvqPercent)
{
    if (lvqSum == 0)
        return false;
    return drawBars(mode, graph, [&](int answer, Bar &bar) {
        // single precision throughout, so 1 of 3 reads 33.33334 before the cut
        lvqPercent = answerCount[answer] / static_cast<float>(lvqSum);
        const float height = lvqPercent * static_cast<float>(kFullScale);
        bar.caption = percentLabel(lvqPercent);
        bar.height = height;
        bar.top = static_cast<float>(kBaseLine) - height;
    });
}

QString percentLabel(float share)
{
    const float percent = share * 100.0f;
    return percentText(percent).left(3) + u'%';
}

} // namespace tally
