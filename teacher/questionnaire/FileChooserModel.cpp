// The file chooser's drives, folders and matching files, read from the file
// system.
#include "FileChooserModel.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace questionnaire {

QStringList driveRoots()
{
    QStringList roots;
    for (const QFileInfo &drive : QDir::drives())
        roots << drive.absoluteFilePath();
    if (roots.isEmpty())
        roots << QDir::rootPath();
    return roots;
}

QString driveOf(const QString &path, const QStringList &drives)
{
    QString best;
    for (const QString &drive : drives) {
        // "C:" alone lies on "C:/" too.
        const bool onDrive =
            path.startsWith(drive, Qt::CaseInsensitive) ||
            (drive.size() > 1 && drive.endsWith(u'/') &&
             path.compare(QStringView(drive).chopped(1), Qt::CaseInsensitive) == 0);
        if (onDrive && drive.size() > best.size())
            best = drive;
    }
    if (!best.isEmpty())
        return best;
    if (path.startsWith(u"//"_s)) {
        // "//server/share/..." : the share is the root.
        const QStringList parts = path.mid(2).split(u'/');
        if (parts.size() >= 2 && !parts[0].isEmpty() && !parts[1].isEmpty())
            return u"//"_s + parts[0] + u'/' + parts[1] + u'/';
    }
    return u"/"_s;
}

QStringList ancestorPaths(const QString &dir, const QString &drive)
{
    QStringList paths{drive};
    QString path = drive;
    const QStringList parts = dir.mid(drive.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (!path.endsWith(u'/'))
            path += u'/';
        path += part;
        paths << path;
    }
    return paths;
}

bool canListDirectory(const QString &dir)
{
    const QFileInfo info(dir);
    if (!info.isDir() || !info.isReadable())
        return false;
#ifdef Q_OS_UNIX
    // Without search permission the entries are named but cannot be looked at.
    if (!info.isExecutable())
        return false;
#endif
    return true;
}

QStringList listSubdirectories(const QString &dir)
{
    return QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

namespace {

bool sameChar(QChar a, QChar b)
{
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

// "*" and "?" only: a name holds no character classes on the systems whose
// lists this chooser stands for.
bool matchesWildcard(QStringView name, QStringView pattern)
{
    qsizetype n = 0, p = 0;
    qsizetype starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || sameChar(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool matchesFilePattern(QStringView fileName, QStringView pattern)
{
    if (pattern.trimmed().isEmpty())
        return true;
    for (QStringView part : pattern.split(u';')) {
        part = part.trimmed();
        if (part.isEmpty())
            continue;
        if (part == u"*.*" || matchesWildcard(fileName, part))
            return true;
    }
    return false;
}

QStringList listFiles(const QString &dir, QStringView pattern)
{
    QStringList matching;
    const QStringList names = QDir(dir).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names) {
        if (matchesFilePattern(name, pattern))
            matching << name;
    }
    return matching;
}

} // namespace questionnaire
