#include "ExchangeFiles.h"

#include "Cp932.h"
#include "FieldReader.h"
#include "NumberText.h"
#include "TextFile.h"

#include <QStringList>

namespace exchange {
namespace {

QString seatPath(int seat, QStringView extension)
{
    return kDataFolder.toString() + QStringLiteral("/LVQ") + seatText(seat) + extension.toString();
}

} // namespace

QString seatText(int seat)
{
    return QString::number(seat);
}

QString commandFilePath(int seat)
{
    return seatPath(seat, u".ini");
}

QString answerFilePath(int seat)
{
    return seatPath(seat, u".txt");
}

QString textFieldLine(const QString &text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\r', u' ');
    line.replace(u'\n', u' ');
    const bool readBackSplit =
        line.contains(u',') || line.startsWith(u' ') || line.startsWith(u'\t');
    if (readBackSplit && !line.contains(u'"'))
        return u'"' + line + u'"';
    return line;
}

QByteArray commandFileBytes(double mode, const std::array<QString, 6> &shown, int oneAnswerOnly)
{
    QStringList lines;
    lines.reserve(8);
    lines << numberFieldText(mode);
    for (const QString &text : shown)
        lines << textFieldLine(text);
    lines << numberFieldText(oneAnswerOnly);
    return cp932Lines(lines);
}

QByteArray shortCommandFileBytes(const QString &question)
{
    return cp932Lines({numberFieldText(kModePaused), textFieldLine(question)});
}

QByteArray answerFileBytes(double answer)
{
    return cp932Lines({numberFieldText(answer)});
}

namespace {

CommandFields readFields(FieldReader &reader)
{
    CommandFields fields;
    for (std::optional<QString> &field : fields)
        field = reader.readText();
    return fields;
}

} // namespace

CommandFields commandFields(const QByteArray &fileBytes)
{
    FieldReader reader(decodeCp932(fileBytes));
    return readFields(reader);
}

CommandFileRead readCommandFile(const QString &path)
{
    FieldReader reader = FieldReader::fromFile(path, kCommandFileReadLimit);
    CommandFileRead read;
    read.opened = reader.isOpen();
    read.fields = readFields(reader);
    return read;
}

bool isWholeCommandFile(const CommandFields &fields)
{
    // Fields are read in order: the last one read means all were.
    if (fields[7])
        return true;
    return fields[1] && isNumericText(*fields[0]) && readNumber(*fields[0]) == kModePaused;
}

std::optional<QString> shortFormQuestion(const QByteArray &fileBytes)
{
    // A pupil's program writes the question as it read it from the file.
    const std::optional<QString> question = commandFields(fileBytes)[1];
    if (!question || fileBytes != shortCommandFileBytes(*question))
        return std::nullopt;
    return question;
}

std::optional<double> readAnswerFile(const QString &path)
{
    FieldReader reader = FieldReader::fromFile(path, kAnswerFileReadLimit);
    return reader.readNumber();
}

} // namespace exchange
