#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace tally {

inline constexpr int kBars = 5;
// Every bar stands on this line (pixels): its top is kBaseLine minus its height.
inline constexpr int kBaseLine = 504;
// Scales of the two graphs: 8 pixels per pupil, 400 pixels for all answers.
inline constexpr int kPixelsPerPupil = 8;
inline constexpr int kFullScale = 400;

// The question (0) and the answer labels (1 to 5) on the teacher's screen.
using ShownTexts = std::array<QString, 6>;

// Which bar position shows answer a (index 0 to 4; -1 when the answer is not
// placed), and the positions the graph empties, in the order it empties them.
struct BarLayout
{
    std::array<int, kBars> positionOfAnswer;
    QList<int> emptyPositions;
};

// The layout for a mode of 1 to 2 (any value between, too), 3, 4 or 5;
// nothing for any other mode (0 ended, 100 paused, ...).
std::optional<BarLayout> barPosition(double mode);

// One size for all answer labels, from the longest of the answer labels 1 to 5
// in characters: below 3 gives 48 points, 3 to 5 gives 36, 6 to 11 gives 28,
// 12 or more gives 20.
int answerFontPointSize(const ShownTexts &shown);

// Font size of the answer labels, and their captions by position when the mode
// places answers (nothing: the captions stay as they are).
struct LabelLayout
{
    int pointSize = 0;
    std::optional<std::array<QString, kBars>> captions;
};
LabelLayout layoutAnswerLabels(double mode, const ShownTexts &shown);

// The drawn state of one bar position: the caption above the bar, and the
// bar's top and height in pixels (fractional in percent; the window rounds).
struct Bar
{
    QString caption;
    double top = kBaseLine;
    double height = 0;
};
using Graph = std::array<Bar, kBars>;

// Draws the counts ("12人", 8 pixels per pupil) into graph. Returns false, with
// graph untouched, for a mode that places no answer. Positions left empty get
// an empty caption and height 0 and keep their top.
bool showCountGraph(double mode, const std::array<float, kBars> &answerCount, Graph &graph);

// Draws each answer's share of lvqSum ("33.%", 400 pixels for all). Returns
// false, with graph and lvqPercent untouched, when lvqSum is 0 or the mode
// places no answer; otherwise lvqPercent ends as the share of the last bar drawn.
bool showPercentGraph(double mode, const std::array<float, kBars> &answerCount, int lvqSum,
                      Graph &graph, float &lvqPercent);

// The caption of a share from 0 to 1: the percentage with at most 7
// significant digits, cut to its first three characters, then "%".
// 1/3 gives "33.%", 1/12 "8.3%", 1/2 "50%", 1 "100%".
QString percentLabel(float share);

} // namespace tally
