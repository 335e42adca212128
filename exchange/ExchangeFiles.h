#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

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

// --- reading them back ---------------------------------------------------
// The eight fields of a command file as the pupils' programs read them, each
// as text; a field that could not be read (the file missing, or ending
// early) is empty. Every field is tried even after one failed.
using CommandFields = std::array<std::optional<QString>, 8>;
CommandFields commandFields(const QByteArray &fileBytes);
// A seat's command file as read from path (at most kCommandFileReadLimit
// bytes): opened tells whether it could be read at all.
struct CommandFileRead
{
    bool opened = false;
    CommandFields fields;
};
CommandFileRead readCommandFile(const QString &path);
// Whether the fields are a whole file: its eight lines, or the two of the
// short form. A file met while it is being rewritten reads short.
bool isWholeCommandFile(const CommandFields &fields);
// The question of a file that is exactly a short form, as a pupil's
// program writes it with the question it read; nothing for anything else.
std::optional<QString> shortFormQuestion(const QByteArray &fileBytes);
// The first field of an answer file as a number (a field that is not a
// number gives 0). Nothing when there is no field to read: a missing file, a
// folder, an empty file or one caught between being cut and refilled. At
// most kAnswerFileReadLimit bytes are read.
std::optional<double> readAnswerFile(const QString &path);

} // namespace exchange
