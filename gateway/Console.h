#pragma once

#include <QString>

#include <optional>

namespace gateway {

// A line the teacher types on ombra-gateway's console: "許可 3", "断る 3"
// (also "y 3", "n 3") or "空ける 5". Full-width digits and blanks, as a
// Japanese input method types them ("許可　３"), count as the plain ones,
// and the blank before the number may be left out ("許可３").
struct ConsoleCommand
{
    enum class Verb { Approve, Deny, Release };
    Verb verb = Verb::Approve;
    int number = 0;
};
// Nothing for a line that is no such command; an empty line included.
std::optional<ConsoleCommand> readConsoleCommand(const QString &line);

} // namespace gateway
