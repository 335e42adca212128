#include "TextFile.h"

#include "Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <atomic>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <string>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace exchange {
namespace {

// A name whose thing is swapped for something else again and again between
// the look and the open is given up after a few rounds.
constexpr int kReplaceAttempts = 4;
// Fresh temporary names tried before giving up.
constexpr int kTemporaryNameAttempts = 16;
constexpr qint64 kReadChunkBytes = 1 << 16;

QString notRegularReason()
{
    return u"通常のファイルではありません（パイプ、ソケット、デバイスまたはフォルダ）。"_s;
}

QString folderInTheWayReason()
{
    return u"同じ名前のフォルダがあるため、ファイルを書けません。"_s;
}

QString folderNotFolderReason(const QString &folder)
{
    return u"フォルダ「%1」がフォルダではなく、リンクなどに置き換えられています。"_s.arg(folder);
}

QString keptReplacedReason()
{
    return u"ファイルが書き込みの間に何度も別のものに差し替えられました。"_s;
}

std::atomic<quint64> g_notAnswering{0};

// An error that means the share did not answer, or the connection to it is
// lost: said as such, and counted for the windows' notice.
QString notAnsweringReason(const QString &system)
{
    g_notAnswering.fetch_add(1, std::memory_order_relaxed);
    return u"共有フォルダのファイルサーバーが応答しないか、接続が切れています（%1）。"_s.arg(system);
}

std::optional<QByteArray> failed(QString *error, QString reason)
{
    if (error)
        *error = std::move(reason);
    return std::nullopt;
}

QString temporarySuffix()
{
    return u".%1.tmp"_s.arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
}

GuardedRewrite notExpected()
{
    return {GuardedRewrite::Outcome::NotExpected, {}};
}

GuardedRewrite rewriteFailed(QString reason)
{
    return {GuardedRewrite::Outcome::Failed, std::move(reason)};
}

GuardedRewrite rewriteDone(const FileStatus &status)
{
    return status ? GuardedRewrite{} : rewriteFailed(status.error);
}

// guardedRewrite where the file share refuses to open an existing file for
// reading and writing without cutting it (some SMB clients do): the look and
// the write are then two openings, readFileHead and writeWholeFile. A version
// written between the two is overwritten, so this guards less than one
// opening does, but it still writes only where a look has just found what the
// caller expected, and never where a look found nothing of this name's own.
GuardedRewrite rewriteAfterLook(const QString &path, qint64 readLimit, const ContentCheck &expected,
                                const QByteArray &bytes)
{
    if (!isOwnRegularFile(path))
        return notExpected();
    QString error;
    const std::optional<QByteArray> held = readFileHead(path, readLimit, &error);
    if (!held)
        return rewriteFailed(error);
    if (!expected(*held))
        return notExpected();
    return rewriteDone(writeWholeFile(path, bytes));
}

#ifdef Q_OS_WIN

QString reasonFor(DWORD error)
{
    switch (error) {
    case ERROR_NETNAME_DELETED:
    case ERROR_BAD_NETPATH:
    case ERROR_NETWORK_BUSY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NET_RESP:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_BAD_NET_NAME:
    case ERROR_SEM_TIMEOUT:
    case ERROR_NO_NET_OR_BAD_PATH:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_CONNECTION_ABORTED:
        return notAnsweringReason(qt_error_string(int(error)));
    default:
        return qt_error_string(int(error));
    }
}

QString systemReason()
{
    return reasonFor(GetLastError());
}

std::wstring win32Path(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// The folder that holds path, opened as itself (a link or junction at its
// name is not followed) and held without delete sharing, so that nobody can
// move it or put a link in its place until the handle is closed. Invalid,
// with the reason, when the folder cannot be opened or is not a plain folder.
HANDLE openHoldingFolder(const QString &path, FileStatus &status)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = slash < 0 ? u"."_s : (slash == 0 ? u"/"_s : path.left(slash));
    const HANDLE handle = CreateFileW(
        win32Path(folder).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        status = FileStatus::failure(systemReason());
        return handle;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(handle);
        status = FileStatus::failure(folderNotFolderReason(QDir::toNativeSeparators(folder)));
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

// A regular file on disk, opened as itself (no link or junction), with no
// second name: writing it reaches nothing else.
bool isOwnRegularFile(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
           info.nNumberOfLinks <= 1;
}

// Reads from the handle's position to the end, at most maxBytes.
std::optional<QByteArray> readUpTo(HANDLE handle, qint64 maxBytes, QString *error)
{
    QByteArray bytes;
    while (bytes.size() < maxBytes) {
        const qsizetype before = bytes.size();
        const DWORD want = DWORD(std::min<qint64>(kReadChunkBytes, maxBytes - before));
        bytes.resize(before + want);
        DWORD got = 0;
        if (!ReadFile(handle, bytes.data() + before, want, &got, nullptr))
            return failed(error, systemReason());
        bytes.resize(before + got);
        if (got == 0)
            break;
    }
    return bytes;
}

// A symbolic link or junction is removed as a link, never its target.
bool removeReparsePoint(const std::wstring &native, DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(native.c_str()) != 0
                                                   : DeleteFileW(native.c_str()) != 0;
}

FileStatus writeAllAndClose(HANDLE handle, const QByteArray &bytes, bool flushToDisk)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const DWORD want = DWORD(std::min<qsizetype>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(handle, bytes.constData() + done, want, &written, nullptr) || written == 0) {
            const QString reason = systemReason();
            CloseHandle(handle);
            return FileStatus::failure(reason);
        }
        done += written;
    }
    if (flushToDisk && !FlushFileBuffers(handle)) {
        const QString reason = systemReason();
        CloseHandle(handle);
        return FileStatus::failure(reason);
    }
    if (!CloseHandle(handle))
        return FileStatus::failure(systemReason());
    return {};
}

#else

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

#endif

} // namespace

