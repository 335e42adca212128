#pragma once

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

// Settings of a test program in a folder of its own: test programs that run
// side by side never read each other's settings (a class list that one of
// them remembers would open a message box in another's window). Settings in
// the Windows registry are shared all the same: the window tests, which read
// the class list, do not run under wine.
inline void usePrivateSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    static QTemporaryDir folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
}
