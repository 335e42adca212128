#pragma once

#include "student/AnswerPanel.h"
#include "student/MainPosition.h"
#include "student/Module1.h"
#include "student/SeatSession.h"

#include <QWidget>

#include <array>

class QLabel;
class QPushButton;

namespace student::forms {

class AnswerButton;
class MessageSeam;

// The answer panel: shows the question the teacher's program published for
// this seat and up to five answer buttons. Its seat session polls the seat's
// command file every 500 ms (LVQTimer) and as soon as the file changes.
class frmMain : public QWidget
{
    Q_OBJECT

public:
    frmMain(student::Module1 &module, MessageSeam &messages, QWidget *parent = nullptr);

    // The seat's file work goes through runner from now on, and the window
    // tells when the share does not answer. The runner outlives the window.
    void setShareRunner(exchange::BackgroundShareRunner &runner);

    void Form_Load();
    void PollCommandFile();
    void Command1_Click(int Index);

    const student::AnswerPanel &panel() const { return m_session->panel(); }
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

    student::SeatSession *m_session = nullptr;
    MessageSeam &m_messages;
    QLabel *m_background = nullptr;
    QLabel *LblEnqete = nullptr;
    std::array<AnswerButton *, student::kAnswerButtonCount> Command1{};
    student::TwipsPosition m_placedAt;
    QString m_shownNotice;
    bool m_ending = false;
};

} // namespace student::forms
