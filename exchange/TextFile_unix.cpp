// TextFile.h on POSIX systems: every file is opened inside its folder held
// open without following links (openat, O_NOFOLLOW), and looked at with
// fstat after the open, so that a link, pipe or device put at a seat file's
// name is never written through or waited on.
#include "TextFile.h"
#include "TextFile_p.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace exchange {
using namespace detail;

namespace {

QString systemReason(int error = errno)
{
    switch (error) {
    case EIO:
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ENOTCONN:
    case ECONNABORTED:
    case ECONNRESET:
    case ECONNREFUSED:
    case ESTALE:
        return notAnsweringReason(qt_error_string(error));
    default:
        return qt_error_string(error);
    }
}

// A regular file with no second name: writing it reaches nothing else.
bool isOwnRegularFile(const struct stat &info)
{
    return S_ISREG(info.st_mode) && info.st_nlink <= 1;
}

// Reads from fd's position to the end, at most maxBytes.
std::optional<QByteArray> readUpTo(int fd, qint64 maxBytes, QString *error)
{
    QByteArray bytes;
    while (bytes.size() < maxBytes) {
        const qsizetype before = bytes.size();
        const qint64 want = std::min<qint64>(kReadChunkBytes, maxBytes - before);
        bytes.resize(before + want);
        const ssize_t got = ::read(fd, bytes.data() + before, size_t(want));
        if (got < 0) {
            bytes.resize(before);
            if (errno == EINTR)
                continue;
            return failed(error, systemReason());
        }
        bytes.resize(before + got);
        if (got == 0)
            break;
    }
    return bytes;
}

// The folder that holds the file native names, opened without following a
// link at its own name: a neighbour who replaces the folder Data by a link
// to a folder elsewhere gets a failure, not the seat files written there.
// -1, with status set, when it cannot be opened.
int openHoldingFolder(const QByteArray &native, FileStatus &status)
{
    const qsizetype slash = native.lastIndexOf('/');
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : native.left(slash));
    const int folderFd =
        ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0) {
        const int openError = errno;
        if (openError == ELOOP || openError == ENOTDIR)
            status = FileStatus::failure(folderNotFolderReason(QFile::decodeName(folder)));
        else
            status = FileStatus::failure(systemReason(openError));
    }
    return folderFd;
}

QByteArray nameInFolder(const QByteArray &native)
{
    return native.mid(native.lastIndexOf('/') + 1);
}

FileStatus writeAllAndClose(int fd, const QByteArray &bytes, bool flushToDisk)
{
    auto fail = [fd](int error) {
        ::close(fd);
        return FileStatus::failure(systemReason(error));
    };
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail(written < 0 ? errno : EIO);
        done += written;
    }
    if (flushToDisk && ::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0)
        return FileStatus::failure(systemReason());
    return {};
}

} // namespace

bool isOwnRegularFile(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && isOwnRegularFile(info);
}

std::optional<QByteArray> readFileHead(const QString &path, qint64 maxBytes, QString *error)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    // Looked at before the open, so that a device is never opened at all.
    if (::stat(native.constData(), &info) != 0)
        return failed(error, systemReason());
    if (!S_ISREG(info.st_mode))
        return failed(error, notRegularReason());
    // O_NONBLOCK: a pipe put at the name in the meantime opens at once
    // instead of waiting for a writer, and is refused below.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return failed(error, systemReason());
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return failed(error, notRegularReason());
    }
    std::optional<QByteArray> bytes = readUpTo(fd, maxBytes, error);
    ::close(fd);
    return bytes;
}

namespace {

// writeWholeFile inside the folder held open as folderFd.
FileStatus writeInFolder(int folderFd, const QByteArray &name, const QByteArray &bytes)
{

    int lastError = 0;
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        struct stat info;
        if (::fstatat(folderFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(info.st_mode))
                return FileStatus::failure(folderInTheWayReason());
            // A link, pipe, socket or device, or a second name of a file
            // elsewhere: the name is freed and the file made anew.
            if (!isOwnRegularFile(info) && ::unlinkat(folderFd, name.constData(), 0) != 0 &&
                errno != ENOENT)
                return FileStatus::failure(systemReason());
        } else if (errno != ENOENT) {
            return FileStatus::failure(systemReason());
        }
        // The file is cut as it is opened: SMB clients refuse or fail a cut
        // made after the open (some refuse an existing file opened for
        // writing at all), while every one of them takes O_TRUNC. What the
        // look above found is this name's own file or nothing; O_NOFOLLOW
        // refuses a link put back in the meantime and O_NONBLOCK keeps a pipe
        // put back from waiting for a reader (O_TRUNC leaves both alone).
        // Either is looked at again. A second name made in that instant can
        // only be one of a file its maker may write anyway.
        const int fd = ::openat(folderFd, name.constData(),
                                O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY |
                                    O_CLOEXEC,
                                0666);
        if (fd < 0) {
            lastError = errno;
            if (lastError == ELOOP || lastError == EMLINK || lastError == ENXIO ||
                lastError == EAGAIN || lastError == EINTR)
                continue;
            return FileStatus::failure(lastError == EISDIR ? folderInTheWayReason()
                                                           : systemReason(lastError));
        }
        if (::fstat(fd, &info) != 0 || !isOwnRegularFile(info)) {
            ::close(fd);
            lastError = 0;
            continue;
        }
        return writeAllAndClose(fd, bytes, false);
    }
    return FileStatus::failure(lastError != 0 ? systemReason(lastError) : keptReplacedReason());
}

} // namespace

