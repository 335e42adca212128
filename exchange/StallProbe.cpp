#include "StallProbe.h"

#include <QFile>

namespace exchange {

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
    write();
}

StallProbe::~StallProbe()
{
    write();
}

void StallProbe::tick()
{
    const qint64 gap = m_sinceTick.restart() - kPeriodMs;
    if (m_sinceWrite.elapsed() >= 1000) {
        m_sinceWrite.restart();
        // The test removes the file to measure from now on.
        if (!QFile::exists(m_path))
            m_longest = 0;
        else
            m_longest = std::max(m_longest, gap);
        write();
        return;
    }
    m_longest = std::max(m_longest, gap);
}

void StallProbe::write() const
{
    // A local file of the test's: written directly.
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(m_longest) + '\n');
}

} // namespace exchange
