#pragma once

#include "exchange/TextFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>

namespace questionnaire {

// The question table: one row per question. Field 0 is the question, fields 1
// to 5 the answer labels, field 6 the answer count in sign-position form
// (" 2"). Loading fills rows 0 to 30 at most; row 31 is never written.
inline constexpr int kTableRows = 32;
inline constexpr int kFieldsPerRow = 7;
inline constexpr int kLastLoadedRow = 30;
inline constexpr int kAnswerCountField = 6;
inline constexpr int kMaxAnswers = 5;

using QuestionRow = std::array<QString, kFieldsPerRow>;
using QuestionTable = std::array<QuestionRow, kTableRows>;

// Questionnaire files larger than this are refused instead of being read
// into memory; a hand-written questionnaire is a few kilobytes.
inline constexpr qint64 kMaxFileBytes = qint64(16) << 20;

// How a questionnaire file is encoded. Teachers write these files in any
// editor, so UTF-8 files are read as well and saved back as they came; files
// the program creates are code page 932.
enum class TextEncoding { Cp932, Utf8, Utf8WithBom };

// UTF-8 with a byte-order mark when the bytes start with one; plain UTF-8
// when they hold a byte above 127 and all of them are valid UTF-8; code page
// 932 otherwise (pure ASCII reads the same either way).
TextEncoding detectEncoding(QByteArrayView bytes);

// The bytes as text; a leading byte-order mark is dropped.
QString decodeText(QByteArrayView bytes, TextEncoding encoding);

// The text as bytes; Utf8WithBom writes the byte-order mark first.
QByteArray encodeText(QStringView text, TextEncoding encoding);

// Empties fields 0 to 6 of rows 0 to 30, lastQuestion and the text.
void clearTable(QuestionTable &table, int &lastQuestion, QString &questionnaireText);

// Correct answers: a comment line "/正解 n" marks answer n of the question
// before it (n in ordinary or full-width digits, spaces and tabs allowed
// after 正解 and after n). Readers that know nothing of it take it for the
// comment it is.
//
// The mark read from a line: nothing when the line is no mark at all
// ("/正解は…" is a plain comment), 0 when it is one but names no number
// ("/正解", "/正解 a", "/正解 2x"), the number otherwise.
std::optional<int> readCorrectMark(QStringView line);

// The correct answer of each row (0: none), and what was wrong with the
// marks, one text per problem naming its line ("5行目：…"). A mark belongs
// to the question read last before it; a mark that names no answer of that
// question is left out; of several marks of one question the last counts;
// a mark whose question gives its row to the next block is dropped.
struct CorrectMarks
{
    std::array<int, kTableRows> answer{};
    QStringList problems;
};

// Builds the table from decoded file content. Lines end at CR LF, a lone CR
// or a lone LF; questionnaireText receives every line followed by CR LF.
void loadFromText(const QString &content, QuestionTable &table, int &lastQuestion,
                  QString &questionnaireText, CorrectMarks *marks = nullptr);

struct LoadResult
{
    exchange::FileStatus status;
    TextEncoding encoding = TextEncoding::Cp932;
    // Characters of the questions and answers that code page 932 cannot
    // hold: the seats would show them as "?". Empty when there are none.
    QString unencodable;
    CorrectMarks marks;
};

// Empties the table, then reads the file into it. A file that cannot be
// opened or read, or is larger than kMaxFileBytes, gives a status that is not
// ok with the reason, and the table stays empty.
LoadResult loadFile(const QString &path, QuestionTable &table, int &lastQuestion,
                    QString &questionnaireText);

// Writes the text and one CR LF in the given encoding, through a temporary
// file, so a failed write leaves the previous file as it was. A text with
// characters that code page 932 cannot hold is not written to a code page
// 932 file (they would turn into "?"): the status names them.
exchange::FileStatus saveFile(const QString &path, const QString &questionnaireText,
                              TextEncoding encoding);

// The current questionnaire file: dir, "/" and fileName joined unchanged.
QString questionnairePath(const QString &dir, const QString &fileName);

// Field 6 by the number-reading rule; empty text gives 0.
double answerCount(const QuestionRow &row);

} // namespace questionnaire