FileStatus writeWholeFile(const QString &path, const QByteArray &bytes)
{
    // Everything works inside the folder that holds the file.
    const QByteArray native = QFile::encodeName(path);
    FileStatus folderStatus;
    const int folderFd = openHoldingFolder(native, folderStatus);
    if (folderFd < 0)
        return folderStatus;
    const FileStatus status = writeInFolder(folderFd, nameInFolder(native), bytes);
    ::close(folderFd);
    return status;
}

HeldFolder::HeldFolder(const QString &fileInFolder) : m_folder(QFileInfo(fileInFolder).path())
{
    m_handle = openHoldingFolder(QFile::encodeName(fileInFolder), m_status);
}

HeldFolder::~HeldFolder()
{
    if (m_handle >= 0)
        ::close(int(m_handle));
}

FileStatus HeldFolder::writeWholeFile(const QString &path, const QByteArray &bytes) const
{
    if (m_handle < 0)
        return m_status;
    if (QFileInfo(path).path() != m_folder)
        return exchange::writeWholeFile(path, bytes);
    return writeInFolder(int(m_handle), nameInFolder(QFile::encodeName(path)), bytes);
}

GuardedRewrite guardedRewrite(const QString &path, qint64 readLimit, const ContentCheck &expected,
                              const QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    FileStatus folderStatus;
    const int folderFd = openHoldingFolder(native, folderStatus);
    if (folderFd < 0)
        return rewriteFailed(folderStatus.error);
    const QByteArray name = nameInFolder(native);
    // Looked at before the open, so that a device is never opened at all.
    struct stat info;
    if (::fstatat(folderFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        const int statError = errno;
        ::close(folderFd);
        return statError == ENOENT ? notExpected() : rewriteFailed(systemReason(statError));
    }
    if (!isOwnRegularFile(info)) {
        ::close(folderFd);
        return notExpected();
    }
    // No O_CREAT: a file removed meanwhile stays removed. O_NOFOLLOW refuses
    // a link put there meanwhile, O_NONBLOCK keeps a pipe from waiting.
    const int fd = ::openat(folderFd, name.constData(),
                            O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const int openError = errno;
    ::close(folderFd);
    if (fd < 0) {
        if (openError == ENOENT || openError == ELOOP || openError == EMLINK ||
            openError == EISDIR || openError == ENXIO)
            return notExpected();
        // Some SMB clients refuse an existing file opened for reading and
        // writing without cutting it; a failing share says so again below.
        if (openError == EACCES || openError == EPERM || openError == EOPNOTSUPP ||
            openError == ENOTSUP || openError == EIO || openError == ENOSYS)
            return rewriteAfterLook(path, readLimit, expected, bytes);
        return rewriteFailed(systemReason(openError));
    }
    const auto closeWith = [fd](GuardedRewrite result) {
        ::close(fd);
        return result;
    };
    if (::fstat(fd, &info) != 0)
        return closeWith(rewriteFailed(systemReason()));
    if (!isOwnRegularFile(info))
        return closeWith(notExpected());
    QString readError;
    const std::optional<QByteArray> held = readUpTo(fd, readLimit, &readError);
    if (!held)
        return closeWith(rewriteFailed(readError));
    if (!expected(*held))
        return closeWith(notExpected());
    // Cut and written through the opening whose contents were judged. A
    // share that cannot cut an open file (and may have cut it anyway) gets
    // the file written whole again, right after the judgement.
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return rewriteDone(writeWholeFile(path, bytes));
    }
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return closeWith(rewriteFailed(systemReason()));
    return rewriteDone(writeAllAndClose(fd, bytes, false));
}

FileStatus saveFileSafely(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat target;
    const bool targetExists = ::lstat(native.constData(), &target) == 0;
    if (targetExists && S_ISDIR(target.st_mode))
        return FileStatus::failure(folderInTheWayReason());

    // A fresh name beside the file: O_EXCL refuses anything already there,
    // a link or a pipe included.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = QFile::encodeName(path + temporarySuffix());
        fd = ::open(temporary.constData(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return FileStatus::failure(systemReason());
    // A file rewritten keeps its permissions, as when written in place.
    if (targetExists && S_ISREG(target.st_mode))
        ::fchmod(fd, target.st_mode & 07777);

    const FileStatus written = writeAllAndClose(fd, bytes, true);
    if (!written) {
        ::unlink(temporary.constData());
        return written;
    }
    // rename() replaces the name itself: a link at path is replaced as a
    // link, its target untouched.
    if (::rename(temporary.constData(), native.constData()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.constData());
        return FileStatus::failure(renameError == EISDIR ? folderInTheWayReason()
                                                         : systemReason(renameError));
    }
    return {};
}

bool isMissing(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) != 0 &&
           (errno == ENOENT || errno == ENOTDIR);
}

} // namespace exchange
