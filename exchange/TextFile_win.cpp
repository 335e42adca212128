// TextFile.h on Windows: a file's folder is held open without delete
// sharing while the file is written, and links and junctions are opened as
// themselves (FILE_FLAG_OPEN_REPARSE_POINT), removed as links, never followed.
#include "TextFile.h"
#include "TextFile_p.h"

#include <QDir>
#include <QFileInfo>

#include <qt_windows.h>

#include <algorithm>
#include <string>

using namespace Qt::StringLiterals;

namespace exchange {
using namespace detail;

namespace {

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

// Before a file is written at native: a link or junction at the name is
// removed as a link (never its target); a folder there is in the way.
FileStatus clearLinkAtName(const std::wstring &native)
{
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {};
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (!removeReparsePoint(native, attributes))
            return FileStatus::failure(systemReason());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return FileStatus::failure(folderInTheWayReason());
    }
    return {};
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

} // namespace

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
        if (const FileStatus cleared = clearLinkAtName(native); !cleared)
            return cleared;
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
    if (const FileStatus cleared = clearLinkAtName(native); !cleared)
        return cleared;
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

bool isMissing(const QString &path)
{
    if (GetFileAttributesW(win32Path(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace exchange
