#pragma once

#include "exchange/ExchangeFiles.h"
#include "exchange/TextFile.h"

#include <QString>
#include <QStringList>

#include <array>

namespace roster {

// Class lists larger than this are refused unread; fifty names take a few
// kilobytes.
inline constexpr qint64 kMaxFileBytes = qint64(1) << 20;

// The names of the seats 1 to exchange::kStudentsMax, as the teacher's class
// list gives them. A seat without a line has no name.
class ClassList
{
public:
    // The name of seat (1 to kStudentsMax); empty for a seat without one or
    // outside the range.
    QString name(int seat) const;
    // How many seats have a name.
    int size() const;
    bool isEmpty() const { return size() == 0; }

private:
    friend struct ClassListReader;
    std::array<QString, exchange::kStudentsMax + 1> m_names;
};

// A class list read from text, and one message per line that was left out
// or needs a word, naming the line ("4行目：…").
struct ClassListReading
{
    ClassList list;
    QStringList problems;
};

// One line per seat: the seat number, then the name, separated by a tab or a
// comma; further fields (a reading of the name, say) are ignored. A field
// may be quoted as a spreadsheet writes CSV ("山田, 太郎"). The number may be
// in full-width digits and end in 番; blanks around fields do not count.
// Blank lines are skipped; the first other line may be a header (its first
// field no number). Any other line without a number from 1 to 50, without
// a name, or with a seat an earlier line already named, is left out and
// reported. A name with characters code page 932 has no code for is kept
// and reported: the record saved with names holds "?" in their place.
//   出席番号,名前          header
//   1,山田 太郎            seat 1
//   ２番<tab>"佐藤, 花子"  seat 2
//   1,鈴木                 left out: seat 1 again
ClassListReading readClassList(const QString &text);

struct ClassListLoad
{
    exchange::FileStatus status;
    ClassListReading reading;
};

// Reads the file at path, in UTF-8 (with or without a byte-order mark) or
// code page 932 as the questionnaires are told apart. A file that cannot be
// read, is larger than kMaxFileBytes or names no seat gives a status that is
// not ok, with the reason.
ClassListLoad loadClassList(const QString &path);

// The class list the teacher opened last: its path in the teacher's
// settings (never its names), empty when none.
QString rememberedClassListPath();
void rememberClassListPath(const QString &path);

} // namespace roster
