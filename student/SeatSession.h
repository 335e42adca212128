#pragma once

#include "student/AnswerPanel.h"
#include "student/Module1.h"

#include <QObject>
#include <QTimer>

namespace exchange {
class ChangeWatch;
}

namespace student {

// One signed-in seat at work: the poll timer LVQTimer, the watch on the
// seat's command file and the answer panel, with the rules that bind them.
// The pupil's window runs its seat through it, and the gateway one session
// for every seat a browser holds.
//
// - The first poll is the timer's, a full period after start(). A change
//   noticed before a mode was ever read does not poll: a command file met
//   half written at that moment would read as no mode and end the seat.
// - After that, a change to the command file is read as soon as its burst of
//   writes has settled (exchange::ChangeWatch), and the timer stays as the
//   floor for folders that report no changes.
// - A click restarts the period, so the next poll comes a full period after
//   it; a click refused because a new question has arrived polls at once.
// - Mode 0, or no mode at the first poll, ends the session: it stops and
//   emits ended() once.
class SeatSession : public QObject
{
    Q_OBJECT

public:
    // Who tells the session that its command file changed: its own watch, or
    // the caller through commandFileChanged() (the gateway watches all its
    // seats' files with one watch).
    enum class Watch { OwnFile, ByCaller };
    // A rewrite is a truncation and a write a moment later; a publication
    // rewrites the files of 51 seats in a row.
    static constexpr int kSettleMs = 5;
    static constexpr int kMinGapMs = 20;

    SeatSession(Module1 &module, Watch watch, QObject *parent = nullptr);
    ~SeatSession() override;

    // Switches the timer on (the first poll a full period later) and the
    // watch; stop() switches both off. A session that has ended stays off.
    void start();
    void stop();
    bool isRunning() const { return m_running; }

    // PollCommandFile now; false once the seat has ended.
    bool poll();
    // The seat's command file has changed.
    void commandFileChanged();
    // Command1_Click(index), under the timer rule above; false when the click
    // was refused (a new question) or the seat has ended.
    bool click(int index);

    const AnswerPanel &panel() const { return m_panel; }
    // The panel's reads and writes go through runner (see AnswerPanel). A
    // poll or click that comes while one waits for the share is not run:
    // the poll is the timer's again a period later, the click is refused.
    void setShareRunner(exchange::ShareRunner &runner) { m_panel.setShareRunner(runner); }

signals:
    // A poll or a click ran: the panel may show something new.
    void updated();
    // The seat must end at once.
    void ended();

private:
    Module1 &m_module;
    AnswerPanel m_panel;
    QTimer m_timer;
    exchange::ChangeWatch *m_watch = nullptr;
    bool m_running = false;
    bool m_ended = false;
    // A poll or a click is under way.
    bool m_busy = false;
};

} // namespace student
