#include "AnswerRecord.h"

#include "exchange/NumberText.h"
#include "exchange/TextFile.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

using namespace Qt::StringLiterals;

namespace tally {

namespace {

bool isAnswerCell(qint16 cell)
{
    return cell >= 1 && cell <= kBars;
}

} // namespace

int AnswerHistory::columnOf(const AskedQuestion &question) const
{
    for (int column = 0; column < columnCount(); ++column) {
        if (m_columns[column].question.sameQuestion(question))
            return column;
    }
    return -1;
}

bool AnswerHistory::store(const AskedQuestion &question,
                          const std::array<float, kHistorySeats> &seatAnswer, int studentsMax,
                          int round, const SeatSet *seats)
{
    bool changed = false;
    int index = columnOf(question);
    if (index < 0) {
        Column fresh{question, {}, {}, {}};
        // No seat has a round in a new column: the first reading begins one.
        fresh.round.fill(std::numeric_limits<int>::min());
        // A later vote goes right after the question's votes before it.
        index = columnCount();
        for (int column = 0; column < columnCount() && question.vote > 1; ++column) {
            if (m_columns[column].question.sameQuestionAnyVote(question))
                index = column + 1;
        }
        m_columns.insert(m_columns.begin() + index, fresh);
        changed = true;
    }
    Column &column = m_columns[index];
    const int lastSeat = std::min(studentsMax, kHistorySeats - 1);
    for (int seat = 0; seat <= lastSeat; ++seat) {
        if (seats && !(*seats)[seat])
            continue;
        if (column.round[seat] != round) {
            column.earlier[seat] = column.cells[seat];
            column.round[seat] = round;
        }
        qint16 value = historyValue(seatAnswer[seat]);
        const bool answer = isAnswerCell(value) && seatAnswer[seat] == float(value);
        if (!answer) {
            if (isAnswerCell(column.earlier[seat]))
                value = column.earlier[seat];
            else if (isAnswerCell(value))
                value = 0; // 2.4 is no answer 2
        }
        qint16 &cell = column.cells[seat];
        if (cell != value) {
            cell = value;
            changed = true;
        }
    }
    return changed;
}

QuestionTexts AnswerHistory::texts(int column) const
{
    return column >= 0 && column < columnCount() ? m_columns[column].question.texts
                                                 : QuestionTexts{};
}

QuestionFacts AnswerHistory::facts(int column) const
{
    return column >= 0 && column < columnCount() ? m_columns[column].question.facts
                                                 : QuestionFacts{};
}

std::array<int, kBars> AnswerHistory::answerCounts(int column, int studentsMax) const
{
    std::array<int, kBars> counts{};
    for (int seat = 1; seat <= std::min(studentsMax, kHistorySeats - 1); ++seat) {
        const qint16 value = cell(seat, column);
        if (isAnswerCell(value))
            ++counts[value - 1];
    }
    return counts;
}

qint16 AnswerHistory::cell(int seat, int column) const
{
    if (seat < 0 || seat >= kHistorySeats || column < 0 || column >= columnCount())
        return 0;
    return m_columns[column].cells[seat];
}

int AnswerHistory::questionNumber(int column) const
{
    return column >= 0 && column < columnCount() ? m_columns[column].question.number : 0;
}

AskedQuestion AnswerHistory::question(int column) const
{
    return column >= 0 && column < columnCount() ? m_columns[column].question : AskedQuestion{};
}

int AnswerHistory::vote(int column) const
{
    return column >= 0 && column < columnCount() ? m_columns[column].question.vote : 0;
}

int AnswerHistory::latestVote(const AskedQuestion &question) const
{
    int latest = 0;
    for (const Column &column : m_columns) {
        if (column.question.sameQuestionAnyVote(question))
            latest = std::max(latest, column.question.vote);
    }
    return latest;
}

QString voteLabel(int vote)
{
    return QString::number(vote) + u"回目"_s;
}

QString columnHeading(const AnswerHistory &history, int column)
{
    const QString number = exchange::numberFieldText(history.questionNumber(column));
    const int vote = history.vote(column);
    if (vote <= 1)
        return number;
    return number.chopped(1) + u'(' + voteLabel(vote) + u") "_s;
}

qint16 historyValue(float value)
{
    if (std::isnan(value))
        return 0;
    constexpr double low = std::numeric_limits<qint16>::min();
    constexpr double high = std::numeric_limits<qint16>::max();
    const double v = value;
    // Half to even without depending on the floating-point rounding mode.
    const double floor = std::floor(v);
    const double fraction = v - floor;
    double rounded = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        rounded = floor + 1.0;
    return static_cast<qint16>(std::clamp(rounded, low, high));
}

QByteArray answerRecordBytes(const AnswerHistory &history, int studentsMax)
{
    QStringList lines;
    QString header = u"出席番号"_s;
    for (int column = 0; column < history.columnCount(); ++column)
        header += u',' + columnHeading(history, column);
    lines.append(header);

    for (int seat = 1; seat <= std::min(studentsMax, kHistorySeats - 1); ++seat) {
        QString line = exchange::numberFieldText(seat) + u"番 "_s;
        for (int column = 0; column < history.columnCount(); ++column)
            line += u',' + exchange::numberFieldText(history.cell(seat, column));
        lines.append(line);
    }
    return exchange::cp932Lines(lines);
}

namespace {

// Whether a spreadsheet would take a text for a formula: it begins, after
// any blanks, with = + - @ or their full-width forms (which a Japanese
// spreadsheet accepts as well, and the minus sign U+2212, which code page
// 932 writes as the full-width hyphen-minus), or with a tab or a carriage
// return. A plain number such as -1, +3 or -0.5 is read as a number and is
// none.
bool looksLikeFormula(const QString &text)
{
    static const QRegularExpression plainNumber(u"^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$"_s);
    if (text.startsWith(u'\t') || text.startsWith(u'\r'))
        return true;
    const auto first =
        std::find_if(text.cbegin(), text.cend(), [](QChar c) { return !c.isSpace(); });
    return first != text.cend() && u"=+-@\uFF1D\uFF0B\uFF0D\uFF20\u2212"_s.contains(*first) &&
           !plainNumber.match(text).hasMatch();
}

} // namespace

// The questionnaire a text of the results comes from is anybody's on the
// share: what a spreadsheet would take for a formula gets a quote in front,
// which keeps it text.
QString csvCell(const QString &text)
{
    const QString cell = looksLikeFormula(text) ? u'\'' + text : text;
    if (!cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\r') &&
        !cell.contains(u'\n'))
        return cell;
    QString quoted = cell;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

QByteArray resultsBytes(const AnswerHistory &history, int studentsMax)
{
    QStringList lines;
    lines.append(u"番号,質問,答え1,答え2,答え3,答え4,答え5,人数1,人数2,人数3,人数4,人数5,回答人数,"
                 u"正解,正答率"_s);
    for (int column = 0; column < history.columnCount(); ++column) {
        QStringList cells{columnHeading(history, column)};
        for (const QString &text : history.texts(column))
            cells.append(csvCell(text));
        int answered = 0;
        const std::array<int, kBars> counts = history.answerCounts(column, studentsMax);
        for (const int count : counts) {
            cells.append(QString::number(count));
            answered += count;
        }
        cells.append(QString::number(answered));
        const int correct = history.facts(column).correct;
        std::optional<int> percent;
        if (correct >= 1 && correct <= kBars)
            percent = roundedPercent(counts[correct - 1], answered);
        cells.append(correct != 0 ? QString::number(correct) : QString());
        cells.append(percent ? QString::number(*percent) : QString());
        lines.append(cells.join(u','));
    }
    return exchange::cp932Lines(lines);
}

} // namespace tally
