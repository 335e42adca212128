#pragma once

#include "LessonPrompter.h"
#include "LessonSession.h"
#include "TimeLimit.h"

#include "teacher/questionnaire/Questionnaire.h"
#include "teacher/questionnaire/QuestionnaireDocument.h"
#include "teacher/tally/Graph.h"

#include <QString>
#include <QStringView>

#include <array>

namespace lesson {

// Captions and visibility of the main window's controls, kept here so that
// every handler can be run and checked without widgets. The window draws
// them after each handler and each collection.
struct MainView
{
    QString frameCaption; // Frame1
    QString enqeteText;   // lblEnqeteText
    bool optLvqVisible = true;
    bool backVisible = false;
    bool nextVisible = false;
    bool endVisible = false;
    std::array<QString, tally::kBars> itemCaptions; // LblItem
    int itemPointSize = 36;
    tally::Graph graph; // LblAnswerSum captions and ShapeGraph geometry

    MainView();
};

// The teacher's lesson: the question on screen, the navigation through a
// questionnaire and the answer sets, the answering controls and the graph,
// as the main window's handlers. One instance lives for the whole run,
// created by main() and handed to every form. It owns the questionnaire
// document and the session that publishes to the seats and collects their
// answers; the procedures keep the names of the controls and events they
// serve.
class Lesson
{
public:
    explicit Lesson(LessonPrompter &prompter);
    Lesson(const Lesson &) = delete;
    Lesson &operator=(const Lesson &) = delete;

    // The questionnaire: its question table, text and file.
    questionnaire::QuestionnaireDocument &document() { return m_document; }
    const questionnaire::QuestionnaireDocument &document() const { return m_document; }
    // Publishing, collecting, Timer1, the answer watch and the record.
    LessonSession &session() { return m_session; }
    const LessonSession &session() const { return m_session; }

    // --- the lesson's values -------------------------------------------
    // The question on screen: the question (0) and the answer labels (1 to 5).
    std::array<QString, 6> ShownQuestion;
    // The navigation cursor, a row of the question table; in the ad-hoc
    // state the number of the ad-hoc question less one.
    int CurrentQuestion = 0;
    // "回答は１回だけ": 0 or 1, published as the last line of every command
    // file. 0 until the end of Form_Load, as the first publication says.
    int OneAnswerOnly = 0;
    // The mode the next publication writes first.
    double LVQMode = exchange::kModePaused;

    const MainView &view() const { return m_view; }
    // The answer set chosen with OptLVQ, 0 to 7; "○×" at start.
    int answerSet() const { return m_answerSet; }
    // OptDisplay: 0 "人数", 1 "％".
    int displayIndex() const { return m_displayIndex; }
    // Row of the question table that "つぎへ" or "もどる" last put on screen;
    // -1 while none has been shown.
    int shownRow() const { return m_shownRow; }
    // Number of the question the frame caption names.
    int frameNumber() const { return m_frameNumber; }

    // --- 正解を表示 --------------------------------------------------------
    // The correct answer of the question on screen, 1 to 5; 0 when it has
    // none (every ad-hoc question, and a question without a "/正解" line).
    int shownCorrect() const { return m_shownFacts.correct; }
    // Whether the correct answer is shown. Off at start, after every
    // publication and whenever another question comes on screen, so that the
    // class never sees it before the teacher chooses.
    bool revealCorrect() const { return m_revealCorrect; }
    // Shows or hides it; showing only while the question on screen has one.
    void mnuRevealCorrect_Toggled(bool on);
    // What is shown while it is on: the bar position of the correct answer
    // and the line "正答 n人（p%）" of the pupils who answered so far;
    // position -1 and no line while it is off.
    struct CorrectMark
    {
        int position = -1;
        QString caption;
    };
    CorrectMark correctMark() const;

