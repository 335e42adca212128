#include "Lesson.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/NumberText.h"
#include "teacher/tally/Correct.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace lesson {
namespace {

constexpr int kLastCursor = 30; // "表示の消去" counts ad-hoc questions up to 31

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
        showFacts({});
    });
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
    m_session.PublishToSeats(publication(), given);
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
    const int correct = tally::seatsAnswering(session.lastTally, session.LVQStudentsMax,
                                              m_shownFacts.correct);
    const int answered = tally::answeredSeats(session.lastTally, session.LVQStudentsMax).count;
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
    showFacts({opensAnswering(count) ? static_cast<int>(count) : 0,
               correct <= count ? correct : 0});
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
    publish(GivenQuestion{row, false, row + 1, ShownQuestion, m_shownFacts});
    LayoutAnswerLabels();
    CurrentQuestion = std::min(CurrentQuestion + 1, questionnaire::kTableRows - 1);
    m_session.startAnswering();
}

void Lesson::cmdBack_Click()
{
    const LessonSession::HandlerScope scope(m_session);
    m_session.stopAnswering();
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
        publish(GivenQuestion{m_adHocSerial, true, CurrentQuestion + 1, ShownQuestion,
                              {answersOffered(LVQMode), 0}});
    } else {
        // The question on screen, with its own answer count; right after a
        // questionnaire was opened, its first question is shown first. After
        // "表示の消去" that is a blank question, which the record keeps apart.
        if (m_shownRow < 0)
            showRow(CurrentQuestion);
        const int row = m_shownRow;
        setFrameCaption(u"問目の集計", row + 1);
        LVQMode = rowMode(row);
        publish(GivenQuestion{row, false, row + 1, ShownQuestion,
                              {answersOffered(LVQMode), m_shownFacts.correct}});
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
    tally::showCountGraph(LVQMode, m_session.lastTally.answerCount, m_view.graph);
}

void Lesson::ShowPercentGraph()
{
    float LVQPercent = 0;
    tally::showPercentGraph(LVQMode, m_session.lastTally.answerCount, m_session.lastTally.lvqSum,
                            m_view.graph, LVQPercent);
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
    LVQMode = exchange::kModeEnd;
    return m_session.close(publication());
}

} // namespace lesson
