#pragma once

// What anybody with write access to the classroom's share can put at a file's
// name instead of a file, for the fault tables of both programs' tests. A
// marker names it:
//   "<dir>"           a folder
//   "<pipe>"          a named pipe nobody writes (opening it to read waits)
//   "<socket>"        a socket
//   "<link:TARGET>"   a symbolic link to TARGET (relative to the link's folder
//                     or absolute; TARGET need not exist)
//   "<hardlink:FILE>" a second name of FILE (relative to the working folder)
// Pipes, sockets and links are made on POSIX systems only; tests skip those
// rows elsewhere.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#ifndef Q_OS_WIN
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

namespace faults {

inline bool isMarker(const QByteArray &content)
{
    return content == "<dir>" || content == "<pipe>" || content == "<socket>" ||
           content.startsWith("<link:") || content.startsWith("<hardlink:");
}

inline bool needsPosix(const QByteArray &content)
{
    return isMarker(content) && content != "<dir>";
}

// Replaces whatever is at path by what the marker names; false when that
// could not be made.
inline bool plant(const QString &path, const QByteArray &marker)
{
    QFile::remove(path);
    QDir().rmdir(path);
    if (marker == "<dir>")
        return QDir().mkdir(path);
#ifdef Q_OS_WIN
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
    if (marker.startsWith("<link:") && marker.endsWith('>')) {
        const QByteArray target = marker.mid(6, marker.size() - 7);
        return ::symlink(target.constData(), native.constData()) == 0;
    }
    if (marker.startsWith("<hardlink:") && marker.endsWith('>')) {
        const QByteArray target = marker.mid(10, marker.size() - 11);
        return ::link(target.constData(), native.constData()) == 0;
    }
    return false;
#endif
}

// A symbolic link itself, not what it points to.
inline bool isLink(const QString &path)
{
#ifdef Q_OS_WIN
    return QFileInfo(path).isSymLink();
#else
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
#endif
}

// A regular file reached without following a link.
inline bool isPlainFile(const QString &path)
{
#ifdef Q_OS_WIN
    return QFileInfo(path).isFile() && !isLink(path);
#else
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
#endif
}

} // namespace faults
