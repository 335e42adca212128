#pragma once

#include "FolderLock.h"
#include "LessonPrompter.h"

#include "exchange/ChangeWatch.h"
#include "exchange/ExchangeFiles.h"
#include "exchange/TextFile.h"
#include "teacher/tally/AnswerRecord.h"
#include "teacher/tally/Collect.h"
#include "teacher/tally/RecordKeeper.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace lesson {

// What one publication writes into the command file of every seat.
struct Publication
{
    double mode = exchange::kModePaused;
    std::array<QString, 6> shown; // the question (0) and the labels (1 to 5)
    int oneAnswerOnly = 0;
};

// A question the seats are given to answer: the record column its answers go
// to, the number the teacher's screen shows for it, and its texts.
struct GivenQuestion
{
    tally::QuestionKey key;
    int number = 0;
    tally::QuestionTexts texts;
    tally::QuestionFacts facts;
};

// Whether a publication of this mode opens answering: 1 to 5 buttons.
bool opensAnswering(double mode);

// Outcome of one pass of PublishToSeats over some seats.
struct PublishReport
{
    int failedFiles = 0;
    int totalFiles = 0;
    QString firstFailedPath;
    QString firstReason;
    // Seats with a file that could not be written, in ascending order.
    QList<int> failedSeats;
};

// The lesson as the seats see it: it publishes to every seat, collects their
// answers while answering is open (Timer1, and the answer watch between its
// ticks) and keeps them in the record until the lesson closes. Whatever it
// starts or stops takes effect the moment it is asked to. It tells of every
// collection with one signal, changed().
class LessonSession : public QObject
{
    Q_OBJECT

public:
    // A rewrite is done within microseconds; a short settle keeps a read
    // from landing between its truncation and its write. Collections set off
    // by the watch come at most once per kMinGapMs, so the lesson's own
    // publication (a hundred writes) sets off one, not a hundred.
    static constexpr int kSettleMs = 2;
    static constexpr int kMinGapMs = 25;

    explicit LessonSession(LessonPrompter &prompter);
    ~LessonSession() override;

    // Held by every handler while it runs, together with any message box or
    // dialog it opens: no tick of Timer1 runs inside a handler, not even from
    // the event loop of its message box.
    class HandlerScope
    {
    public:
        explicit HandlerScope(LessonSession &session) : m_session(session)
        {
            ++m_session.m_handlerDepth;
        }
        ~HandlerScope() { --m_session.m_handlerDepth; }
        HandlerScope(const HandlerScope &) = delete;
        HandlerScope &operator=(const HandlerScope &) = delete;

    private:
        LessonSession &m_session;
    };
    bool inHandler() const { return m_handlerDepth > 0; }

    // Highest seat number served: publishing and collecting run over seats 0
    // to this (at most the last seat the tally holds).
    int LVQStudentsMax = exchange::kStudentsMax;
    // The answer poll, every 500 ms while answering is open.
    QTimer Timer1;
    // The tally of the last collection.
    tally::Tally lastTally;
    // Rewrites one exchange file; tests replace it to make single writes fail.
    std::function<exchange::FileStatus(const QString &, const QByteArray &)> fileWriter =
        exchange::writeWholeFile;

    const tally::RecordKeeper &record() const { return m_record; }

    // The start of a lesson in the working directory. Another teacher's
    // program that holds the folder is told of (and this lesson does not
    // start: false) before anything is renamed or written. Then running
    // copies left by a lesson that never closed are kept (and the teacher
    // told where), and the folder Data is made.
    bool open();

    // Writes the command and answer files of every seat; on failures the
    // prompter decides between another pass over the seats that failed and
    // going on. What the seats answered to the question they had is kept
    // first, in its column. given is the question the seats answer from now
    // on, when the publication opens answering (modes 1 to 5): its answers
    // go to its column, the latest answer of each seat in any round.
    void PublishToSeats(const Publication &publication,
                        const std::optional<GivenQuestion> &given = std::nullopt);
    // One pass over the given seats (every seat when empty) without asking
    // anything; seats that failed are tried once more after a short pause
    // before they are reported. A seat's answer file is reset only after its
    // command file was written.
    using Readings = std::array<float, tally::kHistorySeats>;
    PublishReport publishOnce(const Publication &publication, const QList<int> &seats = {},
                              Readings *readings = nullptr);

    // Answering open: Timer1 ticks every 500 ms. Stopping takes effect at
    // once: no tick follows.
    void startAnswering();
    void stopAnswering();
    // Reads every seat's answer to the question the seats were given into
    // its column, without counting: the seats go on answering it while the
    // teacher looks elsewhere ("もどる").
    void recordAnswersGiven();

    // A tick: collects unless a handler is in progress.
    void Timer1_Timer();
    // A collection asked for between ticks, when an answer file changed: a
    // tick in every respect while Timer1 is on, nothing while it is off.
    // Returns whether it collected.
    bool collectNow();
    // Reads every seat's answer file, counts, and records the answers of the
    // question the seats were given.
    void CollectAnswers();

    // Collects as soon as an answer file changes while answering is open;
    // Timer1 stays as the floor for folders that report no changes. Other
    // timings than the defaults are for tests (a negative settleMs collects
    // at every notice). False when Data cannot be watched yet.
    bool startAnswerWatch(int settleMs = kSettleMs, int minGapMs = kMinGapMs);
    // Stops the watch: the lesson is ending.
    void stopAnswerWatch();
    // The watch while it exists; null before it was started.
    const exchange::ChangeWatch *answerWatch() const { return m_watch.get(); }

    // Closes the lesson: publishes the end to every seat, collecting their
    // last answers on the way, and writes the answer record and the results,
    // asking the user until they are written or knowingly dropped; a lesson
    // that collected nothing writes neither. Returns the path the record
    // went to, empty when nothing was written.
    QString close(const Publication &end);

signals:
    // A collection ran: the tally (and perhaps the record) changed.
    void changed();

private:
    LessonPrompter &m_prompter;
    int m_handlerDepth = 0;
    tally::RecordKeeper m_record;
    std::optional<GivenQuestion> m_given;
    // Each publication begins a round: the answer files start from 0 again.
    // Within a round the ticks' latest reading counts; readings outside the
    // ticks are rounds of their own (see AnswerHistory).
    int m_round = 0;
    std::unique_ptr<exchange::ChangeWatch> m_watch;
    FolderLock m_lock;

    void collect();
    int lastSeat() const { return std::min(LVQStudentsMax, tally::kHistorySeats - 1); }
};

} // namespace lesson
