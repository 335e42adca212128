#include "Lesson.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/NumberText.h"
#include "teacher/tally/Correct.h"

#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace lesson {
namespace {

constexpr int kLastCursor = 30; // "表示の消去" counts ad-hoc questions up to 31
// Time ran out inside a handler: the pause is tried again this much later.
constexpr int kTimeUpRetryMs = 100;

// The answers a publication of this mode offers the seats: 1 to 5, else 0.
int answersOffered(double mode)
{
    return opensAnswering(mode) ? static_cast<int>(mode) : 0;
}

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

Lesson::Lesson(LessonPrompter &prompter)
    : m_prompter(prompter), m_document(prompter), m_session(prompter)
{
    // A questionnaire read anew, or begun anew, starts from its first
    // question. Its questions share a record column with an earlier one only
    // where the seats are shown the very same question again.
    QObject::connect(&m_document, &questionnaire::QuestionnaireDocument::tableReplaced, [this] {
        CurrentQuestion = 0;
        m_shownRow = -1;
        m_asked.reset();
        showFacts({});
    });
    QObject::connect(&m_timeLimit, &TimeLimit::expired, [this] { timeLimitExpired(); });
    // Connected before any window is: the graph is drawn from the new tally
    // before a window shows it.
    QObject::connect(&m_session, &LessonSession::changed, [this] { showTally(); });
}

// ---------------------------------------------------------------- start-up

bool Lesson::Form_Load()
{
    const LessonSession::HandlerScope scope(m_session);
    if (!m_session.open())
        return false;
    LVQMode = exchange::kModePaused;
    ShownQuestion[1] = u"○"_s;
    ShownQuestion[2] = u"×"_s;
    publish();
    CurrentQuestion = 0;
    setFrameCaption(u"問のアンケートの設定", CurrentQuestion + 1);
    // The box "回答は１回だけ" starts ticked.
    OneAnswerOnly = 1;
    return true;
}

Publication Lesson::publication() const
{
    return {LVQMode, ShownQuestion, OneAnswerOnly};
}

void Lesson::publish(const std::optional<GivenQuestion> &given)
{
    m_revealCorrect = false;
    cancelTimeLimit();
    if (given)
        m_asked = given;
    m_session.PublishToSeats(publication(), given);
}

// ---------------------------------------------------------------- 制限時間

bool Lesson::startTimeLimit(int seconds)
{
    if (!m_session.answering())
        return false;
    m_timeUpPending = false;
    return m_timeLimit.start(seconds);
}

void Lesson::cancelTimeLimit()
{
    m_timeUpPending = false;
    m_timeLimit.cancel();
}

void Lesson::timeLimitExpired()
{
    // The graph shows every answer given in time: a last tick now. No
    // answer counts past the time, even while a handler waits in a message
    // box: the polls stop now, the pause is published once it is over.
    if (!m_session.inHandler() && m_session.answering())
        m_session.Timer1_Timer();
    m_session.stopAnswering();
    m_timeUpPending = true;
    pauseForTimeUp();
}

void Lesson::pauseForTimeUp()
{
    if (!m_timeUpPending)
        return;
    if (m_session.inHandler()) {
        QTimer::singleShot(kTimeUpRetryMs, &m_timeLimit, [this] { pauseForTimeUp(); });
        return;
    }
    CmdPause_Click();
    m_timeLimit.showTimeUp();
}

// ------------------------------------------------------------ もう一度投票

int Lesson::latestVote(const GivenQuestion &question) const
{
    // A vote just given has no column until its first collection.
    const int given = m_asked && m_asked->sameQuestionAnyVote(question) ? m_asked->vote : 0;
    return std::max(given, m_session.record().history().latestVote(question));
}

GivenQuestion Lesson::atLatestVote(GivenQuestion question) const
{
    question.vote = std::max(1, latestVote(question));
    return question;
}

bool Lesson::askedIsOnScreen() const
{
    if (!m_asked || m_asked->texts != ShownQuestion)
        return false;
    // A questionnaire of one question is asked by 再集計 as an ad-hoc one.
    return m_asked->source == (m_asked->adHoc ? m_adHocSerial : m_shownRow);
}

bool Lesson::canVoteAgain() const
{
    return askedIsOnScreen() && opensAnswering(m_asked->facts.answers);
}

void Lesson::mnuVoteAgain_Click()
{
    const LessonSession::HandlerScope scope(m_session);
    if (!canVoteAgain())
        return;
    GivenQuestion next = *m_asked;
    next.vote = latestVote(next) + 1;
    LVQMode = next.facts.answers;
    publish(next);
    LayoutAnswerLabels();
    m_session.startAnswering();
}

std::optional<Lesson::EarlierVote> Lesson::earlierVote() const
{
    if (!askedIsOnScreen() || m_asked->vote < 2)
        return std::nullopt;
    GivenQuestion earlier = *m_asked;
    --earlier.vote;
    const tally::AnswerHistory &history = m_session.record().history();
    const int column = history.columnOf(earlier);
    if (column < 0)
        return std::nullopt;
    const std::array<int, tally::kBars> counts =
        history.answerCounts(column, m_session.studentsMax());
    std::array<float, tally::kBars> answerCount{};
    int answered = 0;
    for (int k = 0; k < tally::kBars; ++k) {
        answerCount[k] = float(counts[k]);
        answered += counts[k];
    }
    EarlierVote vote{{}, tally::voteLabel(earlier.vote), tally::voteLabel(m_asked->vote)};
    const double mode = m_asked->facts.answers;
    if (m_displayIndex == 0) {
        tally::showCountGraph(mode, answerCount, vote.graph);
    } else {
        float share = 0;
        tally::showPercentGraph(mode, answerCount, answered, vote.graph, share);
    }
    return vote;
}

void Lesson::showFacts(const tally::QuestionFacts &facts)
{
    m_shownFacts = facts;
    m_revealCorrect = false;
}

void Lesson::mnuRevealCorrect_Toggled(bool on)
{
    m_revealCorrect = on && shownCorrect() != 0;
}

Lesson::CorrectMark Lesson::correctMark() const
{
    const std::optional<tally::BarLayout> layout = tally::barPosition(m_shownFacts.answers);
    if (!m_revealCorrect || !layout)
        return {};
    const LessonSession &session = m_session;
    const int correct =
        tally::seatsAnswering(session.lastTally(), session.studentsMax(), m_shownFacts.correct);
    const int answered = tally::answeredSeats(session.lastTally(), session.studentsMax()).count;
    return {layout->positionOfAnswer[m_shownFacts.correct - 1],
            tally::correctCaption(correct, answered)};
}

// ------------------------------------------------------ question navigation

double Lesson::rowMode(int row) const
{
    const double count = questionnaire::answerCount(m_document.questionTable()[row]);
    // A row without answers shows its question with no buttons; ending the
    // pupils' programs is left to the explicit actions.
    return count == 0 ? exchange::kModePaused : count;
}

void Lesson::showRow(int row)
{
    LVQMode = rowMode(row);
    for (int field = 0; field < 6; ++field)
        ShownQuestion[field] = m_document.questionTable()[row][field];
    m_view.enqeteText = ShownQuestion[0];
    m_shownRow = row;
    const double count = questionnaire::answerCount(m_document.questionTable()[row]);
    const int correct = m_document.correctAnswer(row);
    showFacts(
        {opensAnswering(count) ? static_cast<int>(count) : 0, correct <= count ? correct : 0});
}

void Lesson::setFrameCaption(QStringView suffix, int number)
{
    m_view.frameCaption = u"第"_s + exchange::signPositionText(number) + suffix.toString();
    m_frameNumber = number;
}

void Lesson::cmdNext_Click()
{
    const LessonSession::HandlerScope scope(m_session);
    OptLVQOff();
    setFrameCaption(u"問目のアンケート", CurrentQuestion + 1);
    showRow(CurrentQuestion);
    const int row = CurrentQuestion;
    publish(atLatestVote({row, false, row + 1, ShownQuestion, m_shownFacts}));
    LayoutAnswerLabels();
    CurrentQuestion = std::min(CurrentQuestion + 1, questionnaire::kTableRows - 1);
    m_session.startAnswering();
}

void Lesson::cmdBack_Click()
{
    const LessonSession::HandlerScope scope(m_session);
    m_session.stopAnswering();
    cancelTimeLimit();
    // The seats keep the question and may go on answering it; what they gave
    // so far is kept now, the rest by the next publication.
    m_session.recordAnswersGiven();
    OptLVQOff();
    CurrentQuestion = std::max(CurrentQuestion - 1, 0);
    setFrameCaption(u"問目のアンケート", CurrentQuestion + 1);
    showRow(CurrentQuestion);
    LayoutAnswerLabels();
}

void Lesson::cmdEnd_Click()
{
    const LessonSession::HandlerScope scope(m_session);
    if (!m_prompter.confirmEndQuestionnaire())
        return;
    // The seats' programs end and nothing is left to collect: the graph
    // keeps the last tally.
    m_session.stopAnswering();
    LVQMode = exchange::kModeEnd;
    publish();
}

void Lesson::emptyGraphAndLabels()
{
    showFacts({});
    for (int i = 0; i < tally::kBars; ++i) {
        m_view.graph[i].caption.clear();
        m_view.graph[i].height = 0;
        m_view.graph[i].top = tally::kBaseLine;
        m_view.itemCaptions[i].clear();
        ShownQuestion[i].clear();
    }
}

void Lesson::OptLVQ_Click(int index)
{
    if (index < 0 || index >= static_cast<int>(answerSets().size()))
        return;
    m_answerSet = index;
    emptyGraphAndLabels();
    ShownQuestion[5].clear();
    const AnswerSet &set = answerSets()[index];
    LVQMode = set.mode;
    for (int i = 0; i < 5; ++i)
        ShownQuestion[i + 1] = set.labels[i];
}

void Lesson::OptLVQOn()
{
    m_view.optLvqVisible = true;
    m_view.backVisible = false;
    m_view.nextVisible = false;
    m_view.endVisible = false;
}

void Lesson::OptLVQOff()
{
    m_view.optLvqVisible = false;
    m_view.backVisible = CurrentQuestion > 0;
    if (CurrentQuestion > m_document.lastQuestion())
        CurrentQuestion = m_document.lastQuestion();
    m_view.nextVisible = CurrentQuestion != m_document.lastQuestion();
    m_view.endVisible = true;
}

// ------------------------------------------------------- answering controls

void Lesson::Check1_Click(bool checked)
{
    OneAnswerOnly = checked ? 1 : 0;
}

void Lesson::CmdPause_Click()
{
    const LessonSession::HandlerScope scope(m_session);
    m_session.stopAnswering();
    LVQMode = exchange::kModePaused;
    publish();
}

void Lesson::CmdStart_Click()
{
    const LessonSession::HandlerScope scope(m_session);
    if (m_document.lastQuestion() == 0) {
        OptLVQ_Click(m_answerSet);
        // The ad-hoc question on screen is asked again, in a new round, until
        // "表示の消去" moves on to the next one; other labels make another
        // question, under the same number on screen.
        publish(atLatestVote({m_adHocSerial,
                              true,
                              CurrentQuestion + 1,
                              ShownQuestion,
                              {answersOffered(LVQMode), 0}}));
    } else {
        // The question on screen, with its own answer count; right after a
        // questionnaire was opened, its first question is shown first. After
        // "表示の消去" that is a blank question, which the record keeps apart.
        if (m_shownRow < 0)
            showRow(CurrentQuestion);
        const int row = m_shownRow;
        setFrameCaption(u"問目の集計", row + 1);
        LVQMode = rowMode(row);
        publish(atLatestVote(
            {row, false, row + 1, ShownQuestion, {answersOffered(LVQMode), m_shownFacts.correct}}));
    }
    m_session.startAnswering();
    LayoutAnswerLabels();
}

void Lesson::CmdLVQClear_Click()
{
    const LessonSession::HandlerScope scope(m_session);
    m_session.stopAnswering();
    emptyGraphAndLabels();
    LVQMode = exchange::kModePaused;
    publish();
    m_view.enqeteText.clear();
    if (m_document.lastQuestion() == 0) {
        CurrentQuestion = std::min(CurrentQuestion + 1, kLastCursor);
        // Counted on past the 31 the caption stops at, so that no ad-hoc
        // question's answers ever replace another's.
        ++m_adHocSerial;
    }
    setFrameCaption(u"問のアンケートの設定", CurrentQuestion + 1);
}

// ------------------------------------------------------------------ display

void Lesson::showTally()
{
    if (m_displayIndex == 0)
        ShowCountGraph();
    else
        ShowPercentGraph();
}

void Lesson::LayoutAnswerLabels()
{
    const tally::LabelLayout layout = tally::layoutAnswerLabels(LVQMode, ShownQuestion);
    m_view.itemPointSize = layout.pointSize;
    if (layout.captions)
        m_view.itemCaptions = *layout.captions;
}

void Lesson::ShowCountGraph()
{
    tally::showCountGraph(LVQMode, m_session.lastTally().answerCount, m_view.graph);
}

void Lesson::ShowPercentGraph()
{
    float LVQPercent = 0;
    tally::showPercentGraph(LVQMode, m_session.lastTally().answerCount,
                            m_session.lastTally().lvqSum, m_view.graph, LVQPercent);
}

void Lesson::OptDisplay_Click(int index)
{
    m_displayIndex = index == 0 ? 0 : 1;
    LayoutAnswerLabels();
    showTally();
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
    m_document.chooseToOpen();
    OptLVQOff();
    m_view.nextVisible = true;
}

void Lesson::mnuNew_Click()
{
    const LessonSession::HandlerScope scope(m_session);
    m_document.startNew();
    CmdLVQClear_Click();
    OptLVQOn();
}

// ------------------------------------------------------------------ closing

QString Lesson::Form_Unload()
{
    cancelTimeLimit();
    LVQMode = exchange::kModeEnd;
    return m_session.close(publication());
}

} // namespace lesson
