#pragma once

// What anybody with write access to the classroom's share can put at a file's
// name instead of a file, for the fault tables of both programs' tests. A
// marker names it:
//   "<dir>"               a folder
//   "<pipe>"              a named pipe nobody writes (opening it to read waits)
//   "<socket>"            a socket
//   "<link:TARGET>"       a symbolic link to TARGET (relative to the link's
//                         folder or absolute; TARGET need not exist)
//   "<junction:FOLDER>"   a junction to FOLDER (relative to the link's folder);
//                         on POSIX systems a symbolic link to it
//   "<hardlink:FILE>"     a second name of FILE (relative to the working folder)
//   "<held>"              the file already there, held open by another writer
//                         that shares nothing (Windows only) until releaseHeld()
// cannotMake() tells which of them this system cannot make; tests skip those
// rows with its reason.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstring>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <winioctl.h>

#include <string>
#include <vector>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace faults {

inline bool isMarker(const QByteArray &content)
{
    return content == "<dir>" || content == "<pipe>" || content == "<socket>" ||
           content == "<held>" || content.startsWith("<link:") ||
           content.startsWith("<junction:") || content.startsWith("<hardlink:");
}

inline QByteArray markerArgument(const QByteArray &marker)
{
    const qsizetype colon = marker.indexOf(':');
    return marker.mid(colon + 1, marker.size() - colon - 2);
}

#ifdef Q_OS_WIN

inline std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

inline bool isReparsePoint(const QString &path)
{
    const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A junction is a folder whose reparse data names the target's full path.
inline bool makeJunction(const QString &path, const QString &folder)
{
    if (!QDir().mkdir(path))
        return false;
    const std::wstring substitute = L"\\??\\" + nativePath(QFileInfo(folder).absoluteFilePath());
    const auto substituteBytes = USHORT(substitute.size() * sizeof(wchar_t));
    // tag, data length, reserved; substitute offset and length, print name
    // offset and length; the substitute and an empty print name, each ended.
    const USHORT dataBytes = USHORT(4 * sizeof(USHORT) + substituteBytes + 2 * sizeof(wchar_t));
    std::vector<char> buffer(8 + dataBytes, 0);
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const USHORT header[6] = {dataBytes, 0, 0, substituteBytes, USHORT(substituteBytes + 2), 0};
    std::memcpy(buffer.data(), &tag, sizeof tag);
    std::memcpy(buffer.data() + 4, header, sizeof header);
    std::memcpy(buffer.data() + 16, substitute.data(), substituteBytes);

    const HANDLE handle = CreateFileW(nativePath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    const bool made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                      DWORD(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    if (!made)
        QDir().rmdir(path);
    return made;
}

inline bool makeSymbolicLink(const QString &path, const QString &target)
{
    const QFileInfo resolved(QFileInfo(path).dir(), target);
    // Also without administrator rights, where developer mode allows it.
    constexpr DWORD allowUnprivileged = 0x2;
    DWORD flags = allowUnprivileged;
    if (resolved.isDir())
        flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    CreateSymbolicLinkW(nativePath(path).c_str(), nativePath(target).c_str(), flags);
    // Some systems (wine) say yes and make nothing.
    return isReparsePoint(path);
}

inline std::vector<HANDLE> &heldFiles()
{
    static std::vector<HANDLE> handles;
    return handles;
}

#endif

// Lets go of every file held by "<held>".
inline void releaseHeld()
{
#ifdef Q_OS_WIN
    for (const HANDLE handle : heldFiles())
        CloseHandle(handle);
    heldFiles().clear();
#endif
}

// Running under wine, whose file system differs from Windows' in what the
// tests meet: no symbolic links or junctions, no notice when a watched
// folder is removed.
inline bool underWine()
{
#ifdef Q_OS_WIN
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

// Why this system cannot make what marker names, or nullptr when it can.
inline const char *cannotMake(const QByteArray &marker)
{
#ifdef Q_OS_WIN
    if (marker == "<pipe>" || marker == "<socket>")
        return "pipes and sockets in a folder are made on POSIX systems only";
    if (marker.startsWith("<link:/"))
        return "links to devices are made on POSIX systems only";
    // Tried once each: symbolic links need developer mode or administrator
    // rights, and some systems (wine) make neither kind.
    static const auto madeHere = [](bool junction) {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("link"));
        return dir.isValid() && QDir(dir.path()).mkdir(QStringLiteral("target")) &&
               (junction ? makeJunction(link, dir.filePath(QStringLiteral("target")))
                         : makeSymbolicLink(link, QStringLiteral("target"))) &&
               RemoveDirectoryW(nativePath(link).c_str());
    };
    static const bool symbolicLinks = madeHere(false);
    static const bool junctions = madeHere(true);
    if (marker.startsWith("<link:") && !symbolicLinks)
        return "this Windows makes no symbolic links here (wine 8 makes none)";
    if (marker.startsWith("<junction:") && !junctions)
        return "this Windows makes no junctions here (wine 8 makes none)";
#else
    if (marker == "<held>")
        return "sharing modes exist on Windows only";
#endif
    return nullptr;
}

// Replaces whatever is at path by what the marker names; false when that
// could not be made.
inline bool plant(const QString &path, const QByteArray &marker)
{
#ifdef Q_OS_WIN
    if (marker == "<held>") {
        const HANDLE handle =
            CreateFileW(nativePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        heldFiles().push_back(handle);
        return true;
    }
#endif
    QFile::remove(path);
    QDir().rmdir(path);
    if (marker == "<dir>")
        return QDir().mkdir(path);
    const QByteArray argument = markerArgument(marker);
#ifdef Q_OS_WIN
    const QString target = QFile::decodeName(argument);
    if (marker.startsWith("<link:"))
        return makeSymbolicLink(path, target);
    if (marker.startsWith("<junction:"))
        return makeJunction(path, QFileInfo(QFileInfo(path).dir(), target).absoluteFilePath());
    if (marker.startsWith("<hardlink:"))
        return CreateHardLinkW(nativePath(path).c_str(), nativePath(target).c_str(), nullptr);
    return false;
#else
    const QByteArray native = QFile::encodeName(path);
    if (marker == "<pipe>")
        return ::mkfifo(native.constData(), 0666) == 0;
    if (marker == "<socket>") {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(native.size()) >= sizeof(address.sun_path))
            return false;
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0)
            return false;
        const bool bound =
            ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
        ::close(fd); // the socket file stays
        return bound;
    }
    if (marker.startsWith("<link:") || marker.startsWith("<junction:"))
        return ::symlink(argument.constData(), native.constData()) == 0;
    if (marker.startsWith("<hardlink:"))
        return ::link(argument.constData(), native.constData()) == 0;
    return false;
#endif
}

// A symbolic link or junction itself, not what it points to.
inline bool isLink(const QString &path)
{
#ifdef Q_OS_WIN
    return isReparsePoint(path);
#else
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
#endif
}

// A regular file reached without following a link.
inline bool isPlainFile(const QString &path)
{
#ifdef Q_OS_WIN
    const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
#else
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
#endif
}

} // namespace faults
