#include "FolderLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#include <limits>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <vector>
#else
#include <cerrno>
#include <csignal>
#include <sys/types.h>
#endif

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

// Whether process pid of this PC runs this program. A process id is given
// again once its process has ended, so a live process of another program
// holds nothing; nor does one whose program cannot be read (another user's),
// as QLockFile judges it. Where the program cannot be read at all (neither
// Linux nor Windows), a live process counts as this program.
bool runsThisProgram(qint64 pid)
{
#ifdef Q_OS_WIN
    if (pid <= 0 || pid > qint64(std::numeric_limits<DWORD>::max()))
        return false;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return false;
    DWORD exitCode = 0;
    std::vector<wchar_t> image(32768); // the longest path Windows has
    DWORD length = DWORD(image.size());
    const bool alive = GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE;
    const bool named = alive && QueryFullProcessImageNameW(process, 0, image.data(), &length);
    CloseHandle(process);
    return named &&
           isOwnProgram(QString::fromWCharArray(image.data(), int(length)).section(u'\\', -1));
#else
    if (pid <= 0 || pid > qint64(std::numeric_limits<pid_t>::max()))
        return false;
    // EPERM: alive, but another user's.
    if (::kill(pid_t(pid), 0) != 0 && errno != EPERM)
        return false;
#ifdef Q_OS_LINUX
    QString program = QFile::symLinkTarget(u"/proc/%1/exe"_s.arg(pid));
    // A program file replaced while it runs.
    if (program.endsWith(u" (deleted)"_s))
        program.chop(10);
    return !program.isEmpty() && isOwnProgram(QFileInfo(program).fileName());
#else
    return true;
#endif
#endif
}

// Removes a lock whose holder is gone. QLockFile deletes it while holding it
// open, which SMB shares refuse (the file is busy); a plain delete with
// nothing open follows.
bool removeStale(QLockFile &lock, const QString &path)
{
    if (lock.removeStaleLockFile())
        return true;
    return QFile::remove(path) || !QFileInfo::exists(path);
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
            removeStale(*m_lock, path);
            continue;
        }
        // Host names ignore case; on Windows the lock holds the computer's
        // name in capitals, the host name is in small letters. QLockFile
        // judges the holder's process only when the name is the one it
        // writes itself: a lock of this PC is judged here whatever the case,
        // and one whose process is gone or runs another program is taken
        // over as QLockFile would.
        const bool here =
            host.isEmpty() || host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
        if (here && !runsThisProgram(pid)) {
            removeStale(*m_lock, path);
            continue;
        }
        holder.host = host.isEmpty() ? QSysInfo::machineHostName() : host;
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
    if (m_lock && removeStale(*m_lock, fileName()) && m_lock->tryLock(0))
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
