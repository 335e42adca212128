#include "Console.h"

#include <QRegularExpression>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace gateway {

std::optional<ConsoleCommand> readConsoleCommand(const QString &line)
{
    // NFKC makes "３" a "3" and the ideographic blank a blank.
    QStringList words =
        line.normalized(QString::NormalizationForm_KC).simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.size() == 1) {
        // "許可３": an input method leaves no blank before the digits.
        const QString word = words[0];
        const qsizetype digits = word.indexOf(QRegularExpression(u"[0-9]+$"_s));
        if (digits > 0)
            words = QStringList{word.left(digits), word.mid(digits)};
    }
    if (words.size() != 2)
        return std::nullopt;
    bool ok = false;
    const int number = words[1].toInt(&ok);
    if (!ok || number <= 0)
        return std::nullopt;
    const QString &verb = words[0];
    if (verb == u"許可"_s || verb.compare(u"y"_s, Qt::CaseInsensitive) == 0)
        return ConsoleCommand{ConsoleCommand::Verb::Approve, number};
    if (verb == u"断る"_s || verb.compare(u"n"_s, Qt::CaseInsensitive) == 0)
        return ConsoleCommand{ConsoleCommand::Verb::Deny, number};
    if (verb == u"空ける"_s)
        return ConsoleCommand{ConsoleCommand::Verb::Release, number};
    return std::nullopt;
}

} // namespace gateway
