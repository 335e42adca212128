#include "FolderLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

using namespace Qt::StringLiterals;

namespace lesson {
namespace {

// QLockFile opens what it finds at its name to read it, and an open of a
// pipe waits for a writer: anything but a file or a folder goes first.
QString clearName(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile() && !info.isDir()))
        QFile::remove(path);
    else if (info.isDir())
        return u"同じ名前のフォルダがあります。"_s;
    return {};
}

// Whether a lock's program is this program: QLockFile writes the name of the
// executable, without ".exe" on Windows, where names ignore case.
bool isOwnProgram(QString program)
{
    QString own = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (QString *name : {&program, &own}) {
        if (name->endsWith(u".exe"_s, Qt::CaseInsensitive))
            name->chop(4);
    }
#ifdef Q_OS_WIN
    return program.compare(own, Qt::CaseInsensitive) == 0;
#else
    return program == own;
#endif
}

} // namespace

QString FolderLock::fileName()
{
    return u"Teacher.lock"_s;
}

FolderLock::FolderLock() = default;
FolderLock::~FolderLock() = default;

FolderLock::Result FolderLock::take(Holder &holder)
{
    const QString path = fileName();
    // A few rounds: a holder may end, or a neighbour replace the file, while
    // it is looked at.
    for (int attempt = 0; attempt < 3; ++attempt) {
        holder.error = clearName(path);
        if (!holder.error.isEmpty())
            return Result::Failed;
        m_lock = std::make_unique<QLockFile>(path);
        // A lock's age tells nothing: a lesson lasts for hours.
        m_lock->setStaleLockTime(0);
        // QLockFile takes over by itself a lock of a process gone from this
        // PC (or left before it was last started).
        if (m_lock->tryLock(0))
            return Result::Taken;
        if (m_lock->error() != QLockFile::LockFailedError) {
            holder.error = u"このフォルダにファイルを作れません（書き込む権限がないなど）。"_s;
            m_lock.reset();
            return Result::Failed;
        }
        qint64 pid = 0;
        QString host;
        QString program;
        // What is not a lock of a teacher's program holds nothing.
        if (!m_lock->getLockInfo(&pid, &host, &program) || !isOwnProgram(program)) {
            m_lock->removeStaleLockFile();
            continue;
        }
        // Host names are the same in any case: Windows writes the computer
        // name in capitals, and gives machineHostName() in small letters.
        const bool here =
            host.isEmpty() || host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
        holder.host = here ? QSysInfo::machineHostName() : host;
        holder.since = QFileInfo(path).lastModified();
        if (here)
            m_lock.reset();
        return here ? Result::HeldHere : Result::HeldElsewhere;
    }
    m_lock.reset();
    holder.error = u"ファイルが何度も置き換えられました。"_s;
    return Result::Failed;
}

bool FolderLock::takeOver(Holder &holder)
{
    if (m_lock && m_lock->removeStaleLockFile() && m_lock->tryLock(0))
        return true;
    m_lock.reset();
    holder.error = u"ほかのパソコンのプログラムがまだファイルを使っています。"_s;
    return false;
}

void FolderLock::release()
{
    m_lock.reset();
}

} // namespace lesson
