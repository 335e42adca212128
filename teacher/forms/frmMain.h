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
class QPushButton;
class QRadioButton;
class QTimer;

namespace questionnaire {
class QuestionnaireWindows;
}

namespace teacher {

// The teacher's main window: the graph, the question, the control bar and
// the menus. Every handler runs the lesson's procedure of the same name and
// then shows the lesson's state on the controls.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMain(lesson::Lesson &lesson, QWidget *parent = nullptr);
    ~frmMain() override;

    // Runs the start of the lesson: folder, first publication, captions.
    void Form_Load();
    // Copies the lesson's view state onto the controls.
    void refresh();

    // Called once the lesson has ended and the record is written; by default
    // it quits the application, which closes every other window with it.
    void setEndHandler(std::function<void()> handler) { m_endHandler = std::move(handler); }

    questionnaire::QuestionnaireWindows &questionnaireWindows() { return *m_documents; }
    QTimer *timer() const { return &m_lesson.Timer1; }

    // Menu handlers.
    void mnuFileOpen_Click();
    void mnuSave_Click();
    void mnuNew_Click();
    void mnuEditShow_Click();
    void mnuFileExit_Click();
    void mnuHelpAbout_Click();
    void mnuDisplayNumber_Click();
    void mnuDisplayPercent_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    lesson::Lesson &m_lesson;
    std::unique_ptr<questionnaire::QuestionnaireWindows> m_documents;
    std::function<void()> m_endHandler;
    bool m_unloaded = false;

    QGroupBox *m_frame1 = nullptr;
    QCheckBox *m_check1 = nullptr;
    QPushButton *m_cmdEnd = nullptr;
    QPushButton *m_cmdNext = nullptr;
    QPushButton *m_cmdBack = nullptr;
    std::array<QRadioButton *, 2> m_optDisplay{};
    std::array<QRadioButton *, 8> m_optLvq{};
    QButtonGroup *m_optLvqGroup = nullptr;
    std::array<QFrame *, 5> m_shapeGraph{};
    std::array<QLabel *, 5> m_lblItem{};
    std::array<QLabel *, 5> m_lblAnswerSum{};
    QLabel *m_lblEnqeteText = nullptr;

    void buildGraph(QWidget *client);
    void buildControlBar(QWidget *client);
    void buildMenus();
    // Runs a lesson procedure and shows its outcome.
    void run(void (lesson::Lesson::*procedure)());
};

} // namespace teacher
