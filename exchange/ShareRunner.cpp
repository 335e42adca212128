#include "ShareRunner.h"

#include "TextFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <atomic>

namespace exchange {

void ShareRunner::runAll(std::vector<std::function<void()>> &jobs)
{
    for (const auto &job : jobs)
        job();
}

ShareRunner &ShareRunner::inPlace()
{
    static ShareRunner runner;
    return runner;
}

BackgroundShareRunner::BackgroundShareRunner(QObject *parent)
    : QObject(parent), m_pool(new QThreadPool(this))
{
    m_pool->setMaxThreadCount(kThreads);
}

BackgroundShareRunner::~BackgroundShareRunner()
{
    m_pool->waitForDone();
}

void BackgroundShareRunner::runAll(std::vector<std::function<void()>> &jobs)
{
    if (jobs.empty())
        return;
    // Work asked for from another thread, or before there is an event loop
    // to keep going, runs where it is asked.
    if (QThread::currentThread() != thread() || !QCoreApplication::instance()) {
        ShareRunner::runAll(jobs);
        return;
    }
    const quint64 failuresBefore = shareNotAnsweringCount();
    QEventLoop loop;
    std::atomic<std::size_t> left = jobs.size();
    for (auto &job : jobs) {
        m_pool->start([&job, &left, &loop] {
            job();
            // The last job ends the wait. The call is queued to the waiting
            // thread, which is still in loop.exec() below until it arrives.
            if (--left == 0)
                QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    }
    bool slow = false;
    QTimer slowTimer;
    slowTimer.setSingleShot(true);
    connect(&slowTimer, &QTimer::timeout, this, [this, &slow] {
        slow = true;
        if (m_slowCalls++ == 0 && !m_stalled) {
            m_stalled = true;
            emit stalled(true);
        }
    });
    slowTimer.start(kSlowMs);
    ++m_waiting;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    --m_waiting;
    slowTimer.stop();
    if (slow)
        --m_slowCalls;
    // A share that has given up answers at once, with errors: the notice
    // stays until work gets through without one.
    const bool failing = shareNotAnsweringCount() != failuresBefore;
    const bool stall = failing || m_slowCalls > 0;
    if (stall != m_stalled) {
        m_stalled = stall;
        emit stalled(stall);
    }
}

} // namespace exchange
