#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace lesson {

// A time limit on answering: it counts down from the seconds the teacher
// chose and, once at zero, says that time is up until it is cancelled. It
// only keeps time; what the lesson does at zero is the lesson's (see
// Lesson::startTimeLimit).
class TimeLimit : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMinSeconds = 10;
    static constexpr int kMaxSeconds = 600;
    enum class State { Off, Running, TimeUp };
    // Milliseconds of a steady clock; tests step it by hand.
    using Clock = std::function<qint64()>;

    explicit TimeLimit(QObject *parent = nullptr);

    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Starts counting down from seconds (kMinSeconds to kMaxSeconds; false,
    // and nothing changes, for any other number).
    bool start(int seconds);
    // Off, from any state.
    void cancel();
    // Time is up: shown until cancelled.
    void showTimeUp();

    State state() const { return m_state; }
    // Whole seconds left while running, rounded up: 0 only at the end.
    int remainingSeconds() const;
    // "のこり 1:05" while running, "時間です" once time is up, else empty.
    QString caption() const;
    static QString remainingCaption(int seconds);

    // Looks at the clock: the caption may have changed, the time may be up.
    // The limit's own timer calls it several times a second.
    void poll();

signals:
    // The state or the second shown changed.
    void changed();
    // The count reached zero; the state is TimeUp already.
    void expired();

private:
    Clock m_clock;
    QElapsedTimer m_steady;
    QTimer m_timer;
    State m_state = State::Off;
    qint64 m_deadline = 0;
    int m_shown = 0;

    qint64 now() const { return m_clock ? m_clock() : m_steady.elapsed(); }
    void setState(State state);
};

} // namespace lesson
