#pragma once

// What the questionnaire file chooser shows, without widgets: the drives,
// the folders from a drive down, the files that match its pattern, and the
// location its lists show.

#include <QString>
#include <QStringList>
#include <QStringView>

namespace questionnaire {

// The roots the drive list offers ("C:/", "D:/" on Windows, "/" elsewhere).
QStringList driveRoots();

// The root among drives that path lies on (the longest matching one, case
// ignored as the file systems with drive letters do). A UNC path that no drive
// holds gives its "//server/share/" root; any other unknown path gives "/".
QString driveOf(const QString &path, const QStringList &drives);

// The folders from the drive's root down to dir itself, root first:
// "/home/u" on "/" gives "/", "/home", "/home/u".
QStringList ancestorPaths(const QString &dir, const QString &drive);

// True when dir is a folder whose entries can be read.
bool canListDirectory(const QString &dir);

// Names of the folders in dir, hidden ones left out, sorted with case ignored.
QStringList listSubdirectories(const QString &dir);

// True when fileName matches the pattern as the file chooser reads it: one or
// more patterns separated by ";", each with "*" for any run of characters and
// "?" for one; case is ignored; "*.*" matches every name, also one without a
// dot; an empty pattern matches every name.
bool matchesFilePattern(QStringView fileName, QStringView pattern);

// Names of the files in dir that match the pattern, hidden ones left out,
// sorted with case ignored.
QStringList listFiles(const QString &dir, QStringView pattern);

// What the chooser's lists show: the drive, the folder and the selected file
// (empty when none is selected).
struct ShownLocation
{
    QString drive;
    QString dir;
    QString selectedFile;
};

} // namespace questionnaire
