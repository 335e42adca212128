#include "LessonSession.h"

#include "exchange/NumberText.h"

#include <QDir>
#include <QScopeGuard>
#include <QThread>

namespace lesson {
namespace {

constexpr unsigned long kRetryPauseMs = 50;
constexpr int kPollMs = 500;
// The running copies are rewritten at most this often by ticks.
constexpr qint64 kRunningCopyPeriodMs = 1000;

} // namespace

bool opensAnswering(double mode)
{
    return mode >= 1 && mode <= tally::kBars && exchange::isWholeNumber(mode);
}

LessonSession::LessonSession(LessonPrompter &prompter) : m_prompter(prompter)
{
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(kPollMs);
    connect(&Timer1, &QTimer::timeout, this, &LessonSession::Timer1_Timer);
}

LessonSession::~LessonSession() = default;

bool LessonSession::open()
{
    const HandlerScope scope(*this);
    Timer1.stop();
    FolderLock::Holder holder;
    switch (m_lock.take(holder)) {
    case FolderLock::Result::Taken:
        break;
    case FolderLock::Result::HeldHere:
        m_prompter.folderInUse(holder.host);
        return false;
    case FolderLock::Result::HeldElsewhere:
        if (!m_prompter.takeOverFolder(holder.host, holder.since))
            return false;
        if (m_lock.takeOver(holder))
            break;
        [[fallthrough]];
    case FolderLock::Result::Failed:
        m_prompter.folderLockFailed(exchange::nativePath(FolderLock::fileName()), holder.error);
        return false;
    }
    const tally::RecordKeeper::UnfinishedRecord unfinished = m_record.keepUnfinished();
    if (!unfinished.kept.isEmpty() || !unfinished.stuck.isEmpty())
        m_prompter.unfinishedRecordFound(unfinished.kept, unfinished.stuck);
    // An existing folder, or one that cannot be made, is not an error here:
    // the publication right after reports every file it cannot write.
    QDir().mkdir(exchange::kDataFolder.toString());
    return true;
}

PublishReport LessonSession::publishOnce(const Publication &publication, const QList<int> &seats,
                                         Readings *readings)
{
    const QByteArray command =
        exchange::commandFileBytes(publication.mode, publication.shown, publication.oneAnswerOnly);
    const QByteArray answer = exchange::answerFileBytes(0);

    // Writes one seat's pair, the command file first; the failures go into
    // report, and the result says whether both files were written. An answer
    // the seat gave to the question it had is read into readings in the last
    // instant before its file is reset; a seat the last publication did not
    // reach still answers an older question and is not read.
    auto publishSeat = [&](int seat, PublishReport &report, Readings *readings) {
        bool written = true;
        auto write = [&](const QString &path, const QByteArray &bytes) {
            ++report.totalFiles;
            const exchange::FileStatus status = fileWriter(path, bytes);
            if (status.ok)
                return;
            written = false;
            if (report.failedFiles == 0) {
                report.firstFailedPath = path;
                report.firstReason = status.error;
            }
            ++report.failedFiles;
        };
        write(exchange::commandFilePath(seat), command);
        const bool reached = written;
        if (readings)
            tally::readSeat(*readings, lastTally.unreached, seat);
        // A seat that did not get the new question keeps its answer file,
        // counted as not written: the pupil still answers the old question.
        if (reached) {
            write(exchange::answerFilePath(seat), answer);
        } else {
            ++report.totalFiles;
            ++report.failedFiles;
        }
        // Only a seat without the new question is unreached: one whose
        // answer file could not be reset shows the new question and answers
        // it.
        lastTally.unreached[seat] = !reached;
        return written;
    };

    QList<int> all;
    if (seats.isEmpty()) {
        for (int seat = 0; seat <= lastSeat(); ++seat)
            all << seat;
    }
    const QList<int> &targets = seats.isEmpty() ? all : seats;

    PublishReport report;
    QList<int> missed;
    for (const int seat : targets) {
        if (!publishSeat(seat, report, readings))
            missed << seat;
    }
    // A pupil's program or the file server can hold a file for an instant;
    // the seats that failed get one more try before the teacher is asked.
    if (!missed.isEmpty()) {
        QThread::msleep(kRetryPauseMs);
        PublishReport retry;
        for (const int seat : std::as_const(missed)) {
            if (!publishSeat(seat, retry, nullptr))
                retry.failedSeats << seat;
        }
        retry.totalFiles = report.totalFiles;
        report = retry;
    }
    // The answer files written now say 0, and an unreached seat counts as 0:
    // only answers given after this publication count.
    for (const int seat : targets)
        lastTally.seatAnswer[seat] = 0.0f;
    return report;
}

void LessonSession::PublishToSeats(const Publication &publication,
                                   const std::optional<GivenQuestion> &given)
{
    const HandlerScope scope(*this);
    // The answers to the question the seats had are collected on the way,
    // each seat's just before its file is reset: an answer given in the last
    // instant is kept. A seat whose file gives nothing keeps what was read
    // there last. These readings are a round of their own: they add or
    // change answers but never take one away, for a pupil's program that
    // sees the new question may just then take back a click it wrote (0),
    // and the answer before that click still stands.
    Readings readings = lastTally.seatAnswer;
    PublishReport report = publishOnce(publication, {}, m_given ? &readings : nullptr);
    if (m_given)
        m_record.store(m_given->key, m_given->number, m_given->texts, readings, ++m_round,
                       m_given->facts);
    // The seats now answer the question given, if this publication opens
    // answering at all: one that closes it or ends the seats' programs
    // (modes 100 and 0) never opens, changes or adds a column.
    m_given = opensAnswering(publication.mode) ? given : std::nullopt;
    ++m_round;
    // "再試行" writes only the seats that failed: the others already have this
    // publication, and their pupils may have answered since.
    while (report.failedFiles > 0) {
        const auto choice =
            m_prompter.publishFailed(exchange::nativePath(report.firstFailedPath),
                                     report.failedFiles, report.totalFiles, report.firstReason);
        if (choice == LessonPrompter::PublishChoice::Continue)
            break;
        const int total = report.totalFiles;
        report = publishOnce(publication, report.failedSeats);
        report.totalFiles = total;
    }
    m_record.writeRunningCopies();
}

void LessonSession::startAnswering()
{
    Timer1.start(kPollMs);
}

void LessonSession::stopAnswering()
{
    Timer1.stop();
}

void LessonSession::recordAnswersGiven()
{
    if (!m_given)
        return;
    Readings readings = lastTally.seatAnswer;
    for (int seat = 0; seat <= lastSeat(); ++seat)
        tally::readSeat(readings, lastTally.unreached, seat);
    m_record.store(m_given->key, m_given->number, m_given->texts, readings, ++m_round,
                       m_given->facts);
    m_record.writeRunningCopies();
}

void LessonSession::Timer1_Timer()
{
    // The one place that keeps ticks out of handlers: a handler may be
    // waiting in a message box's event loop, with its state half changed.
    if (inHandler())
        return;
    collect();
}

bool LessonSession::collectNow()
{
    if (!Timer1.isActive() || inHandler())
        return false;
    Timer1_Timer();
    return true;
}

void LessonSession::collect()
{
    CollectAnswers();
    m_record.writeRunningCopies(kRunningCopyPeriodMs);
    emit changed();
}

void LessonSession::CollectAnswers()
{
    tally::collectAnswers(lastTally, lastSeat());
    if (m_given)
        m_record.store(m_given->key, m_given->number, m_given->texts, lastTally.seatAnswer,
                       m_round, m_given->facts);
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
    exchange::FileStatus status = m_record.saveLessonFiles(failed);
    while (!status) {
        const QString path = exchange::nativePath(m_record.lessonFilePath(failed));
        const auto choice = m_prompter.recordFailed(path, status.error, state());
        if (choice == LessonPrompter::RecordChoice::SaveElsewhere) {
            // The place chosen is the failed file's; the other one goes
            // beside it, so that the pair stays together.
            const QString chosen = m_prompter.chooseRecordPath(path);
            if (!chosen.isEmpty()) {
                status = m_record.chooseLessonFilePath(failed, chosen);
                if (!status)
                    continue;
            }
        } else if (choice == LessonPrompter::RecordChoice::EndWithout) {
            // Neither file stays without the other. The running copies stay:
            // the next start keeps them under their time and says where.
            const QStringList left = m_record.takeBackLessonFiles();
            RecordState ending = state();
            ending.written = left; // with the reasons
            if (m_prompter.confirmEndWithoutRecord(ending))
                return {};
        }
        status = m_record.saveLessonFiles(failed);
    }
    return m_record.lessonFilePath(LessonFile::Record);
}

} // namespace lesson
