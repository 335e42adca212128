#include "LessonSession.h"

#include "exchange/Cp932.h"
#include "exchange/FieldReader.h"
#include "exchange/NumberText.h"

#include <QDir>
#include <QScopeGuard>
#include <QThread>

namespace lesson {
namespace {

constexpr unsigned long kRetryPauseMs = 50;
// The running copies are rewritten at most about once a second by ticks
// and looks: a timer a little early still finds the gap past.
constexpr qint64 kRunningCopyPeriodMs = 800;
// Seats are looked after this often.
constexpr int kSeatCheckMs = 1000;
// Looks without writing, at most, after writes failed.
constexpr int kMaxWriteBackoff = 32;

// Runs work(i) for every i of items through runner, all at once.
template <typename Items, typename Work>
void runEach(exchange::ShareRunner &runner, Items &items, Work work)
{
    std::vector<std::function<void()>> jobs;
    jobs.reserve(items.size());
    for (auto &item : items)
        jobs.emplace_back([&item, &work] { work(item); });
    runner.runAll(jobs);
}

} // namespace

// What the runner does for one seat, and what it found. Each job reads and
// writes only its own seat's files and its own SeatWork.
struct LessonSession::SeatWork
{
    int seat = 0;
    // --- given
    bool writeCommand = false;
    bool readCommand = false;
    // The answer file could not be reset and held this.
    std::optional<tally::AnswerStamp> stale;
    float reading = 0;
    // --- found
    std::optional<exchange::FileStatus> command;
    std::optional<exchange::FileStatus> reset;
    // The answer read, when the answer file was read: it is the stale one
    // still, or it gave a value (reading when it gave no field).
    bool read = false;
    float value = 0;
    std::optional<tally::AnswerStamp> staleAfter;
    std::optional<QByteArray> commandFile;

