#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace exchange {

// Measures how long the event loop of the thread it lives on goes without
// turning: a timer asks every kPeriodMs, and the longest gap beyond the
// period is written to a file about once a second and when the probe ends.
// The system tests start a program with the environment variable
// OMBRA_STALL_PROBE naming that file, and remove the file to measure afresh
// from the probe's next write on (a program's start builds its windows,
// which is no wait for the share).
//
// The file's first line is the longest gap less the time the thread waited
// for a processor meanwhile (Linux tells it in /proc/thread-self/schedstat;
// elsewhere nothing is taken off): the time the program itself spent
// working or waiting, for the share among others. A test machine busy with
// other processes does not count. The second line is the longest gap as it
// was.
class StallProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPeriodMs = 10;

    // A probe when OMBRA_STALL_PROBE names a file, else none.
    static StallProbe *fromEnvironment(QObject *parent);

    StallProbe(QString path, QObject *parent = nullptr);
    ~StallProbe() override;

private:
    void tick();
    void write() const;

    QString m_path;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    QElapsedTimer m_sinceWrite;
    qint64 m_queuedNs = 0;
    qint64 m_longest = 0;
    qint64 m_longestRaw = 0;
};

} // namespace exchange
