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
    QStringList wanted;
    for (const QString &file : files)
        wanted << QFileInfo(file).absoluteFilePath();
    const QString folder = wanted.isEmpty() ? QString() : QFileInfo(wanted.first()).absolutePath();
    QStringList gone;
    for (const QString &file : m_watcher.files()) {
        if (!wanted.contains(file))
            gone << file;
    }
    if (folder != m_folder && !m_watcher.directories().isEmpty())
        gone << m_watcher.directories();
    if (!gone.isEmpty())
        m_watcher.removePaths(gone);
    m_files = wanted;
    m_folder = folder;
    if (m_files.isEmpty()) {
        m_delay.stop();
        m_retry.stop();
        return false;
    }
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
    if (!m_delay.isActive())
        m_burstStart.start();
    // Every notice starts the quiet period again, up to the burst's limit.
    qint64 wait = std::min<qint64>(m_settleMs, m_maxWaitMs - m_burstStart.elapsed());
    if (m_sinceLast.isValid())
        wait = std::max<qint64>(wait, m_minGapMs - m_sinceLast.elapsed());
    m_delay.start(int(std::max<qint64>(wait, 0)));
}

void ChangeWatch::emitChanged()
{
    m_sinceLast.start();
    emit changed();
}

} // namespace exchange