    // Reads the answer file unless it still holds what could not be reset.
    void readAnswer()
    {
        if (stale && tally::answerStamp(seat) == *stale)
            return;
        std::array<float, tally::kHistorySeats> values{};
        values[seat] = reading;
        tally::readSeat(values, seat);
        read = true;
        value = values[seat];
    }
};

bool opensAnswering(double mode)
{
    return mode >= 1 && mode <= tally::kBars && exchange::isWholeNumber(mode);
}

LessonSession::LessonSession(LessonPrompter &prompter) : m_prompter(prompter)
{
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(kPollMs);
    connect(&Timer1, &QTimer::timeout, this, [this] {
        emit tickDue();
        Timer1_Timer();
    });
    m_seatCheck.setInterval(kSeatCheckMs);
    connect(&m_seatCheck, &QTimer::timeout, this, &LessonSession::checkSeats);
}

LessonSession::~LessonSession() = default;

void LessonSession::setShareRunner(exchange::ShareRunner &runner)
{
    m_runner = &runner;
}

bool LessonSession::open()
{
    const HandlerScope scope(*this);
    Timer1.stop();
    FolderLock::Holder holder;
    switch (m_runner->run([&] { return m_lock.take(holder); })) {
    case FolderLock::Result::Taken:
        break;
    case FolderLock::Result::HeldHere:
        m_prompter.folderInUse(holder.host);
        return false;
    case FolderLock::Result::HeldElsewhere:
        if (!m_prompter.takeOverFolder(holder.host, holder.since))
            return false;
        if (m_runner->run([&] { return m_lock.takeOver(holder); }))
            break;
        [[fallthrough]];
    case FolderLock::Result::Failed:
        m_prompter.folderLockFailed(exchange::nativePath(FolderLock::fileName()), holder.error);
        return false;
    }
    const tally::RecordKeeper::UnfinishedRecord unfinished =
        m_runner->run([this] { return m_record.keepUnfinished(); });
    if (!unfinished.kept.isEmpty() || !unfinished.stuck.isEmpty())
        m_prompter.unfinishedRecordFound(unfinished.kept, unfinished.stuck);
    // An existing folder, or one that cannot be made, is not an error here:
    // the publication right after reports every file it cannot write.
    m_runner->run([] { QDir().mkdir(exchange::kDataFolder.toString()); });
    return true;
}

PublishReport LessonSession::publishOnce(const QList<int> &seats, int round)
{
    QList<int> all;
    if (seats.isEmpty()) {
        for (int seat = 0; seat <= lastSeat(); ++seat)
            all << seat;
    }
    const QList<int> &targets = seats.isEmpty() ? all : seats;

    PublishReport report;
    const QList<int> missed = publishSeats(targets, report, round);
    // A pupil's program or the file server can hold a file for an instant;
    // the seats that failed get one more try before the teacher is asked.
    if (!missed.isEmpty()) {
        m_runner->run([] { QThread::msleep(kRetryPauseMs); });
        PublishReport retry;
        retry.failedSeats = publishSeats(missed, retry, round);
        retry.totalFiles = report.totalFiles;
        report = retry;
    }
    // Only answers given after this publication count: the answer files
    // written now say 0, and a seat without the new question counts as 0.
    for (const int seat : targets)
        m_lastTally.seatAnswer[seat] = 0.0f;
    return report;
}

// Writes each seat's pair as far as it is not written yet, the command file
// first, all seats at once. The answer a seat gave to the question it had is
// read into that question's column in the last instant before its file is
// reset.
QList<int> LessonSession::publishSeats(const QList<int> &seats, PublishReport &report, int round)
{
    std::vector<SeatWork> work;
    for (const int seat : seats) {
        const Seat &s = m_seats[seat];
        if (s.answerReset)
            continue;
        SeatWork w;
        w.seat = seat;
        w.writeCommand = !s.commandWritten;
        w.stale = s.stale;
        w.reading = s.reading;
        work.push_back(std::move(w));
    }
    const QByteArray command = m_commandBytes;
    std::unique_ptr<exchange::HeldFolder> folder;
    if (!m_fileWriter && !work.empty()) {
        folder = m_runner->run(
            [] { return std::make_unique<exchange::HeldFolder>(exchange::commandFilePath(0)); });
    }
    const auto writer = [this, &folder](const QString &path, const QByteArray &bytes) {
        return folder ? folder->writeWholeFile(path, bytes) : m_fileWriter(path, bytes);
    };
    runEach(*m_runner, work, [&command, &writer](SeatWork &w) {
        if (w.writeCommand) {
            w.command = writer(exchange::commandFilePath(w.seat), command);
            if (!w.command->ok)
                return;
        }
        w.readAnswer();
        w.reset = writer(exchange::answerFilePath(w.seat), exchange::answerFileBytes(0));
        if (!w.reset->ok)
            w.staleAfter = tally::answerStamp(w.seat);
    });

    auto note = [&report](const QString &path, const exchange::FileStatus &status) {
        ++report.totalFiles;
        if (status.ok)
            return;
        if (report.failedFiles == 0) {
            report.firstFailedPath = path;
            report.firstReason = status.error;
        }
        ++report.failedFiles;
    };
    QList<int> missed;
    tally::SeatSet one{};
    for (const SeatWork &w : work) {
        Seat &s = m_seats[w.seat];
        one.fill(false);
        one[w.seat] = true;
        if (w.writeCommand) {
            note(exchange::commandFilePath(w.seat), *w.command);
            if (!w.command->ok) {
                // The seat keeps the question it had and goes on answering
                // it; its answer file is left alone, counted as not written.
                ++report.totalFiles;
                ++report.failedFiles;
                missed << w.seat;
                continue;
            }
            s.commandWritten = true;
            takeReading(w.seat, w);
            if (w.read)
                storeReadings(one, round);
            s.before = s.question;
            s.question = m_given;
        } else {
            // Another try at the reset: what the pupil answered to the new
            // question since is kept first.
            takeReading(w.seat, w);
            if (w.read)
                storeReadings(one, round);
        }
        note(exchange::answerFilePath(w.seat), *w.reset);
        if (!w.reset->ok) {
            s.stale = w.staleAfter;
            missed << w.seat;
            continue;
        }
        s.answerReset = true;
        s.reading = 0.0f;
        s.stale.reset();
        s.suspect = false;
    }
    return missed;
}

void LessonSession::takeReading(int seat, const SeatWork &work)
{
    if (!work.read)
        return;
    Seat &s = m_seats[seat];
    s.stale.reset();
    s.reading = work.value;
}

void LessonSession::storeReadings(const tally::SeatSet &seats, int round)
{
    std::array<float, tally::kHistorySeats> readings{};
    for (int seat = 0; seat <= lastSeat(); ++seat)
        readings[seat] = m_seats[seat].reading;
    // Seats are stored by question, one column at a time.
    tally::SeatSet done{};
    for (int seat = 0; seat <= lastSeat(); ++seat) {
        const std::optional<GivenQuestion> &question = m_seats[seat].question;
        if (!seats[seat] || done[seat] || !question || m_seats[seat].stale)
            continue;
        tally::SeatSet same{};
        for (int other = seat; other <= lastSeat(); ++other) {
            const Seat &o = m_seats[other];
            if (seats[other] && !done[other] && o.question && !o.stale &&
                o.question->sameQuestion(*question))
                same[other] = done[other] = true;
        }
        m_record.store(*question, readings, round, &same);
    }
}

void LessonSession::PublishToSeats(const Publication &publication,
                                   const std::optional<GivenQuestion> &given)
{
    const HandlerScope scope(*this);
    m_commandBytes =
        exchange::commandFileBytes(publication.mode, publication.shown, publication.oneAnswerOnly);
    // The pupil's program locks its seat with the question text as it read
    // it from this file.
    m_lockBytes = exchange::shortCommandFileBytes(
        exchange::commandFields(m_commandBytes)[1].value_or(QString()));
    m_published = true;
    // The seats now answer the question given, if this publication opens
    // answering at all: one that closes it or ends the seats' programs
    // (modes 100 and 0) never opens, changes or adds a column.
    m_given = opensAnswering(publication.mode) ? given : std::nullopt;
    for (Seat &s : m_seats) {
        s.commandWritten = false;
        s.answerReset = false;
    }
    // The answers read as each file is reset are a round of their own: they
    // add or change answers but never take one away, for a pupil's program
    // that sees the new question may just then take back a click it wrote
    // (0), and the answer before that click still stands.
    PublishReport report = publishOnce({}, newRound());
    m_tickRound = newRound();
    // "再試行" writes only the seats that failed: the others already have this
    // publication, and their pupils may have answered since.
    while (report.failedFiles > 0) {
        const auto choice =
            m_prompter.publishFailed(exchange::nativePath(report.firstFailedPath),
                                     report.failedFiles, report.totalFiles, report.firstReason);
        if (choice == LessonPrompter::PublishChoice::Continue)
            break;
        const int total = report.totalFiles;
        report = publishOnce(report.failedSeats, newRound());
        report.totalFiles = total;
    }
    m_runner->run([this] { m_record.writeRunningCopies(); });
    if (!m_ending && !m_seatCheck.isActive())
        m_seatCheck.start();
}

void LessonSession::startAnswering(int periodMs)
{
    Timer1.start(periodMs);
}

void LessonSession::stopAnswering()
{
    Timer1.stop();
}

void LessonSession::recordAnswersGiven()
{
    collectSeats(false);
    m_runner->run([this] { m_record.writeRunningCopies(); });
}

void LessonSession::Timer1_Timer()
{
    // The one place that keeps ticks out of handlers and out of each other:
    // a handler may be waiting in a message box's event loop, or a tick for
    // the share, with its state half changed.
    if (inHandler()) {
        m_tickDeferred = true;
        return;
    }
    m_tickDeferred = false;
    const HandlerScope scope(*this);
    collect();
}

void LessonSession::runDeferredTick()
{
    if (!m_tickDeferred)
        return;
    // From the event loop, once whoever ended the scope has finished.
    QTimer::singleShot(0, this, [this] {
        if (m_tickDeferred && !inHandler() && Timer1.isActive())
            Timer1_Timer();
    });
}

bool LessonSession::collectNow()
{
    if (!Timer1.isActive())
        return false;
    if (inHandler()) {
        m_tickDeferred = true;
        return false;
    }
    Timer1_Timer();
    return true;
}

void LessonSession::collect()
{
    CollectAnswers();
    m_runner->run([this] { m_record.writeRunningCopies(kRunningCopyPeriodMs); });
    emit changed();
}

void LessonSession::CollectAnswers()
{
    collectSeats(true);
}

void LessonSession::collectSeats(bool countTally)
{
    std::vector<SeatWork> work;
    for (int seat = 0; seat <= lastSeat(); ++seat) {
        const Seat &s = m_seats[seat];
        // Between ticks only what goes to the record is read.
        if (!countTally && !s.question)
            continue;
        SeatWork w;
        w.seat = seat;
        w.stale = s.stale;
        w.reading = s.reading;
        w.readCommand = s.commandWritten;
        work.push_back(std::move(w));
    }
    runEach(*m_runner, work, [](SeatWork &w) {
        w.readAnswer();
        // A new answer from a seat that should show the current question is
        // checked first: a pupil's program that locked its seat on the
        // question before, as this publication arrived, answered that one.
        if (w.read && w.readCommand && w.value != w.reading && tally::isAnswerValue(w.value)) {
            w.commandFile = exchange::readFileHead(exchange::commandFilePath(w.seat),
                                                   exchange::kCommandFileReadLimit);
        }
    });
    tally::SeatSet all{};
    QList<int> lockedBefore;
    for (const SeatWork &w : work) {
        takeReading(w.seat, w);
        all[w.seat] = w.read;
        if (w.read && w.commandFile && seatFile(w.commandFile) == SeatFile::LockOfOther) {
            all[w.seat] = false;
            lockedBefore << w.seat;
        }
    }
    storeReadings(all, m_tickRound);
    for (const int seat : std::as_const(lockedBefore))
        republishSeat(seat, SeatFile::LockOfOther);
    if (!countTally)
        return;
    for (int seat = 0; seat <= lastSeat(); ++seat) {
        const Seat &s = m_seats[seat];
        m_lastTally.seatAnswer[seat] = s.commandWritten && !s.stale ? s.reading : 0.0f;
    }
    tally::countAnswers(m_lastTally, lastSeat());
}

LessonSession::SeatFile LessonSession::seatFile(const std::optional<QByteArray> &bytes) const
{
    if (bytes && (*bytes == m_commandBytes || *bytes == m_lockBytes))
        return SeatFile::Current;
    // A whole lock of another question.
    if (bytes && exchange::shortFormQuestion(*bytes))
        return SeatFile::LockOfOther;
    return SeatFile::Other;
}

bool LessonSession::republishSeat(int seat, SeatFile found)
{
    Seat &s = m_seats[seat];
    // The pupil locked the question before and answered it: its answer goes
    // there as the seat gets the current publication.
    if (found == SeatFile::LockOfOther && s.commandWritten)
        s.question = s.before;
    s.commandWritten = false;
    s.answerReset = false;
    m_lastTally.seatAnswer[seat] = 0.0f;
    PublishReport ignored;
    return publishSeats({seat}, ignored, newRound()).isEmpty();
}

void LessonSession::checkSeats()
{
    if (inHandler() || !m_published)
        return;
    const HandlerScope scope(*this);
    if (!Timer1.isActive()) {
        collectSeats(false);
        m_runner->run([this] { m_record.writeRunningCopies(kRunningCopyPeriodMs); });
    }
    // The command files of the seats the publication reached, read at once.
    std::vector<SeatWork> looks;
    for (int seat = 0; seat <= lastSeat(); ++seat) {
        if (m_seats[seat].writePause == 0 && m_seats[seat].commandWritten) {
            SeatWork w;
            w.seat = seat;
            looks.push_back(std::move(w));
        }
    }
    runEach(*m_runner, looks, [](SeatWork &w) {
        w.commandFile = exchange::readFileHead(exchange::commandFilePath(w.seat),
                                               exchange::kCommandFileReadLimit);
    });
    std::array<std::optional<QByteArray>, tally::kHistorySeats> found;
    for (SeatWork &w : looks)
        found[w.seat] = std::move(w.commandFile);
    // A share that refuses writes may take seconds to say so: one failure
    // ends a look's writing, and a seat whose write failed is left alone for
    // the next 1, 2, 4 … up to 32 looks, so that the other seats get theirs.
    for (int seat = 0; seat <= lastSeat(); ++seat) {
        Seat &s = m_seats[seat];
        if (s.writePause > 0) {
            --s.writePause;
            continue;
        }
        bool written = true;
        if (!s.commandWritten) {
            // Not reached by the publication: tried again, without asking.
            written = republishSeat(seat, SeatFile::Other);
        } else {
            const SeatFile file = seatFile(found[seat]);
            // A file caught while somebody rewrites it reads short: only one
            // that looks wrong twice in a row is published to again.
            if (file == SeatFile::LockOfOther || (file == SeatFile::Other && s.suspect))
                written = republishSeat(seat, file);
            else
                s.suspect = file == SeatFile::Other;
        }
        if (!written) {
            s.writeBackoff = std::min(std::max(1, s.writeBackoff * 2), kMaxWriteBackoff);
            s.writePause = s.writeBackoff;
            return;
        }
        s.writeBackoff = 0;
    }
}

bool LessonSession::startAnswerWatch(int settleMs, int minGapMs)
{
    m_watch = std::make_unique<exchange::ChangeWatch>(settleMs, minGapMs);
    connect(m_watch.get(), &exchange::ChangeWatch::changed, this, &LessonSession::collectNow);
    QStringList files;
    for (int seat = 0; seat <= lastSeat(); ++seat)
        files << exchange::answerFilePath(seat);
    return m_watch->watch(files);
}

void LessonSession::stopAnswerWatch()
{
    m_ending = true;
    m_seatCheck.stop();
    if (m_watch)
        m_watch->watch({});
}

QString LessonSession::close(const Publication &end)
{
    const HandlerScope scope(*this);
    // The folder is the lesson's until its files are written or dropped.
    const auto releaseFolder = qScopeGuard([this] { m_lock.release(); });
    stopAnswerWatch();
    Timer1.stop();
    // The end's publication collects what the seats gave to their last
    // question up to the instant each is reset.
    PublishToSeats(end);
    // A seat the end could not reach still showed its question while the
    // teacher was asked: what it answered meanwhile is read now.
    collectSeats(false);
    // A lesson that collected nothing leaves the files as they are.
    if (m_record.isEmpty())
        return {};

    // Kiroku.csv and Kekka.csv are written as a pair, both or neither (see
    // RecordKeeper); every message says which files are written, which are
    // not, and where the answers are kept.
    using LessonFile = tally::RecordKeeper::LessonFile;
    auto state = [this] {
        return RecordState{m_record.writtenLessonFiles(), m_record.unwrittenLessonFiles(),
                           m_record.currentRunningCopies()};
    };
    LessonFile failed = LessonFile::Record;
    auto save = [this, &failed] {
        return m_runner->run([this, &failed] { return m_record.saveLessonFiles(failed); });
    };
    exchange::FileStatus status = save();
    while (!status) {
        const QString path = exchange::nativePath(m_record.lessonFilePath(failed));
        const auto choice = m_prompter.recordFailed(path, status.error, state());
        if (choice == LessonPrompter::RecordChoice::SaveElsewhere) {
            // The place chosen is the failed file's; the other one goes
            // beside it, so that the pair stays together.
            const QString chosen = m_prompter.chooseRecordPath(path);
            if (!chosen.isEmpty()) {
                status =
                    m_runner->run([&] { return m_record.chooseLessonFilePath(failed, chosen); });
                if (!status)
                    continue;
            }
        } else if (choice == LessonPrompter::RecordChoice::EndWithout) {
            // Neither file stays without the other. The running copies stay:
            // the next start keeps them under their time and says where.
            const QStringList left =
                m_runner->run([this] { return m_record.takeBackLessonFiles(); });
            RecordState ending = state();
            ending.written = left; // with the reasons
            if (m_prompter.confirmEndWithoutRecord(ending))
                return {};
        }
        status = save();
    }
    return m_record.lessonFilePath(LessonFile::Record);
}

} // namespace lesson