#ifdef Q_OS_WIN

std::optional<QByteArray> readFileHead(const QString &path, qint64 maxBytes, QString *error)
{
    const std::wstring native = win32Path(path);
    const HANDLE handle = CreateFileW(native.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failed(error, systemReason());
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        return failed(error, notRegularReason());
    }
    std::optional<QByteArray> bytes = readUpTo(handle, maxBytes, error);
    CloseHandle(handle);
    return bytes;
}

bool isOwnRegularFile(const QString &path)
{
    const std::wstring native = win32Path(path);
    const HANDLE handle = CreateFileW(native.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool own = isOwnRegularFile(handle);
    CloseHandle(handle);
    return own;
}

namespace {

// writeWholeFile with the folder held.
FileStatus writeInHeldFolder(const QString &path, const QByteArray &bytes)
{
    const std::wstring native = win32Path(path);
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        const DWORD attributes = GetFileAttributesW(native.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!removeReparsePoint(native, attributes))
                    return FileStatus::failure(systemReason());
            } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                return FileStatus::failure(folderInTheWayReason());
            }
        }
        // FILE_FLAG_OPEN_REPARSE_POINT: a link put back meanwhile is opened as
        // itself, seen below and removed, never followed.
        const HANDLE handle = CreateFileW(
            native.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return FileStatus::failure(systemReason());
        if (!isOwnRegularFile(handle)) {
            CloseHandle(handle);
            const DWORD now = GetFileAttributesW(native.c_str());
            if (now != INVALID_FILE_ATTRIBUTES && !(now & FILE_ATTRIBUTE_REPARSE_POINT) &&
                !(now & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(native.c_str()); // a second name of another file
            continue;
        }
        if (!SetEndOfFile(handle)) {
            const QString reason = systemReason();
            CloseHandle(handle);
            return FileStatus::failure(reason);
        }
        return writeAllAndClose(handle, bytes, false);
    }
    return FileStatus::failure(keptReplacedReason());
}

// guardedRewrite with the folder held.
GuardedRewrite rewriteInHeldFolder(const QString &path, qint64 readLimit,
                                   const ContentCheck &expected, const QByteArray &bytes)
{
    // OPEN_EXISTING never makes the file. FILE_FLAG_OPEN_REPARSE_POINT opens a
    // link or junction at the name as itself, refused below, never followed.
    const HANDLE handle =
        CreateFileW(win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return notExpected();
        // Also a folder at the name: the look finds it is no file of its own.
        if (error == ERROR_ACCESS_DENIED || error == ERROR_NOT_SUPPORTED)
            return rewriteAfterLook(path, readLimit, expected, bytes);
        return rewriteFailed(reasonFor(error));
    }
    if (!isOwnRegularFile(handle)) {
        CloseHandle(handle);
        return notExpected();
    }
    QString readError;
    const std::optional<QByteArray> held = readUpTo(handle, readLimit, &readError);
    if (!held) {
        CloseHandle(handle);
        return rewriteFailed(readError);
    }
    if (!expected(*held)) {
        CloseHandle(handle);
        return notExpected();
    }
    // Cut and written through the opening whose contents were judged.
    if (SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !SetEndOfFile(handle)) {
        const QString reason = systemReason();
        CloseHandle(handle);
        return rewriteFailed(reason);
    }
    return rewriteDone(writeAllAndClose(handle, bytes, false));
}

} // namespace

