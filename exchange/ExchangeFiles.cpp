#include "ExchangeFiles.h"

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

} // namespace exchange
