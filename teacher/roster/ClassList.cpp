#include "ClassList.h"

#include "exchange/Cp932.h"
#include "teacher/questionnaire/Questionnaire.h"

#include <QHash>
#include <QSettings>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace roster {

QString ClassList::name(int seat) const
{
    return seat >= 1 && seat <= exchange::kStudentsMax ? m_names[seat] : QString();
}

int ClassList::size() const
{
    return int(std::count_if(m_names.begin(), m_names.end(),
                             [](const QString &name) { return !name.isEmpty(); }));
}

namespace {

// A field as a message quotes it: at most a few dozen characters, so that
// a stray file cannot make the message larger than the screen.
QString quoted(const QString &field)
{
    constexpr qsizetype kQuoted = 24;
    return field.size() <= kQuoted ? field : field.left(kQuoted) + u"…"_s;
}

// The fields of a line: at tabs when it has one, at commas otherwise. A
// field whose first character (after blanks) is a quote runs to the closing
// quote, a doubled quote standing for one; what follows it up to the
// separator is kept as it is.
QStringList splitFields(const QString &line)
{
    const QChar separator = line.contains(u'\t') ? u'\t' : u',';
    QStringList fields;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c != u'"')
                field += c;
            else if (QStringView(line).sliced(i).startsWith(u"\"\""))
                field += line[++i];
            else
                quoted = false;
        } else if (c == separator) {
            fields.append(field.trimmed());
            field.clear();
            fieldStarted = false;
        } else if (c == u'"' && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
            field.clear();
        } else {
            field += c;
            fieldStarted = fieldStarted || !c.isSpace();
        }
    }
    fields.append(field.trimmed());
    return fields;
}

// "12", "１２" or "12番" as 12, any number above 999 as 1000; -1 for a field
// that is no number.
int seatNumber(QString field)
{
    if (field.endsWith(u'番'))
        field = field.chopped(1).trimmed();
    if (field.isEmpty())
        return -1;
    int number = 0;
    for (const QChar c : field) {
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c.unicode() - u'0';
        else if (c >= QChar(0xFF10) && c <= QChar(0xFF19))
            digit = c.unicode() - 0xFF10;
        if (digit < 0)
            return -1;
        number = std::min(number * 10 + digit, 1000);
    }
    return number;
}

// The characters of text that code page 932 has no code for, each once.
QString unencodable(const QString &text)
{
    QString found;
    for (const char32_t code : text.toUcs4()) {
        const QString character = QString::fromUcs4(&code, 1);
        if (!exchange::isCp932Encodable(character) && !found.contains(character))
            found += character;
    }
    return found;
}

} // namespace

// Fills a list line by line; a friend of ClassList.
struct ClassListReader
{
    static ClassListReading read(const QString &text)
    {
        ClassListReading reading;
        QHash<int, int> lineOfSeat;
        QString lines = text;
        lines.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
        bool first = true;
        int lineNumber = 0;
        for (const QString &line : lines.split(u'\n')) {
            ++lineNumber;
            if (line.trimmed().isEmpty())
                continue;
            const QStringList fields = splitFields(line);
            const int seat = seatNumber(fields[0]);
            const bool header = first && seat < 0;
            first = false;
            if (header)
                continue;
            const QString where = u"%1行目："_s.arg(lineNumber);
            const QString name = fields.value(1);
            if (seat < 0) {
                reading.problems.append(where +
                                        u"出席番号がありません（%1）"_s.arg(quoted(fields[0])));
            } else if (seat < 1 || seat > exchange::kStudentsMax) {
                reading.problems.append(
                    where + u"出席番号 %1 は 1～%2 の範囲にありません"_s.arg(quoted(fields[0]))
                                .arg(exchange::kStudentsMax));
            } else if (name.isEmpty()) {
                reading.problems.append(where + u"%1番の名前がありません"_s.arg(seat));
            } else if (lineOfSeat.contains(seat)) {
                reading.problems.append(
                    where + u"%1番は %2行目にもあります（最初の行を使います）"_s.arg(seat).arg(
                                lineOfSeat.value(seat)));
            } else {
                lineOfSeat[seat] = lineNumber;
                reading.list.m_names[seat] = name;
                const QString missing = unencodable(name);
                if (!missing.isEmpty()) {
                    reading.problems.append(
                        where +
                        u"「%1」は名前付きの記録（シフトJIS）では「?」になります"_s.arg(missing));
                }
            }
        }
        return reading;
    }
};

ClassListReading readClassList(const QString &text)
{
    return ClassListReader::read(text);
}

ClassListLoad loadClassList(const QString &path)
{
    // One byte beyond the limit tells a file that is too large.
    QString reason;
    const std::optional<QByteArray> bytes =
        exchange::readFileHead(path, kMaxFileBytes + 1, &reason);
    if (!bytes)
        return {exchange::FileStatus::failure(reason), {}};
    if (bytes->size() > kMaxFileBytes) {
        return {
            exchange::FileStatus::failure(
                u"ファイルが大きすぎます（%1 MiB まで読み込めます）。"_s.arg(kMaxFileBytes >> 20)),
            {}};
    }
    ClassListLoad load;
    load.reading =
        readClassList(questionnaire::decodeText(*bytes, questionnaire::detectEncoding(*bytes)));
    if (load.reading.list.isEmpty())
        load.status = exchange::FileStatus::failure(u"出席番号と名前の行が一つもありません。"_s);
    return load;
}

namespace {

const QString kSettingsOwner = u"OmbraTeacher"_s;
const QString kPathKey = u"ClassList/Path"_s;

} // namespace

QString rememberedClassListPath()
{
    return QSettings(kSettingsOwner).value(kPathKey).toString();
}

void rememberClassListPath(const QString &path)
{
    QSettings settings(kSettingsOwner);
    if (path.isEmpty())
        settings.remove(kPathKey);
    else
        settings.setValue(kPathKey, path);
}

} // namespace roster
