#pragma once

#include <QDateTime>
#include <QString>

#include <memory>

class QLockFile;

namespace lesson {

// One teacher's program per classroom folder: a lock file in the working
// directory, holding the process id, program and host name of its holder,
// for as long as the lesson runs. A lock left by a program that is gone from
// this PC is taken over at once; one held by another PC cannot be told from
// a lock left by a program that is gone from that PC, so taking it over is
// the teacher's decision. Anything else put at the lock's name (by anybody on
// the share) is no lock and is replaced, but a folder, which fails.
class FolderLock
{
public:
    static QString fileName();

    FolderLock();
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    enum class Result { Taken, HeldHere, HeldElsewhere, Failed };
    // Who holds the lock when it is not taken: the host name and the time
    // the holder took it; or, when it failed, the reason.
    struct Holder
    {
        QString host;
        QDateTime since;
        QString error;
    };
    Result take(Holder &holder);
    // Takes over a lock held by another PC, once the teacher has said that
    // its program is gone; false with the reason when it could not be.
    bool takeOver(Holder &holder);
    void release();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace lesson
