#pragma once

#include "FolderLock.h"
#include "LessonPrompter.h"

#include "exchange/ChangeWatch.h"
#include "exchange/ExchangeFiles.h"
#include "exchange/ShareRunner.h"
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
using GivenQuestion = tally::AskedQuestion;

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
//
// Each seat answers the question its own command file shows, which is not
// always the one on the teacher's screen: a seat the last publication could
// not reach still shows the question before, and a pupil's program may have
// locked its seat on the question before just as the publication arrived.
// Every answer goes to the column of the question the seat showed, and only
// the seats that show the current question count on the graph. Once a second
// the seats are looked after: a seat whose command file holds neither the
// current publication nor the pupil's lock of it is published to again, and
// while Timer1 is off the answers the seats still give go to the record.
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
    static constexpr int kPollMs = 500;

    explicit LessonSession(LessonPrompter &prompter);
    ~LessonSession() override;

    // Held by every handler and every tick while it runs, together with any
    // message box or dialog it opens and any wait for the share: no tick of
    // Timer1 and no look at the seats runs inside another, not even from the
    // event loop of its message box or of the share's runner.
    class HandlerScope
    {
    public:
        explicit HandlerScope(LessonSession &session) : m_session(session)
        {
            ++m_session.m_handlerDepth;
        }
        ~HandlerScope()
        {
            if (--m_session.m_handlerDepth == 0)
                m_session.runDeferredTick();
        }
        HandlerScope(const HandlerScope &) = delete;
        HandlerScope &operator=(const HandlerScope &) = delete;

    private:
        LessonSession &m_session;
    };
    bool inHandler() const { return m_handlerDepth > 0; }

    // Highest seat number served: publishing and collecting run over seats 0
    // to this (at most the last seat the tally holds).
    int studentsMax() const { return m_studentsMax; }
    // The tally of the last collection.
    const tally::Tally &lastTally() const { return m_lastTally; }
    // A tally from elsewhere, as if collected: benchmarks draw with it.
    void replaceTally(const tally::Tally &tally) { m_lastTally = tally; }
    // Rewrites one exchange file; tests give one that makes single writes
    // fail. Unset (the default, and an empty function), the seats' files are
    // written as exchange::writeWholeFile does, through the folder Data held
    // open for each batch of seats.
    using FileWriter = std::function<exchange::FileStatus(const QString &, const QByteArray &)>;
    void setFileWriter(FileWriter writer) { m_fileWriter = std::move(writer); }

    const tally::RecordKeeper &record() const { return m_record; }

    // Runs the session's file work: the reads and writes of the seats' files,
    // the record's running copies and the folder's lock. In place unless the
    // program gives a runner that keeps its window going meanwhile. The
    // runner must outlive the session.
    void setShareRunner(exchange::ShareRunner &runner);

    // The start of a lesson in the working directory. Another teacher's
    // program that holds the folder is told of (and this lesson does not
    // start: false) before anything is renamed or written. Then running
    // copies left by a lesson that never closed are kept (and the teacher
    // told where), and the folder Data is made.
    bool open();

    // Writes the command and answer files of every seat; on failures the
    // prompter decides between another pass over the seats that failed and
    // going on. Each seat's answer to the question it had is read into that
    // question's column just before its answer file is reset. given is the
    // question the seats answer from now on, when the publication opens
    // answering (modes 1 to 5): its answers go to its column, the latest
    // answer of each seat in any round. A seat whose answer file could not be
    // reset counts nothing for the new question until the file changes.
    void PublishToSeats(const Publication &publication,
                        const std::optional<GivenQuestion> &given = std::nullopt);

    // Answering open: Timer1 ticks every 500 ms (tests may ask for another
    // period). Stopping takes effect at once: no tick follows.
    void startAnswering(int periodMs = kPollMs);
    void stopAnswering();
    bool answering() const { return Timer1.isActive(); }
    // Reads every seat's answer into the column of the question it shows,
    // without counting: the seats go on answering while the teacher looks
    // elsewhere ("もどる").
    void recordAnswersGiven();

    // A tick: collects unless a handler is in progress.
    void Timer1_Timer();
    // A collection asked for between ticks, when an answer file changed: a
    // tick in every respect while Timer1 is on, nothing while it is off.
    // Returns whether it collected.
    bool collectNow();
    // Reads every seat's answer file, counts the seats that show the current
    // question, and records each seat's answer in its question's column.
    void CollectAnswers();
    // The look at every seat made once a second while the lesson runs: seats
    // that do not show the current publication get it again, and while
    // Timer1 is off the answers still given are recorded. Nothing while a
    // handler runs.
    void checkSeats();

    // Collects as soon as an answer file changes while answering is open;
    // Timer1 stays as the floor for folders that report no changes. Other
    // timings than the defaults are for tests (a negative settleMs collects
    // at every notice). False when Data cannot be watched yet.
    bool startAnswerWatch(int settleMs = kSettleMs, int minGapMs = kMinGapMs);
    // Stops the watch and the look at the seats: the lesson is ending.
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
    // Timer1 came due, whether or not its tick could run at once.
    void tickDue();

