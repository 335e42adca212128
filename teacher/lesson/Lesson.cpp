#include "Lesson.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/NumberText.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace lesson {
namespace {

constexpr int kLastCursor = 30; // "表示の消去" counts ad-hoc questions up to 31
constexpr unsigned long kRetryPauseMs = 50;

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

Lesson::Lesson(LessonPrompter &prompter) : m_prompter(prompter) {}

// ---------------------------------------------------------------- start-up

void Lesson::Form_Load()
{
    View.timerEnabled = false;
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

PublishReport Lesson::publishOnce()
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
        write(LVQAnswerFile, answer);
        return written;
    };

    PublishReport report;
    QList<int> missed;
    for (int seat = 0; seat <= LVQStudentsMax; ++seat) {
        if (!publishSeat(seat, report))
            missed << seat;
    }
    // A pupil's program or the file server can hold a file for an instant;
    // the seats that failed get one more try before the teacher is asked.
    if (!missed.isEmpty()) {
        QThread::msleep(kRetryPauseMs);
        PublishReport retry;
        for (const int seat : std::as_const(missed))
            publishSeat(seat, retry);
        retry.totalFiles = report.totalFiles;
        report = retry;
        LVQCommandFile = exchange::commandFilePath(LVQStudentsMax);
        LVQAnswerFile = exchange::answerFilePath(LVQStudentsMax);
    }
    // Every answer file now says 0: only answers given after this count.
    tally::resetSeatAnswers(Tally);
    return report;
}

void Lesson::PublishToSeats()
{
    for (;;) {
        const PublishReport report = publishOnce();
        if (report.failedFiles == 0)
            return;
        const auto choice =
            m_prompter.publishFailed(nativePath(report.firstFailedPath), report.failedFiles,
                                     report.totalFiles, report.firstReason);
        if (choice == LessonPrompter::PublishChoice::Continue)
            return;
    }
}

// ------------------------------------------------------ question navigation

double Lesson::rowMode(int row) const
{
    const double count = questionnaire::answerCount(QuestionTable[row]);
    // A row without answers shows its question with no buttons; ending the
    // pupils' programs is left to the explicit actions.
    return count == 0 ? exchange::kModePaused : count;
}

void Lesson::showRow(int row)
{
    LVQMode = rowMode(row);
    for (int field = 0; field < 6; ++field)
        ShownQuestion[field] = QuestionTable[row][field];
    View.enqeteText = ShownQuestion[0];
    ShownRow = row;
}

void Lesson::setFrameCaption(QStringView suffix, int number)
{
    View.frameCaption = u"第"_s + exchange::signPositionText(number) + suffix.toString();
    FrameNumber = number;
}

void Lesson::startTimer()
{
    View.timerEnabled = true;
}

void Lesson::cmdNext_Click()
{
    OptLVQOff();
    setFrameCaption(u"問目のアンケート", CurrentQuestion + 1);
    showRow(CurrentQuestion);
    PublishToSeats();
    LayoutAnswerLabels();
    CurrentQuestion = std::min(CurrentQuestion + 1, questionnaire::kTableRows - 1);
    startTimer();
}

void Lesson::cmdBack_Click()
{
    View.timerEnabled = false;
    OptLVQOff();
    CurrentQuestion = std::max(CurrentQuestion - 1, 0);
    setFrameCaption(u"問目のアンケート", CurrentQuestion + 1);
    showRow(CurrentQuestion);
    LayoutAnswerLabels();
}

void Lesson::cmdEnd_Click()
{
    if (!m_prompter.confirmEndQuestionnaire())
        return;
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
    if (CurrentQuestion > LastQuestion)
        CurrentQuestion = LastQuestion;
    View.nextVisible = CurrentQuestion != LastQuestion;
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
    View.timerEnabled = false;
    LVQMode = exchange::kModePaused;
    PublishToSeats();
}

void Lesson::CmdStart_Click()
{
    if (LastQuestion == 0) {
        if (View.optLvqSelected >= 0)
            OptLVQSet = View.optLvqSelected;
        OptLVQ_Click(OptLVQSet);
        PublishToSeats();
        startTimer();
    } else {
        // The question on screen, with its own answer count.
        const int row = ShownRow >= 0 ? ShownRow : CurrentQuestion;
        setFrameCaption(u"問目の集計", row + 1);
        LVQMode = rowMode(row);
        PublishToSeats();
        startTimer();
    }
    LayoutAnswerLabels();
}

