#pragma once

#include "student/Module1.h"

#include "exchange/ShareRunner.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace student {

// Title of the sign-in dialog's message boxes.
QString signInMessageTitle();
// Told when an entry names no seat.
QString invalidEntryMessage();

// The seat an entry names, read by the number-reading rule (" 7", "7abc" and
// "1 2" name 7, 7 and 12). Only whole numbers from 1 to 50 are seats: "0",
// "51", "abc", "2.5" and the full-width "１" name none.
std::optional<int> seatFromEntry(QStringView entry);

struct SignInResult
{
    enum class Status { Accepted, InvalidEntry, WriteFailed };
    Status status = Status::InvalidEntry;
    // What to tell the pupil when the entry was not accepted.
    QString message;
};

// Signs a pupil in: checks the entry, makes sure the seat has an answer file
// (0, unless the seat's own file already holds an answer from 1 to 5, which
// stays) and, only when that succeeded, stores the seat and the paths of its
// two files in module. A refused entry or a failed write leaves module as it
// was. The files are read and written through runner.
SignInResult signIn(Module1 &module, QStringView entry,
                    exchange::ShareRunner &runner = exchange::ShareRunner::inPlace());

} // namespace student
