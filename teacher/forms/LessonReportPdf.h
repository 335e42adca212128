#pragma once

#include "exchange/TextFile.h"
#include "teacher/tally/LessonReport.h"

#include <QString>

namespace teacher::forms {

// Writes "授業のまとめ" as an A4 PDF at path, through a temporary file so that
// a failed write leaves any earlier file as it was. Its texts are real text
// in an embedded Japanese font: they can be selected and searched. It is
// made for paper: white pages, each question's answers as light bars scaled
// to its largest count with the count and share beside them, the correct
// answer in a black outline and the words "← 正解", so that it shows in
// black and white too. The seat table shows names where the report has them.
exchange::FileStatus writeLessonReportPdf(const tally::LessonReport &report, const QString &path);

} // namespace teacher::forms
