#pragma once

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace exchange {

// Tells when any of a few exchange files changes, so that a program can read
// them at once instead of at its next poll. It watches the files and the
// folder that holds them: a file that is replaced or removed and written anew
// is watched again as soon as the folder reports it.
//
// When the folder itself goes (a share lost for a moment, a folder deleted
// and made again) the watch tries to take it up again every kRetryMs.
//
// Notices come in bursts (a rewrite is a truncation and a write; a publication
// rewrites a hundred files), so changed() is coalesced: it is emitted once no
// notice has come for settleMs, so that a reader does not meet a file between
// its truncation and its write. A burst that never goes quiet is still told
// maxWaitMs after its first notice, and changed() never comes sooner than
// minGapMs after the previous one. For example, with settleMs 5 and
// maxWaitMs 50, notices at 0, 3 and 6 ms give one changed() at 11 ms; a notice
// every 3 ms for a second gives one every 50 ms or so. It is delivered from
// the event loop, never from within the caller's own code. A negative settleMs
// turns coalescing off: changed() then follows every notice the system gives
// (tests drive the worst case with it). Folders that report nothing (some
// network shares) simply never emit; the programs' own polls go on regardless.
class ChangeWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRetryMs = 1000;
    static constexpr int kDefaultMaxWaitMs = 50;

    explicit ChangeWatch(int settleMs, int minGapMs, QObject *parent = nullptr);

    void setMaxWait(int maxWaitMs) { m_maxWaitMs = maxWaitMs; }

    // Watches these files (relative to the working directory, all in one
    // folder) and their folder from now on; a change already noticed is still
    // told. False when the folder cannot be watched yet (missing, or change
    // notification unavailable there); it is tried again every kRetryMs. An
    // empty list stops watching.
    bool watch(const QStringList &files);
    bool isWatching() const;
    // Files currently under watch (absolute paths).
    QStringList watchedFiles() const { return m_watcher.files(); }

signals:
    void changed();

private:
    void noticed();
    void rearm();
    void emitChanged();

    QFileSystemWatcher m_watcher;
    QStringList m_files; // absolute
    QString m_folder;    // absolute
    QTimer m_delay;
    QTimer m_retry;
    QElapsedTimer m_sinceLast;
    QElapsedTimer m_burstStart;
    int m_settleMs;
    int m_minGapMs;
    int m_maxWaitMs = kDefaultMaxWaitMs;
};

} // namespace exchange
