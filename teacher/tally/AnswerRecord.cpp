#include "AnswerRecord.h"

#include "exchange/NumberText.h"
#include "exchange/TextFile.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace tally {
namespace {

bool validColumn(int column)
{
    return column >= 0 && column < kHistoryColumns;
}

} // namespace

void AnswerHistory::store(int column, int questionNumber,
                          const std::array<float, kHistorySeats> &seatAnswer, int studentsMax)
{
    if (!validColumn(column))
        return;
    const int lastSeat = std::min(studentsMax, kHistorySeats - 1);
    for (int seat = 0; seat <= lastSeat; ++seat)
        m_cells[seat][column] = historyValue(seatAnswer[seat]);
    m_questionNumbers[column] = questionNumber;
    m_written[column] = true;
}

qint16 AnswerHistory::cell(int seat, int column) const
{
    if (seat < 0 || seat >= kHistorySeats || !validColumn(column))
        return 0;
    return m_cells[seat][column];
}

int AnswerHistory::questionNumber(int column) const
{
    return validColumn(column) ? m_questionNumbers[column] : 0;
}

bool AnswerHistory::isWritten(int column) const
{
    return validColumn(column) && m_written[column];
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

QByteArray answerRecordBytes(const AnswerHistory &history, int lastColumn, int studentsMax)
{
    QList<int> columns;
    for (int column = 0; column <= std::min(lastColumn, kHistoryColumns - 1); ++column) {
        if (history.isWritten(column))
            columns.append(column);
    }

    QStringList lines;
    QString header = u"出席番号"_s;
    for (const int column : columns)
        header += u',' + exchange::numberFieldText(history.questionNumber(column));
    lines.append(header);

    for (int seat = 1; seat <= std::min(studentsMax, kHistorySeats - 1); ++seat) {
        QString line = exchange::numberFieldText(seat) + u"番 "_s;
        for (const int column : columns)
            line += u',' + exchange::numberFieldText(history.cell(seat, column));
        lines.append(line);
    }
    return exchange::cp932Lines(lines);
}

} // namespace tally
