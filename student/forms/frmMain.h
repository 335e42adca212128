#pragma once

#include "student/AnswerPanel.h"
#include "student/MainPosition.h"
#include "student/Module1.h"

#include <QWidget>

#include <array>

class AnswerButton;
class MessageSeam;
namespace exchange {
class ChangeWatch;
}
class QLabel;
class QPushButton;
class QTimer;

// The answer panel: shows the question the teacher's program published for
// this seat and up to five answer buttons; polls the seat's command file
// every 500 ms.
class frmMain : public QWidget
{
    Q_OBJECT

public:
    frmMain(student::Module1 &module, MessageSeam &messages, QWidget *parent = nullptr);

    void Form_Load();
    void LVQTimer_Timer();
    void PollCommandFile();
    void Command1_Click(int Index);

    const student::AnswerPanel &panel() const { return m_panel; }
    // Polls as soon as the seat's command file changes; LVQTimer stays as
    // the floor for folders that report no changes.
    const exchange::ChangeWatch &commandWatch() const { return *m_commandWatch; }
    // True once the program has been asked to end at once.
    bool isEnding() const { return m_ending; }

signals:
    // The program must end at once, without the close handler (no position
    // is saved). main() quits the event loop on it.
    void endRequested();

protected:
    // Form_Unload
    void closeEvent(QCloseEvent *event) override;

private:
    void applyView();
    void showNotice();
    void endProgram();
    void commandFileChanged();

    student::AnswerPanel m_panel;
    MessageSeam &m_messages;
    QLabel *m_background = nullptr;
    QLabel *LblEnqete = nullptr;
    std::array<AnswerButton *, student::kAnswerButtonCount> Command1{};
    QTimer *LVQTimer = nullptr;
    exchange::ChangeWatch *m_commandWatch = nullptr;
    student::TwipsPosition m_placedAt;
    QString m_shownNotice;
    bool m_ending = false;
};