GuardedRewrite guardedRewrite(const QString &path, qint64 readLimit, const ContentCheck &expected,
                              const QByteArray &bytes)
{
    FileStatus folderStatus;
    const HANDLE folder = openHoldingFolder(path, folderStatus);
    if (folder == INVALID_HANDLE_VALUE)
        return rewriteFailed(folderStatus.error);
    const GuardedRewrite result = rewriteInHeldFolder(path, readLimit, expected, bytes);
    CloseHandle(folder);
    return result;
}

FileStatus writeWholeFile(const QString &path, const QByteArray &bytes)
{
    // As on POSIX systems: the folder Data replaced by a link or junction to
    // a folder elsewhere gets a failure, not the seat files written there.
    FileStatus folderStatus;
    const HANDLE folder = openHoldingFolder(path, folderStatus);
    if (folder == INVALID_HANDLE_VALUE)
        return folderStatus;
    const FileStatus status = writeInHeldFolder(path, bytes);
    CloseHandle(folder);
    return status;
}

// The folder's handle, opened without delete sharing, keeps it from being
// renamed or replaced while it is held.
HeldFolder::HeldFolder(const QString &fileInFolder) : m_folder(QFileInfo(fileInFolder).path())
{
    const HANDLE handle = openHoldingFolder(fileInFolder, m_status);
    m_handle = handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(handle);
}

HeldFolder::~HeldFolder()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

FileStatus HeldFolder::writeWholeFile(const QString &path, const QByteArray &bytes) const
{
    if (m_handle == -1)
        return m_status;
    if (QFileInfo(path).path() != m_folder)
        return exchange::writeWholeFile(path, bytes);
    return writeInHeldFolder(path, bytes);
}

FileStatus saveFileSafely(const QString &path, const QByteArray &bytes)
{
    const std::wstring native = win32Path(path);
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (!removeReparsePoint(native, attributes))
                return FileStatus::failure(systemReason());
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return FileStatus::failure(folderInTheWayReason());
        }
    }
    // CREATE_NEW refuses anything already at the name, a link included.
    std::wstring temporary;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = win32Path(path + temporarySuffix());
        handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (handle == INVALID_HANDLE_VALUE)
        return FileStatus::failure(systemReason());
    const FileStatus written = writeAllAndClose(handle, bytes, true);
    if (!written) {
        DeleteFileW(temporary.c_str());
        return written;
    }
    // The rename replaces whatever name is at path, a link as a link.
    if (!MoveFileExW(temporary.c_str(), native.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const QString reason = systemReason();
        DeleteFileW(temporary.c_str());
        return FileStatus::failure(reason);
    }
    return {};
}

#else

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

#endif

quint64 shareNotAnsweringCount()
{
    return g_notAnswering.load(std::memory_order_relaxed);
}

bool isMissing(const QString &path)
{
#ifdef Q_OS_WIN
    if (GetFileAttributesW(win32Path(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
#else
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) != 0 &&
           (errno == ENOENT || errno == ENOTDIR);
#endif
}

QByteArray cp932Lines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines) {
        text += line;
        text += u"\r\n";
    }
    return encodeCp932(text);
}

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace exchange
