#pragma once

#include "exchange/TextFile.h"
#include "teacher/tally/LessonReport.h"

#include <QString>

namespace teacher {

// Writes "授業のまとめ" as an A4 PDF at path, through a temporary file so that
// a failed write leaves any earlier file as it was. Its texts are real text
// in an embedded Japanese font: they can be selected and searched. The
// graphs are drawn as the main window draws them, the correct answer marked
// by a thick outline and the word 正解 so that it shows in black and white.
exchange::FileStatus writeLessonReportPdf(const tally::LessonReport &report, const QString &path);

} // namespace teacher
