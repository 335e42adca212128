#include "NamedRecord.h"

#include "exchange/Cp932.h"
#include "exchange/TextFile.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace roster {

QByteArray namedRecordBytes(const tally::AnswerHistory &history, int studentsMax,
                            const ClassList &list)
{
    // The record's own bytes, decoded again: they hold digits, commas and
    // 出席番号 / 番 only, which code page 932 gives back unchanged, and the
    // copy follows the record whatever columns it gains.
    QStringList lines =
        exchange::decodeCp932(tally::answerRecordBytes(history, studentsMax)).split(u"\r\n"_s);
    lines.removeLast(); // what follows the last CR LF
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString &line = lines[i];
        const QString seatField = line.section(u',', 0, 0);
        QString name;
        if (i == 0) {
            name = u"名前"_s;
        } else {
            QString number = seatField.trimmed();
            if (number.endsWith(u'番'))
                number.chop(1);
            name = tally::csvCell(list.name(number.trimmed().toInt()));
        }
        // The rest, from its comma on, if it has one.
        line = seatField + u',' + name + line.mid(seatField.size());
    }
    return exchange::cp932Lines(lines);
}

bool recordHasAnswers(const tally::AnswerHistory &history, int studentsMax)
{
    for (int column = 0; column < history.columnCount(); ++column) {
        for (const int count : history.answerCounts(column, studentsMax)) {
            if (count > 0)
                return true;
        }
    }
    return false;
}

QString namedRecordFileName(const QDate &date)
{
    return u"記録_名前付き_"_s + date.toString(u"yyyy-MM-dd"_s) + u".csv"_s;
}

} // namespace roster
