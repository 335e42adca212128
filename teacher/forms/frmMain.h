#pragma once

#include "teacher/lesson/Lesson.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPixmap;
class QPushButton;
class QRadioButton;
class QTimer;

namespace teacher::forms {

class AnswerStatusWindow;
class QuestionnaireWindows;
class frmTimeLimit;
class ClassListMenu;

// The teacher's main window: the graph, the question, the control bar and
// the menus. The handlers of the lesson's own controls run the lesson's
// procedure of the same name and then show the lesson's state on the
// controls (refresh()); the menu items added beyond them (回答状況,
// グラフを隠す, the picture, the PDF, the time limit) open windows or files
// of their own.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMain(lesson::Lesson &lesson, QWidget *parent = nullptr);
    ~frmMain() override;

    // Runs the start of the lesson: folder, first publication, captions.
    // False when another teacher's program holds the folder: the program
    // ends without showing the window.
    bool Form_Load();
    // Shows the lesson's state on the controls.
    void refresh();

    // Called once the lesson has ended and the record is written; by default
    // it quits the application, which closes every other window with it.
    void setEndHandler(std::function<void()> handler) { m_endHandler = std::move(handler); }
    // The lesson's file work goes through runner from now on, and the window
    // tells when the share does not answer. The runner outlives the window.
    void setShareRunner(exchange::BackgroundShareRunner &runner);

    QuestionnaireWindows &questionnaireWindows() { return *m_documents; }

    // Menu handlers.
    void mnuFileOpen_Click();
    void mnuSave_Click();
    void mnuNew_Click();
    void mnuEditShow_Click();
    void mnuFileExit_Click();
    void mnuHelpAbout_Click();
    void mnuDisplayNumber_Click();
    void mnuDisplayPercent_Click();

    // Added beyond the lesson's own controls: "回答状況", "グラフを隠す" and
    // "グラフを画像で保存...".
    void mnuAnswerStatus_Click();
    void mnuHideGraph_Toggled(bool hidden);
    void mnuSaveGraphImage_Click();
    // The seat overview, once it has been opened; null before.
    AnswerStatusWindow *answerStatusWindow() const { return m_answerStatus; }
    // Asks where the graph picture goes, proposing a path; empty to cancel.
    // A save dialog unless replaced (tests answer without one).
    void setImagePathChooser(std::function<QString(const QString &proposedPath)> chooser)
    {
        m_chooseImagePath = std::move(chooser);
    }
    // "正解を表示" (Ctrl+K) and "授業のまとめをPDFで保存...".
    void mnuRevealCorrect_Toggled(bool on);
    void mnuSaveLessonReport_Click();
    // Asks where the lesson's report goes, proposing a path; empty to
    // cancel. A save dialog unless replaced.
    void setReportPathChooser(std::function<QString(const QString &proposedPath)> chooser)
    {
        m_chooseReportPath = std::move(chooser);
    }
    // "制限時間..." (Ctrl+T) and "もう一度投票" (Ctrl+R).
    void mnuTimeLimit_Click();
    void mnuVoteAgain_Click();
    // The time limit's window, once it has been opened; null before.
    frmTimeLimit *timeLimitWindow() const { return m_timeLimitWindow; }
    // Tells the teacher that something could not be done; a message box
    // unless replaced.
    void setWarner(std::function<void(const QString &text)> warner) { m_warn = std::move(warner); }
    // The picture "グラフを画像で保存..." writes: the graph area with its bars
    // and numbers, also while they are hidden on screen.
    QPixmap grabGraph();
    // The file name proposed for the current question's picture.
    QString proposedImageName() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    lesson::Lesson &m_lesson;
    std::unique_ptr<QuestionnaireWindows> m_documents;
    std::function<void()> m_endHandler;
    bool m_unloaded = false;

    QGroupBox *m_frame1 = nullptr;
    QCheckBox *m_check1 = nullptr;
    QPushButton *m_cmdEnd = nullptr;
    QPushButton *m_cmdNext = nullptr;
    QPushButton *m_cmdBack = nullptr;
    std::array<QRadioButton *, 2> m_optDisplay{};
    std::array<QAction *, 2> m_displayItems{};
    std::array<QRadioButton *, 8> m_optLvq{};
    QButtonGroup *m_optLvqGroup = nullptr;
    std::array<QFrame *, 5> m_shapeGraph{};
    std::array<QLabel *, 5> m_lblItem{};
    std::array<QLabel *, 5> m_lblAnswerSum{};
    QLabel *m_lblEnqeteText = nullptr;

    QWidget *m_client = nullptr;
    QLabel *m_lblAnswered = nullptr;
    QAction *m_hideGraph = nullptr;
    QAction *m_revealCorrect = nullptr;
    QLabel *m_lblCorrect = nullptr;
    QLabel *m_lblCorrectTag = nullptr;
    QFrame *m_correctOutline = nullptr;
    std::function<QString(const QString &)> m_chooseReportPath;
    AnswerStatusWindow *m_answerStatus = nullptr;
    std::function<QString(const QString &)> m_chooseImagePath;
    std::function<void(const QString &)> m_warn;
    QAction *m_voteAgain = nullptr;
    QLabel *m_lblTimeLimit = nullptr;
    frmTimeLimit *m_timeLimitWindow = nullptr;
    // The previous vote's bars as outlines, with their numbers, and the
    // legend naming both votes.
    std::array<QFrame *, 5> m_earlierBar{};
    std::array<QLabel *, 5> m_earlierSum{};
    std::array<QLabel *, 2> m_voteLegend{};
    ClassListMenu *m_classList = nullptr;

    void buildGraph(QWidget *client);
    void buildControlBar(QWidget *client);
    void buildMenus();
    // The label "回答 n人" and the menu items added to the lesson's own.
    void buildAdditions();
    // Shows who has answered on "回答 n人" and in the seat overview.
    void showAnswerState();
    // Marks the correct answer while "正解を表示" is ticked.
    void showCorrectMark();
    void buildVoteAndTime();
    // The time left, and the previous vote beside the current one.
    void showTimeLimit();
    void showEarlierVote();
    // Runs a lesson procedure and shows its outcome.
    void run(void (lesson::Lesson::*procedure)());
    // Runs handler now, or once the lesson is no longer inside a handler or
    // a tick.
    void laterIfBusy(const std::function<void()> &handler);
};

} // namespace teacher::forms
