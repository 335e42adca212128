#pragma once

#include "LessonPrompter.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/TextFile.h"
#include "teacher/questionnaire/Questionnaire.h"
#include "teacher/tally/AnswerRecord.h"
#include "teacher/tally/Collect.h"
#include "teacher/tally/Graph.h"

#include <QString>

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
    bool timerEnabled = false;    // Timer1, 500 ms

    MainView();
};

// Outcome of one pass of PublishToSeats over all seats.
struct PublishReport
{
    int failedFiles = 0;
    int totalFiles = 0;
    QString firstFailedPath;
    QString firstReason;
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

    // --- program-wide values -------------------------------------------
    questionnaire::QuestionTable QuestionTable{};
    std::array<QString, 6> ShownQuestion;
    int LastQuestion = 0;
    int CurrentQuestion = 0;
    bool SaveMode = false;
    int OneAnswerOnly = 0;
    QString QuestionnaireText;
    QString QuestionnaireDrive;
    QString QuestionnaireDir;
    QString QuestionnaireFileName;
    // Encoding of the questionnaire file last read, used when it is saved back.
    questionnaire::TextEncoding QuestionnaireEncoding = questionnaire::TextEncoding::Cp932;

    // --- values of the main window -------------------------------------
    int LVQStudentsMax = exchange::kStudentsMax;
    int LVQSum = 0;
    double LVQMode = exchange::kModePaused;
    float LVQPercent = 0;
    QString LVQCommandFile;
    QString LVQAnswerFile;
    int OptLVQSet = 0;

    tally::Tally Tally;
    tally::AnswerHistory AnswerHistory;
    // Row of the question table that "つぎへ" or "もどる" last put on screen;
    // -1 while none has been shown.
    int ShownRow = -1;
    // Number of the question the frame caption names; the answer record
    // heads the column a tick writes with it.
    int FrameNumber = 1;
    // The file QuestionnaireText was last read from, and whether the text was
    // started anew and has no file of its own yet.
    QString QuestionnaireReadFrom;
    bool QuestionnaireIsNew = false;

    MainView View;

    // Rewrites one exchange file; tests replace it to make single writes fail.
    std::function<exchange::FileStatus(const QString &, const QByteArray &)> FileWriter =
        exchange::writeWholeFile;

    // --- start-up and publishing ---------------------------------------
    void Form_Load();
    // Writes the command and answer files of every seat; on failures the
    // prompter decides between another whole pass and going on.
    void PublishToSeats();
    // One pass over all seats without asking anything; seats that failed
    // are tried once more after a short pause before they are reported.
    PublishReport publishOnce();

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
    // The current questionnaire file; "/" alone until a file is chosen.
    QString questionnairePath() const;
    bool hasQuestionnaireFile() const;
    // Load and save the current file; false (after telling the user) when
    // the file could not be read or written.
    bool SFileLoad();
    bool SFileSave();
    // The state part of "ファイルを開く" before the chooser is shown.
    void mnuFileOpen_Click();
    // The state part of "ファイルを保存".
    void mnuSave_Click();
    // "アンケート新規作成" without the editor's own step.
    void mnuNew_Click();

    // --- closing -----------------------------------------------------------
    // Publishes the end to every seat and writes the answer record, asking
    // the user until it is written or knowingly dropped. Returns the path the
    // record went to, empty when it was dropped.
    QString Form_Unload();
    // The last question column the record covers.
    int lastRecordColumn() const;

    static QString recordFileName() { return QStringLiteral("Kiroku.csv"); }

private:
    LessonPrompter &m_prompter;

    void emptyGraphAndLabels();
    void showRow(int row);
    double rowMode(int row) const;
    void setFrameCaption(QStringView suffix, int number);
    void startTimer();
};

} // namespace lesson
