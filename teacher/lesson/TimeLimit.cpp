#include "TimeLimit.h"

using namespace Qt::StringLiterals;

namespace lesson {
namespace {

// Often enough that the second shown turns over on time.
constexpr int kPollMs = 100;

} // namespace

TimeLimit::TimeLimit(QObject *parent) : QObject(parent)
{
    m_steady.start();
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &TimeLimit::poll);
}

bool TimeLimit::start(int seconds)
{
    if (seconds < kMinSeconds || seconds > kMaxSeconds)
        return false;
    m_deadline = now() + qint64(seconds) * 1000;
    m_shown = seconds;
    m_timer.start();
    m_state = State::Running;
    emit changed();
    return true;
}

void TimeLimit::cancel()
{
    setState(State::Off);
}

void TimeLimit::showTimeUp()
{
    setState(State::TimeUp);
}

void TimeLimit::setState(State state)
{
    if (state != State::Running)
        m_timer.stop();
    if (m_state == state)
        return;
    m_state = state;
    emit changed();
}

int TimeLimit::remainingSeconds() const
{
    if (m_state != State::Running)
        return 0;
    const qint64 left = m_deadline - now();
    return left <= 0 ? 0 : int((left + 999) / 1000);
}

QString TimeLimit::remainingCaption(int seconds)
{
    return u"のこり %1:%2"_s.arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}

QString TimeLimit::caption() const
{
    switch (m_state) {
    case State::Running:
        return remainingCaption(remainingSeconds());
    case State::TimeUp:
        return u"時間です"_s;
    case State::Off:
        break;
    }
    return {};
}

void TimeLimit::poll()
{
    if (m_state != State::Running)
        return;
    const int left = remainingSeconds();
    if (left == 0) {
        setState(State::TimeUp);
        emit expired();
        return;
    }
    if (left != m_shown) {
        m_shown = left;
        emit changed();
    }
}

} // namespace lesson
