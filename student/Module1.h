#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

namespace student {

// Program-wide state of the pupil's program: created once in main() and
// handed to the sign-in dialog and the answer panel, which fill it in.
struct Module1
{
    // The accepted seat entry, a whole number from 1 to 50 (0 before sign-in).
    int SeatNumber = 0;
    // "Data/LVQ<seat>.ini", read at every poll (and rewritten by the lock).
    QString CommandFilePath;
    // "Data/LVQ<seat>.txt", written at sign-in and at every answer.
    QString AnswerFilePath;
    // The question (0) and the answer labels (1 to 5) last read from the
    // command file.
    std::array<QString, 6> ShownQuestion;
    // Last value read from line 8 of the command file; 1 allows one answer only.
    qint16 OneAnswerOnly = 0;
};

} // namespace student
