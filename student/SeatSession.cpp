#include "SeatSession.h"

#include "exchange/ChangeWatch.h"

#include <QScopeGuard>

#include <variant>

using namespace Qt::StringLiterals;

namespace student {

SeatSession::SeatSession(Module1 &module, Watch watch, QObject *parent)
    : QObject(parent), m_module(module), m_panel(module), m_timer(this)
{
    m_timer.setObjectName(u"LVQTimer"_s);
    m_timer.setInterval(kPollIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &SeatSession::poll);
    if (watch == Watch::OwnFile) {
        m_watch = new exchange::ChangeWatch(kSettleMs, kMinGapMs, this);
        connect(m_watch, &exchange::ChangeWatch::changed, this, &SeatSession::commandFileChanged);
    }
}

SeatSession::~SeatSession() = default;

void SeatSession::start()
{
    if (m_ended)
        return;
    m_running = true;
    m_timer.start();
    if (m_watch)
        m_watch->watch({m_module.CommandFilePath});
}

void SeatSession::stop()
{
    m_running = false;
    m_timer.stop();
    if (m_watch)
        m_watch->watch({});
}

bool SeatSession::poll()
{
    if (m_ended)
        return false;
    if (m_busy)
        return true;
    AnswerPanel::PollResult result;
    {
        m_busy = true;
        const auto idle = qScopeGuard([this] { m_busy = false; });
        result = m_panel.PollCommandFile();
    }
    if (result == AnswerPanel::PollResult::EndProgram) {
        m_ended = true;
        stop();
        emit ended();
        return false;
    }
    emit updated();
    return true;
}

void SeatSession::commandFileChanged()
{
    if (!isRunning() || std::holds_alternative<std::monostate>(m_panel.LVQMode()))
        return;
    poll();
}

bool SeatSession::click(int index)
{
    if (m_ended || m_busy)
        return false;
    m_timer.stop();
    bool taken = false;
    {
        m_busy = true;
        const auto idle = qScopeGuard([this] { m_busy = false; });
        taken = m_panel.Command1_Click(index);
    }
    if (taken)
        emit updated();
    else if (!poll()) // the question on screen was replaced meanwhile: show the new one now
        return false;
    if (m_running)
        m_timer.start();
    return taken;
}

} // namespace student
