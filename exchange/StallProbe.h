#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace exchange {

// Measures how long the event loop of the thread it lives on goes without
// turning: a timer asks every kPeriodMs, and the longest gap beyond the
// period is written to a file about once a second and when the probe ends
// (one line, whole milliseconds). The system tests start a program with the
// environment variable OMBRA_STALL_PROBE naming that file, and remove the
// file to measure afresh from the probe's next write on (a program's start
// builds its windows, which is no wait for the share).
class StallProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPeriodMs = 10;

    // A probe when OMBRA_STALL_PROBE names a file, else none.
    static StallProbe *fromEnvironment(QObject *parent);

    StallProbe(QString path, QObject *parent = nullptr);
    ~StallProbe() override;

    qint64 longestStallMs() const { return m_longest; }

private:
    void tick();
    void write() const;

    QString m_path;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    QElapsedTimer m_sinceWrite;
    qint64 m_longest = 0;
};

} // namespace exchange