    // --- 制限時間 -----------------------------------------------------------
    // The limit on the answering now open. At zero answering pauses as
    // "集計中断" does, and the limit says that time is up; every publication,
    // "もどる" and the end of the lesson cancel it.
    const TimeLimit &timeLimit() const { return m_timeLimit; }
    // Starts a limit of seconds; false (nothing changes) while answering is
    // not open or for a number of seconds the limit does not take.
    bool startTimeLimit(int seconds);
    void cancelTimeLimit();
    // The limit's clock; tests step one by hand.
    void setTimeLimitClock(TimeLimit::Clock clock) { m_timeLimit.setClock(std::move(clock)); }

    // --- もう一度投票 ---------------------------------------------------------
    // Whether the question on screen was asked and may be voted on again.
    bool canVoteAgain() const;
    // Asks the question on screen again as its next vote: the seats'
    // answers start afresh and go to a column of the vote's own, while the
    // earlier votes' answers stay as they were.
    void mnuVoteAgain_Click();
    // The previous vote's counts, drawn as the graph draws the current ones,
    // while a later vote on the question is on screen; nothing otherwise.
    struct EarlierVote
    {
        tally::Graph graph;
        QString earlierLabel; // "1回目"
        QString currentLabel; // "2回目"
    };
    std::optional<EarlierVote> earlierVote() const;

    // --- start-up ------------------------------------------------------
    // False when another teacher's program holds the folder: nothing was
    // written, and the program ends.
    bool Form_Load();

    // --- question navigation and answer sets ---------------------------
    void cmdNext_Click();
    void cmdBack_Click();
    void cmdEnd_Click();
    void OptLVQ_Click(int index);
    void OptLVQOn();
    void OptLVQOff();

    // --- answering controls ----------------------------------------------
    void Check1_Click(bool checked);
    void CmdPause_Click();
    void CmdStart_Click();
    void CmdLVQClear_Click();

    // --- display ---------------------------------------------------------
    void LayoutAnswerLabels();
    void ShowCountGraph();
    void ShowPercentGraph();
    void OptDisplay_Click(int index);
    void mnuDisplayNumber_Click();
    void mnuDisplayPercent_Click();

    // --- questionnaire documents -----------------------------------------
    // The state part of "ファイルを開く" before the chooser is shown.
    void mnuFileOpen_Click();
    // "アンケート新規作成" without the editor's own step.
    void mnuNew_Click();

    // --- closing -----------------------------------------------------------
    // Ends the lesson: the seats are told, the record is written (see
    // LessonSession::close). Returns the path the record went to, empty when
    // it was dropped.
    QString Form_Unload();

private:
    LessonPrompter &m_prompter;
    questionnaire::QuestionnaireDocument m_document;
    LessonSession m_session;
    MainView m_view;
    int m_answerSet = 1;
    int m_displayIndex = 0;
    int m_shownRow = -1;
    int m_frameNumber = 1;
    // Answers and correct answer of the question on screen, from its row.
    tally::QuestionFacts m_shownFacts;
    bool m_revealCorrect = false;
    // Ad-hoc questions are numbered by a serial of their own, which
    // "表示の消去" counts on past the 31 that the screen shows.
    int m_adHocSerial = 0;
    TimeLimit m_timeLimit;
    // Time ran out while a handler was under way: the pause follows it.
    bool m_timeUpPending = false;
    // The question last given to the seats, with its vote.
    std::optional<GivenQuestion> m_asked;

    Publication publication() const;
    // Publishes what is on screen; given is the question the seats then
    // answer, if they answer one.
    void publish(const std::optional<GivenQuestion> &given = std::nullopt);
    void emptyGraphAndLabels();
    // The question, given at its latest vote so far (the first if none).
    GivenQuestion atLatestVote(GivenQuestion question) const;
    int latestVote(const GivenQuestion &question) const;
    // Whether the question last given is the one on screen.
    bool askedIsOnScreen() const;
    void timeLimitExpired();
    void pauseForTimeUp();
    void showRow(int row);
    // Another question, or none, comes on screen.
    void showFacts(const tally::QuestionFacts &facts);
    double rowMode(int row) const;
    void setFrameCaption(QStringView suffix, int number);
    void showTally();
};

} // namespace lesson