void Lesson::CmdLVQClear_Click()
{
    View.timerEnabled = false;
    emptyGraphAndLabels();
    LVQMode = exchange::kModePaused;
    PublishToSeats();
    View.enqeteText.clear();
    if (LastQuestion == 0)
        CurrentQuestion = std::min(CurrentQuestion + 1, kLastCursor);
    setFrameCaption(u"問のアンケートの設定", CurrentQuestion + 1);
}

// -------------------------------------------------------- tally and display

void Lesson::Timer1_Timer()
{
    CollectAnswers();
}

bool Lesson::collectNow()
{
    if (!View.timerEnabled)
        return false;
    Timer1_Timer();
    return true;
}

void Lesson::CollectAnswers()
{
    tally::collectAnswers(Tally, LVQStudentsMax);
    LVQAnswerFile = exchange::answerFilePath(LVQStudentsMax);
    LVQSum = Tally.lvqSum;
    AnswerHistory.store(CurrentQuestion, FrameNumber, Tally.seatAnswer, LVQStudentsMax);
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

QString Lesson::questionnairePath() const
{
    return questionnaire::questionnairePath(QuestionnaireDir, QuestionnaireFileName);
}

bool Lesson::hasQuestionnaireFile() const
{
    return !QuestionnaireFileName.isEmpty() && !QuestionnaireIsNew;
}

bool Lesson::SFileLoad()
{
    const QString path = questionnairePath();
    const questionnaire::LoadResult result =
        questionnaire::loadFile(path, QuestionTable, LastQuestion, QuestionnaireText);
    CurrentQuestion = 0;
    ShownRow = -1;
    if (!result.status.ok) {
        m_prompter.questionnaireLoadFailed(nativePath(path), result.status.error);
        return false;
    }
    QuestionnaireEncoding = result.encoding;
    QuestionnaireReadFrom = path;
    QuestionnaireIsNew = false;
    return true;
}

bool Lesson::SFileSave()
{
    const QString path = questionnairePath();
    // A file saved back keeps the encoding it was read in; any other file is
    // written in code page 932.
    const questionnaire::TextEncoding encoding =
        path == QuestionnaireReadFrom ? QuestionnaireEncoding : questionnaire::TextEncoding::Cp932;
    const exchange::FileStatus status = questionnaire::saveFile(path, QuestionnaireText, encoding);
    if (!status.ok) {
        m_prompter.questionnaireSaveFailed(nativePath(path), status.error);
        return false;
    }
    QuestionnaireIsNew = false;
    return true;
}

void Lesson::mnuFileOpen_Click()
{
    SaveMode = false;
    OptLVQOff();
    View.nextVisible = true;
}

void Lesson::mnuSave_Click()
{
    SaveMode = true;
}

void Lesson::mnuNew_Click()
{
    SaveMode = false;
    LastQuestion = 0;
    LVQSum = 0;
    CurrentQuestion = 0;
    QuestionnaireText.clear();
    for (int row = 0; row <= questionnaire::kLastLoadedRow; ++row) {
        for (int field = 0; field <= 5; ++field)
            QuestionTable[row][field].clear();
    }
    ShownRow = -1;
    QuestionnaireIsNew = true;
    CmdLVQClear_Click();
    OptLVQOn();
}

// ------------------------------------------------------------------ closing

int Lesson::lastRecordColumn() const
{
    return std::min(std::max(CurrentQuestion, LastQuestion), tally::kHistoryColumns - 1);
}

QString Lesson::Form_Unload()
{
    LVQMode = exchange::kModeEnd;
    PublishToSeats();

    const QByteArray record =
        tally::answerRecordBytes(AnswerHistory, lastRecordColumn(), LVQStudentsMax);
    QString path = recordFileName();
    LVQAnswerFile = path;
    for (;;) {
        const exchange::FileStatus status = exchange::saveFileSafely(path, record);
        if (status.ok)
            return path;
        switch (m_prompter.recordFailed(nativePath(path), status.error)) {
        case LessonPrompter::RecordChoice::Retry:
            break;
        case LessonPrompter::RecordChoice::SaveElsewhere: {
            const QString other = m_prompter.chooseRecordPath(nativePath(path));
            if (!other.isEmpty())
                path = other;
            break;
        }
        case LessonPrompter::RecordChoice::EndWithout:
            if (m_prompter.confirmEndWithoutRecord())
                return QString();
            break;
        }
    }
}

} // namespace lesson
