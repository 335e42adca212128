#pragma once

#include "LessonPrompter.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/TextFile.h"
#include "teacher/questionnaire/Questionnaire.h"
#include "teacher/questionnaire/QuestionnaireDocument.h"
#include "teacher/tally/AnswerRecord.h"
#include "teacher/tally/Collect.h"
#include "teacher/tally/Graph.h"
#include "teacher/tally/RecordKeeper.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>

namespace lesson {

// What the main window shows, kept here so that every handler can be run and
// checked without widgets. The window copies it onto its controls after each
// handler.
struct MainView
{
    QString frameCaption; // Frame1
    QString enqeteText;   // lblEnqeteText
    bool optLvqVisible = true;
    int optLvqSelected = 1; // the checked OptLVQ button, "○×" at start
    bool backVisible = false;
    bool nextVisible = false;
    bool endVisible = false;
    std::array<QString, tally::kBars> itemCaptions; // LblItem
    int itemPointSize = 36;
    tally::Graph graph;           // LblAnswerSum captions and ShapeGraph geometry
    bool oneAnswerChecked = true; // Check1
    int displayIndex = 0;         // OptDisplay: 0 "人数", 1 "％"

    MainView();
};

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

// The whole state of the teacher's program and its procedures: the question
// table and questionnaire location, the question on screen, the lesson's
// mode, the tally and the record. One instance lives for the whole run,
// created by main() and handed to every form. The procedures keep the names
// of the controls and events they serve.
class Lesson
{
public:
    explicit Lesson(LessonPrompter &prompter);
    Lesson(const Lesson &) = delete;
    Lesson &operator=(const Lesson &) = delete;

    // Held by every handler while it runs, together with any message box or
    // dialog it opens: no tick of Timer1 runs inside a handler, not even from
    // the event loop of its message box.
    class HandlerScope
    {
    public:
        explicit HandlerScope(Lesson &lesson) : m_lesson(lesson) { ++m_lesson.m_handlerDepth; }
        ~HandlerScope() { --m_lesson.m_handlerDepth; }
        HandlerScope(const HandlerScope &) = delete;
        HandlerScope &operator=(const HandlerScope &) = delete;

    private:
        Lesson &m_lesson;
    };
    bool inHandler() const { return m_handlerDepth > 0; }

    // The questionnaire: its question table, text and file.
    questionnaire::QuestionnaireDocument &document() { return m_document; }
    const questionnaire::QuestionnaireDocument &document() const { return m_document; }

    // --- program-wide values -------------------------------------------
    std::array<QString, 6> ShownQuestion;
    int CurrentQuestion = 0;
    int OneAnswerOnly = 0;

    // --- values of the main window -------------------------------------
    int LVQStudentsMax = exchange::kStudentsMax;
    int LVQSum = 0;
    double LVQMode = exchange::kModePaused;
    float LVQPercent = 0;
    QString LVQCommandFile;
    QString LVQAnswerFile;
    int OptLVQSet = 0;

    tally::Tally Tally;
    // The answers of every seat to every question collected.
    const tally::RecordKeeper &record() const { return m_record; }
    // Row of the question table that "つぎへ" or "もどる" last put on screen;
    // -1 while none has been shown.
    int ShownRow = -1;
    // Number of the question the frame caption names.
    int FrameNumber = 1;

    // The answer poll, every 500 ms while answering is open. It is started
    // and stopped by the handlers the moment they open or close answering.
    QTimer Timer1;
    // Runs after every collection, to show the new tally.
    std::function<void()> onCollected;

    MainView View;

    // Rewrites one exchange file; tests replace it to make single writes fail.
    std::function<exchange::FileStatus(const QString &, const QByteArray &)> FileWriter =
        exchange::writeWholeFile;

    // --- start-up and publishing ---------------------------------------
    void Form_Load();
    // Writes the command and answer files of every seat; on failures the
    // prompter decides between another whole pass and going on.
    void PublishToSeats();
    // One pass over the given seats (every seat when empty) without asking
    // anything; seats that failed are tried once more after a short pause
    // before they are reported. A seat's answer file is reset only after its
    // command file was written.
    PublishReport publishOnce(const QList<int> &seats = {});

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

    // --- tally and display -----------------------------------------------
    // A tick: collects unless a handler is in progress.
    void Timer1_Timer();
    // A collection asked for between ticks, when an answer file changed: a
    // tick in every respect while Timer1 is on, nothing while it is off.
    // Returns whether it collected.
    bool collectNow();
    void CollectAnswers();
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
    // Collects once more if answering is open, publishes the end to every
    // seat and writes the answer record, asking the user until it is written
    // or knowingly dropped. Returns the path the record went to, empty when
    // it was dropped.
    QString Form_Unload();

private:
    LessonPrompter &m_prompter;
    questionnaire::QuestionnaireDocument m_document;
    int m_handlerDepth = 0;

    // The question whose answers the ticks record, set when answering opens.
    tally::QuestionKey m_collecting;
    int m_collectingNumber = 0;
    tally::QuestionTexts m_collectingTexts;
    bool m_hasCollecting = false;
    int m_questionnaireSerial = 0;
    int m_adHocSerial = 0;

    tally::RecordKeeper m_record;

    void emptyGraphAndLabels();
    void showRow(int row);
    double rowMode(int row) const;
    void setFrameCaption(QStringView suffix, int number);
    void startCollecting(const tally::QuestionKey &key, int number);
    void collect();
};

} // namespace lesson
