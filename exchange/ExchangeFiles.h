#pragma once

#include <QByteArray>
#include <QString>

#include <array>

namespace exchange {

// Folder below the working directory that holds the exchange files.
inline constexpr QStringView kDataFolder = u"Data";

// Seats the teacher's program serves: 0 to kStudentsMax. Pupils sign in as
// 1 to kStudentsMax; seat 0 is written and read but never answered.
inline constexpr int kStudentsMax = 50;

// Modes of line 1 of a command file.
inline constexpr int kModeEnd = 0;
inline constexpr int kModePaused = 100;

// Upper bounds for reading: an answer file is one short line, a command file
// eight lines of question and answer texts.
inline constexpr qint64 kAnswerFileReadLimit = 256;
inline constexpr qint64 kCommandFileReadLimit = 1 << 20;

// The decimal text of a seat number without blanks ("7").
QString seatText(int seat);

// "Data/LVQ7.ini" and "Data/LVQ7.txt", relative to the working directory.
QString commandFilePath(int seat);
QString answerFilePath(int seat);

// The text form of one line: the text as it stands, or in double quotes when
// it holds an ASCII comma or begins with a blank or tab (and holds no double
// quote), so that the field reader gives it back whole. A line break inside
// the text would shift every later line and is written as a blank.
QString textFieldLine(const QString &text);

// The eight-line command file: mode, question, five labels, one-answer flag.
// shown holds the question (0) and the labels (1 to 5).
QByteArray commandFileBytes(double mode, const std::array<QString, 6> &shown, int oneAnswerOnly);

// The two-line short form a pupil's program writes for its own seat after an
// answer that may be given only once: mode 100 and the question.
QByteArray shortCommandFileBytes(const QString &question);

// The one-line answer file.
QByteArray answerFileBytes(double answer);

} // namespace exchange
