#include "ChangeWatch.h"

#include <QFileInfo>

#include <algorithm>

namespace exchange {

ChangeWatch::ChangeWatch(int settleMs, int minGapMs, QObject *parent)
    : QObject(parent), m_settleMs(settleMs), m_minGapMs(minGapMs)
{
    m_delay.setSingleShot(true);
    m_delay.setTimerType(Qt::PreciseTimer);
    connect(&m_delay, &QTimer::timeout, this, &ChangeWatch::emitChanged);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        rearm();
        if (isWatching())
            noticed(); // the files may have changed meanwhile
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this](const QString &path) {
        // A file that was removed or replaced has dropped out of the watch.
        if (!m_watcher.files().contains(path))
            rearm();
        noticed();
    });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        rearm();
        noticed();
    });
}

bool ChangeWatch::watch(const QStringList &files)
{
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_files.clear();
    m_folder.clear();
    m_delay.stop();
    m_retry.stop();
    for (const QString &file : files)
        m_files << QFileInfo(file).absoluteFilePath();
    if (m_files.isEmpty())
        return false;
    m_folder = QFileInfo(m_files.first()).absolutePath();
    rearm();
    return isWatching();
}

bool ChangeWatch::isWatching() const
{
    return !m_watcher.directories().isEmpty();
}

void ChangeWatch::rearm()
{
    if (m_folder.isEmpty())
        return;
    // The folder itself was removed or replaced: take it up again, or try
    // later.
    if (!m_watcher.directories().contains(m_folder) &&
        (!QFileInfo(m_folder).isDir() || !m_watcher.addPath(m_folder))) {
        m_retry.start();
        return;
    }
    m_retry.stop();
    const QStringList watched = m_watcher.files();
    QStringList missing;
    for (const QString &file : std::as_const(m_files)) {
        if (!watched.contains(file) && QFileInfo::exists(file))
            missing << file;
    }
    if (!missing.isEmpty())
        m_watcher.addPaths(missing);
}

void ChangeWatch::noticed()
{
    if (m_settleMs < 0) {
        emitChanged();
        return;
    }
    if (m_delay.isActive())
        return;
    int wait = m_settleMs;
    if (m_sinceLast.isValid())
        wait = std::max<qint64>(wait, m_minGapMs - m_sinceLast.elapsed());
    m_delay.start(wait);
}

void ChangeWatch::emitChanged()
{
    m_sinceLast.start();
    emit changed();
}

} // namespace exchange
