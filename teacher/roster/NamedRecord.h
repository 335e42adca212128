#pragma once

#include "ClassList.h"

#include "teacher/tally/AnswerRecord.h"

#include <QByteArray>
#include <QDate>
#include <QString>

namespace roster {

// The answer record as tally::answerRecordBytes writes it (code page 932,
// CR LF), with a column 名前 after the seat column: each seat's name from the
// class list, empty for a seat without one, written as the results write
// their texts (a formula guarded, quoted where needed):
//   出席番号,名前,1,2
//    1 番 ,山田 太郎,2,0
//    2 番 ,"'=佐藤, 花子",1,3
//    3 番 ,,0,0
QByteArray namedRecordBytes(const tally::AnswerHistory &history, int studentsMax,
                            const ClassList &list);

// Whether a seat 1 to studentsMax answered (1 to 5) any question of the
// record.
bool recordHasAnswers(const tally::AnswerHistory &history, int studentsMax);

// "記録_名前付き_2026-12-07.csv".
QString namedRecordFileName(const QDate &date);

} // namespace roster
