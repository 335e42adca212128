#include "Lesson.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/NumberText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace lesson {
namespace {

constexpr int kLastCursor = 30; // "表示の消去" counts ad-hoc questions up to 31
constexpr unsigned long kRetryPauseMs = 50;
constexpr int kPollMs = 500;
// The running copy of the record is rewritten at most this often by ticks.
constexpr qint64 kRunningRecordPeriodMs = 1000;

struct AnswerSet
{
    double mode;
    std::array<QString, 5> labels;
};

// The eight answer sets of OptLVQ(0) to OptLVQ(7).
const std::array<AnswerSet, 8> &answerSets()
{
    static const std::array<AnswerSet, 8> sets{{
        {0, {}},
        {2, {u"○"_s, u"×"_s}},
        {2, {u"１"_s, u"２"_s}},
        {3, {u"１"_s, u"２"_s, u"３"_s}},
        {4, {u"１"_s, u"２"_s, u"３"_s, u"４"_s}},
        {5, {u"１"_s, u"２"_s, u"３"_s, u"４"_s, u"５"_s}},
        {2, {u"はい"_s, u"いいえ"_s}},
        {3, {u"はい"_s, u"いいえ"_s, u"どちらでもない"_s}},
    }};
    return sets;
}

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace

MainView::MainView()
{
    itemCaptions.fill(u"はい、いいえ"_s);
    for (tally::Bar &bar : graph) {
        bar.caption = u"100"_s;
        bar.height = tally::kFullScale;
        bar.top = tally::kBaseLine - tally::kFullScale;
    }
}

Lesson::Lesson(LessonPrompter &prompter) : m_prompter(prompter), m_document(prompter)
{
    // A questionnaire read anew, or begun anew, starts from its first
    // question, and its questions get columns of their own in the record.
    QObject::connect(&m_document, &questionnaire::QuestionnaireDocument::tableReplaced, [this] {
        ++m_questionnaireSerial;
        CurrentQuestion = 0;
        ShownRow = -1;
    });
    Timer1.setInterval(kPollMs);
    QObject::connect(&Timer1, &QTimer::timeout, [this] { Timer1_Timer(); });
}

// ---------------------------------------------------------------- start-up

void Lesson::Form_Load()
{
    const HandlerScope scope(*this);
    Timer1.stop();
    // A running copy at start-up was left by a lesson that never closed; the
    // teacher is told once where it is now.
    const tally::RecordKeeper::UnfinishedRecord unfinished = m_record.keepUnfinished();
    if (!unfinished.kept.isEmpty() || !unfinished.stuck.isEmpty())
        m_prompter.unfinishedRecordFound(unfinished.kept, unfinished.stuck);
    // An existing folder, or one that cannot be made, is not an error here:
    // the publication right after reports every file it cannot write.
    QDir().mkdir(exchange::kDataFolder.toString());
    LVQStudentsMax = exchange::kStudentsMax;
    LVQMode = exchange::kModePaused;
    ShownQuestion[1] = u"○"_s;
    ShownQuestion[2] = u"×"_s;
    PublishToSeats();
    CurrentQuestion = 0;
    setFrameCaption(u"問のアンケートの設定", CurrentQuestion + 1);
    OneAnswerOnly = View.oneAnswerChecked ? 1 : 0;
}

PublishReport Lesson::publishOnce(const QList<int> &seats)
{
    const QByteArray command = exchange::commandFileBytes(LVQMode, ShownQuestion, OneAnswerOnly);
    const QByteArray answer = exchange::answerFileBytes(0);

    // Writes one seat's pair, the command file first; the failures go into
    // report, and the result says whether both files were written.
    auto publishSeat = [&](int seat, PublishReport &report) {
        bool written = true;
        auto write = [&](const QString &path, const QByteArray &bytes) {
            ++report.totalFiles;
            const exchange::FileStatus status = FileWriter(path, bytes);
            if (status.ok)
                return;
            written = false;
            if (report.failedFiles == 0) {
                report.firstFailedPath = path;
                report.firstReason = status.error;
            }
            ++report.failedFiles;
        };
        LVQCommandFile = exchange::commandFilePath(seat);
        write(LVQCommandFile, command);
        LVQAnswerFile = exchange::answerFilePath(seat);
        // A seat that did not get the new question keeps its answer file,
        // counted as not written: the pupil still answers the old question.
        if (written) {
            write(LVQAnswerFile, answer);
        } else {
            ++report.totalFiles;
            ++report.failedFiles;
        }
        if (seat >= 0 && seat < tally::kHistorySeats)
            Tally.unreached[seat] = !written;
        return written;
    };

    QList<int> all;
    if (seats.isEmpty()) {
        for (int seat = 0; seat <= LVQStudentsMax; ++seat)
            all << seat;
    }
    const QList<int> &targets = seats.isEmpty() ? all : seats;

    PublishReport report;
    QList<int> missed;
    for (const int seat : targets) {
        if (!publishSeat(seat, report))
            missed << seat;
    }
    // A pupil's program or the file server can hold a file for an instant;
    // the seats that failed get one more try before the teacher is asked.
    if (!missed.isEmpty()) {
        QThread::msleep(kRetryPauseMs);
        PublishReport retry;
        for (const int seat : std::as_const(missed)) {
            if (!publishSeat(seat, retry))
                retry.failedSeats << seat;
        }
        retry.totalFiles = report.totalFiles;
        report = retry;
        LVQCommandFile = exchange::commandFilePath(LVQStudentsMax);
        LVQAnswerFile = exchange::answerFilePath(LVQStudentsMax);
    }
    // The answer files written now say 0, and an unreached seat counts as 0:
    // only answers given after this publication count.
    for (const int seat : targets) {
        if (seat >= 0 && seat < tally::kHistorySeats)
            Tally.seatAnswer[seat] = 0.0f;
    }
    return report;
}

void Lesson::PublishToSeats()
{
    const HandlerScope scope(*this);
    PublishReport report = publishOnce();
    // "再試行" writes only the seats that failed: the others already have this
    // publication, and their pupils may have answered since.
    while (report.failedFiles > 0) {
        const auto choice =
            m_prompter.publishFailed(nativePath(report.firstFailedPath), report.failedFiles,
                                     report.totalFiles, report.firstReason);
        if (choice == LessonPrompter::PublishChoice::Continue)
            break;
        const int total = report.totalFiles;
        report = publishOnce(report.failedSeats);
        report.totalFiles = total;
    }
    m_record.writeRunningCopies();
}

// ------------------------------------------------------ question navigation

double Lesson::rowMode(int row) const
{
    const double count = questionnaire::answerCount(m_document.QuestionTable[row]);
    // A row without answers shows its question with no buttons; ending the
    // pupils' programs is left to the explicit actions.
    return count == 0 ? exchange::kModePaused : count;
}

void Lesson::showRow(int row)
{
    LVQMode = rowMode(row);
    for (int field = 0; field < 6; ++field)
        ShownQuestion[field] = m_document.QuestionTable[row][field];
    View.enqeteText = ShownQuestion[0];
    ShownRow = row;
}

void Lesson::setFrameCaption(QStringView suffix, int number)
{
    View.frameCaption = u"第"_s + exchange::signPositionText(number) + suffix.toString();
    FrameNumber = number;
}

void Lesson::startCollecting(const tally::QuestionKey &key, int number)
{
    m_collecting = key;
    m_collectingNumber = number;
    m_collectingTexts = ShownQuestion;
    m_hasCollecting = true;
    Timer1.start(kPollMs);
}

void Lesson::cmdNext_Click()
{
    const HandlerScope scope(*this);
    OptLVQOff();
    setFrameCaption(u"問目のアンケート", CurrentQuestion + 1);
    showRow(CurrentQuestion);
    PublishToSeats();
    LayoutAnswerLabels();
    const int row = CurrentQuestion;
    CurrentQuestion = std::min(CurrentQuestion + 1, questionnaire::kTableRows - 1);
    startCollecting({m_questionnaireSerial, row, false}, row + 1);
}

void Lesson::cmdBack_Click()
{
    const HandlerScope scope(*this);
    Timer1.stop();
    OptLVQOff();
    CurrentQuestion = std::max(CurrentQuestion - 1, 0);
    setFrameCaption(u"問目のアンケート", CurrentQuestion + 1);
    showRow(CurrentQuestion);
    LayoutAnswerLabels();
}

void Lesson::cmdEnd_Click()
{
    const HandlerScope scope(*this);
    if (!m_prompter.confirmEndQuestionnaire())
        return;
    // Every answer file is about to be reset: a tick after this would write
    // those zeros over the answers to the last question.
    Timer1.stop();
    LVQMode = exchange::kModeEnd;
    PublishToSeats();
}

void Lesson::emptyGraphAndLabels()
{
    for (int i = 0; i < tally::kBars; ++i) {
        View.graph[i].caption.clear();
        View.graph[i].height = 0;
        View.graph[i].top = tally::kBaseLine;
        View.itemCaptions[i].clear();
        ShownQuestion[i].clear();
    }
}

void Lesson::OptLVQ_Click(int index)
{
    if (index < 0 || index >= static_cast<int>(answerSets().size()))
        return;
    View.optLvqSelected = index;
    emptyGraphAndLabels();
    ShownQuestion[5].clear();
    const AnswerSet &set = answerSets()[index];
    LVQMode = set.mode;
    for (int i = 0; i < 5; ++i)
        ShownQuestion[i + 1] = set.labels[i];
}

void Lesson::OptLVQOn()
{
    View.optLvqVisible = true;
    View.backVisible = false;
    View.nextVisible = false;
    View.endVisible = false;
}

void Lesson::OptLVQOff()
{
    View.optLvqVisible = false;
    View.backVisible = CurrentQuestion > 0;
    if (CurrentQuestion > m_document.LastQuestion)
        CurrentQuestion = m_document.LastQuestion;
    View.nextVisible = CurrentQuestion != m_document.LastQuestion;
    View.endVisible = true;
}

// ------------------------------------------------------- answering controls

void Lesson::Check1_Click(bool checked)
{
    View.oneAnswerChecked = checked;
    OneAnswerOnly = checked ? 1 : 0;
}

void Lesson::CmdPause_Click()
{
    const HandlerScope scope(*this);
    Timer1.stop();
    LVQMode = exchange::kModePaused;
    PublishToSeats();
}

void Lesson::CmdStart_Click()
{
    const HandlerScope scope(*this);
    if (m_document.LastQuestion == 0) {
        if (View.optLvqSelected >= 0)
            OptLVQSet = View.optLvqSelected;
        OptLVQ_Click(OptLVQSet);
        PublishToSeats();
        // The ad-hoc question on screen: collecting it again replaces its
        // answers until "表示の消去" moves on to the next one.
        startCollecting({m_questionnaireSerial, m_adHocSerial, true}, CurrentQuestion + 1);
    } else {
        // The question on screen, with its own answer count.
        const int row = ShownRow >= 0 ? ShownRow : CurrentQuestion;
        setFrameCaption(u"問目の集計", row + 1);
        LVQMode = rowMode(row);
        PublishToSeats();
        startCollecting({m_questionnaireSerial, row, false}, row + 1);
    }
    LayoutAnswerLabels();
}

void Lesson::CmdLVQClear_Click()
{
    const HandlerScope scope(*this);
    Timer1.stop();
    emptyGraphAndLabels();
    LVQMode = exchange::kModePaused;
    PublishToSeats();
    View.enqeteText.clear();
    if (m_document.LastQuestion == 0) {
        CurrentQuestion = std::min(CurrentQuestion + 1, kLastCursor);
        // Counted on past the 31 the caption stops at, so that no ad-hoc
        // question's answers ever replace another's.
        ++m_adHocSerial;
    }
    setFrameCaption(u"問のアンケートの設定", CurrentQuestion + 1);
}

// -------------------------------------------------------- tally and display

void Lesson::Timer1_Timer()
{
    // The one place that keeps ticks out of handlers: a handler may be
    // waiting in a message box's event loop, with its state half changed.
    if (inHandler())
        return;
    collect();
}

void Lesson::collect()
{
    CollectAnswers();
    m_record.writeRunningCopies(kRunningRecordPeriodMs);
    if (onCollected)
        onCollected();
}

bool Lesson::collectNow()
{
    if (!Timer1.isActive() || inHandler())
        return false;
    Timer1_Timer();
    return true;
}

void Lesson::CollectAnswers()
{
    tally::collectAnswers(Tally, LVQStudentsMax);
    LVQAnswerFile = exchange::answerFilePath(LVQStudentsMax);
    LVQSum = Tally.lvqSum;
    if (m_hasCollecting)
        m_record.store(m_collecting, m_collectingNumber, m_collectingTexts, Tally.seatAnswer);
    if (View.displayIndex == 0)
        ShowCountGraph();
    else
        ShowPercentGraph();
}

void Lesson::LayoutAnswerLabels()
{
    const tally::LabelLayout layout = tally::layoutAnswerLabels(LVQMode, ShownQuestion);
    View.itemPointSize = layout.pointSize;
    if (layout.captions)
        View.itemCaptions = *layout.captions;
}

void Lesson::ShowCountGraph()
{
    tally::showCountGraph(LVQMode, Tally.answerCount, View.graph);
}

void Lesson::ShowPercentGraph()
{
    tally::showPercentGraph(LVQMode, Tally.answerCount, LVQSum, View.graph, LVQPercent);
}

void Lesson::OptDisplay_Click(int index)
{
    View.displayIndex = index == 0 ? 0 : 1;
    LayoutAnswerLabels();
    if (index == 0)
        ShowCountGraph();
    else
        ShowPercentGraph();
}

void Lesson::mnuDisplayNumber_Click()
{
    OptDisplay_Click(0);
}

void Lesson::mnuDisplayPercent_Click()
{
    OptDisplay_Click(1);
}

// --------------------------------------------------- questionnaire documents

void Lesson::mnuFileOpen_Click()
{
    m_document.SaveMode = false;
    OptLVQOff();
    View.nextVisible = true;
}

void Lesson::mnuNew_Click()
{
    const HandlerScope scope(*this);
    m_document.startNew();
    LVQSum = 0;
    CmdLVQClear_Click();
    OptLVQOn();
}

// ------------------------------------------------------------------ closing

QString Lesson::Form_Unload()
{
    const HandlerScope scope(*this);
    // An answer given since the last tick still belongs to the question.
    if (Timer1.isActive())
        collect();
    Timer1.stop();
    LVQMode = exchange::kModeEnd;
    PublishToSeats();

    QString recordPath;
    bool endWithout = false;
    using LessonFile = tally::RecordKeeper::LessonFile;
    for (const LessonFile lessonFile : tally::RecordKeeper::kLessonFiles) {
        QString path = tally::RecordKeeper::fileName(lessonFile);
        LVQAnswerFile = path;
        for (;;) {
            const exchange::FileStatus status = m_record.save(lessonFile, path);
            if (status.ok) {
                if (lessonFile == LessonFile::Record)
                    recordPath = path;
                break;
            }
            // Once the teacher has chosen to end without the record, the
            // results are tried once and not asked about again. A running
            // copy that stays is kept by the next start, which says where.
            if (endWithout)
                break;
            const auto choice = m_prompter.recordFailed(nativePath(path), status.error);
            if (choice == LessonPrompter::RecordChoice::SaveElsewhere) {
                const QString other = m_prompter.chooseRecordPath(nativePath(path));
                if (!other.isEmpty())
                    path = other;
            } else if (choice == LessonPrompter::RecordChoice::EndWithout &&
                       m_prompter.confirmEndWithoutRecord()) {
                endWithout = true;
                break;
            }
        }
    }
    return recordPath;
}

} // namespace lesson
