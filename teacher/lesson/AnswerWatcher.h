#pragma once

#include "exchange/ChangeWatch.h"

#include <QObject>

namespace lesson {

class Lesson;

// Collects the answers as soon as an answer file changes, instead of waiting
// up to half a second for the next tick. It watches the folder Data and the
// answer files of every seat; each burst of changes runs one collection
// through Lesson::collectNow(), so it counts as a tick in every respect and
// does nothing while Timer1 is off. Collections come at most once per
// kMinGapMs, so the lesson's own publication (a hundred writes) sets off one
// collection, not a hundred. Timer1 stays as the floor for folders that
// report no changes.
class AnswerWatcher : public QObject
{
    Q_OBJECT

public:
    // A rewrite is done within microseconds; a short settle keeps the read
    // from landing between its truncation and its write.
    static constexpr int kSettleMs = 2;
    static constexpr int kMinGapMs = 25;

    explicit AnswerWatcher(Lesson &lesson, QObject *parent = nullptr)
        : AnswerWatcher(lesson, kSettleMs, kMinGapMs, parent)
    {
    }
    // Other timings; a negative settleMs collects at every notice.
    AnswerWatcher(Lesson &lesson, int settleMs, int minGapMs, QObject *parent = nullptr);

    // Starts watching the answer files of seats 0 to the lesson's students
    // maximum; false when Data cannot be watched (the ticks go on alone).
    bool start();
    // Stops watching: the lesson is ending.
    void stop();
    const exchange::ChangeWatch &watch() const { return m_watch; }

signals:
    // A collection ran; the window shows the new tally.
    void collected();

private:
    Lesson &m_lesson;
    exchange::ChangeWatch m_watch;
};

} // namespace lesson