private:
    // One seat as this lesson knows it.
    struct Seat
    {
        // The question its command file shows, while it can be answered.
        std::optional<GivenQuestion> question;
        // The question it showed before the current publication reached it.
        std::optional<GivenQuestion> before;
        // The last value read from its answer file.
        float reading = 0;
        // Its answer file could not be reset and still holds this: an answer
        // to an earlier question, counted nowhere until the file changes.
        std::optional<tally::AnswerStamp> stale;
        // How far the current publication got: the command file written,
        // then the answer file reset.
        bool commandWritten = false;
        bool answerReset = false;
        // A command file that looked wrong at the last look.
        bool suspect = false;
        // Looks that leave the seat alone after a failed write, and the next
        // such pause.
        int writePause = 0;
        int writeBackoff = 0;
    };
    enum class SeatFile { Current, LockOfOther, Other };

    LessonPrompter &m_prompter;
    int m_studentsMax = exchange::kStudentsMax;
    // The answer poll, every kPollMs while answering is open.
    QTimer Timer1;
    tally::Tally m_lastTally;
    FileWriter m_fileWriter;
    int m_handlerDepth = 0;
    // A tick came while a handler, a look or another tick was under way: it
    // runs as soon as that is over, not a whole period later.
    bool m_tickDeferred = false;
    tally::RecordKeeper m_record;
    std::optional<GivenQuestion> m_given;
    std::array<Seat, tally::kHistorySeats> m_seats;
    // The current publication's command file, and the pupil's lock of it.
    QByteArray m_commandBytes;
    QByteArray m_lockBytes;
    bool m_published = false;
    // The lesson is closing: the seats are no longer looked after.
    bool m_ending = false;
    // Each publication begins a round: the answer files start from 0 again.
    // Within a round the ticks' latest reading counts; readings taken as a
    // file is reset are rounds of their own (see AnswerHistory).
    int m_rounds = 0;
    int m_tickRound = 0;
    exchange::ShareRunner *m_runner = &exchange::ShareRunner::inPlace();
    QTimer m_seatCheck;
    std::unique_ptr<exchange::ChangeWatch> m_watch;
    FolderLock m_lock;

    // The file work of one seat, done by the runner.
    struct SeatWork;

    PublishReport publishOnce(const QList<int> &seats, int round);
    // Writes the seats' pairs as far as they are not written yet; the
    // failures go into report, the seats whose pair is not written whole
    // are returned.
    QList<int> publishSeats(const QList<int> &seats, PublishReport &report, int round);
    // Takes the reading of a seat's answer file that work made.
    void takeReading(int seat, const SeatWork &work);
    void storeReadings(const tally::SeatSet &seats, int round);
    // Reads every seat, records, and counts the seats that show the current
    // question when tally is set.
    void collectSeats(bool tally);
    SeatFile seatFile(const std::optional<QByteArray> &commandFile) const;
    // A seat found showing something else than the current publication;
    // false when it could not be written.
    bool republishSeat(int seat, SeatFile found);
    void collect();
    void runDeferredTick();
    int lastSeat() const { return std::min(m_studentsMax, tally::kHistorySeats - 1); }
    int newRound() { return ++m_rounds; }
};

} // namespace lesson
