#include "StallProbe.h"

#include <QFile>

namespace exchange {
namespace {

// Nanoseconds this thread has waited on a run queue, when the system tells.
qint64 queuedNs()
{
#ifdef Q_OS_LINUX
    QFile stats(QStringLiteral("/proc/thread-self/schedstat"));
    if (stats.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = stats.readAll().simplified().split(' ');
        if (fields.size() >= 2)
            return fields[1].toLongLong();
    }
#endif
    return 0;
}

} // namespace

StallProbe *StallProbe::fromEnvironment(QObject *parent)
{
    const QString path = qEnvironmentVariable("OMBRA_STALL_PROBE");
    return path.isEmpty() ? nullptr : new StallProbe(path, parent);
}

StallProbe::StallProbe(QString path, QObject *parent) : QObject(parent), m_path(std::move(path))
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &StallProbe::tick);
    m_timer.start();
    m_sinceTick.start();
    m_sinceWrite.start();
    m_queuedNs = queuedNs();
    write();
}

StallProbe::~StallProbe()
{
    write();
}

void StallProbe::tick()
{
    const qint64 gap = m_sinceTick.restart() - kPeriodMs;
    const qint64 queued = queuedNs();
    const qint64 waitedForProcessor = (queued - m_queuedNs) / 1'000'000;
    m_queuedNs = queued;
    // The test removes the file to measure from now on.
    if (m_sinceWrite.elapsed() >= 1000 && !QFile::exists(m_path))
        m_longest = m_longestRaw = 0;
    m_longest = std::max(m_longest, gap - waitedForProcessor);
    m_longestRaw = std::max(m_longestRaw, gap);
    if (m_sinceWrite.elapsed() >= 1000) {
        m_sinceWrite.restart();
        write();
    }
}

void StallProbe::write() const
{
    // A local file of the test's: written directly.
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(m_longest) + '\n' + QByteArray::number(m_longestRaw) + '\n');
}

} // namespace exchange
