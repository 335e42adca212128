#include "frmMain.h"

#include "AnswerButton.h"
#include "BackgroundPicture.h"
#include "MessageSeam.h"

#include "exchange/ChangeWatch.h"
#include "widgets/GothicFont.h"
#include "widgets/ShareStallBanner.h"
#include "widgets/WindowRole.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace student::forms {

namespace {

constexpr QSize kClientSize(571, 191);

// A position is kept only if some part of the window lands on a screen.
bool onSomeScreen(const QRect &window)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return true;
    for (const QScreen *screen : screens) {
        if (screen->availableGeometry().intersects(window))
            return true;
    }
    return false;
}

} // namespace

frmMain::frmMain(student::Module1 &module, MessageSeam &messages, QWidget *parent)
    : QWidget(parent),
      m_session(new student::SeatSession(module, student::SeatSession::Watch::OwnFile, this)),
      m_messages(messages)
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"オンブラ"_s);
    // A fixed-size dialog window to assistive tools, not a bare client area.
    widgets::setWindowRole(this, QAccessible::Dialog);
    setFixedSize(kClientSize);

    m_background = new QLabel(this);
    m_background->setObjectName(u"Picture"_s);
    m_background->setGeometry(QRect(QPoint(0, 0), kClientSize));
    m_background->setPixmap(QPixmap::fromImage(backgroundPicture(kClientSize)));

    LblEnqete = new QLabel(this);
    LblEnqete->setObjectName(u"LblEnqete"_s);
    LblEnqete->setGeometry(8, 8, 553, 97);
    LblEnqete->setFont(widgets::gothicFont(20.25, false));
    LblEnqete->setTextFormat(Qt::PlainText);
    LblEnqete->setWordWrap(true);
    LblEnqete->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LblEnqete->setAutoFillBackground(false); // the background picture shows through

    for (int i = 0; i < student::kAnswerButtonCount; ++i) {
        auto *button = new AnswerButton(this);
        button->setObjectName(u"Command1_%1"_s.arg(i));
        button->setFont(widgets::gothicFont(student::kInitialButtonPointSize, true));
        connect(button, &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
        Command1[i] = button;
    }

    connect(m_session, &student::SeatSession::updated, this, [this] {
        applyView();
        showNotice();
    });
    connect(m_session, &student::SeatSession::ended, this, &frmMain::endProgram);

    applyView();
    Form_Load();
}

void frmMain::setShareRunner(exchange::BackgroundShareRunner &runner)
{
    m_session->setShareRunner(runner);
    widgets::addShareStallBanner(this, runner, QRect(8, 112, kClientSize.width() - 16, 70),
                                 u"共有フォルダが応答しません。しばらく待ってください。"
                                 u"押したボタンは、応答が戻ってから届きます。"_s);
}

void frmMain::Form_Load()
{
    student::TwipsPosition position = student::loadMainPosition();
    if (!onSomeScreen(QRect(position.toPixels(), kClientSize)))
        position = student::TwipsPosition();
    move(position.toPixels());
    m_placedAt = position;

    m_session->start();
}

void frmMain::PollCommandFile()
{
    if (!m_ending)
        m_session->poll();
}

void frmMain::Command1_Click(int Index)
{
    if (!m_ending)
        m_session->click(Index);
}

void frmMain::applyView()
{
    const student::PanelView &view = m_session->panel().view();
    LblEnqete->setText(view.question);
    const QFont font = widgets::gothicFont(view.buttonPointSize, true);
    for (int i = 0; i < student::kAnswerButtonCount; ++i) {
        const student::AnswerButtonView &state = view.buttons[i];
        AnswerButton *button = Command1[i];
        // The font is the one FitAnswerFont chose; the button wraps the
        // caption at it, or steps down where the wrapped caption overflows.
        button->setCaption(state.caption);
        button->setFont(font);
        button->setGeometry(state.left, student::kAnswerButtonTop, state.width,
                            student::kAnswerButtonHeight);
        button->setVisible(state.visible);
    }
}

void frmMain::showNotice()
{
    const QString notice = m_session->panel().notice();
    if (notice == m_shownNotice)
        return;
    m_shownNotice = notice;
    m_messages.notice(this, windowTitle(), notice);
}

void frmMain::endProgram()
{
    m_ending = true;
    m_session->stop();
    emit endRequested();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    m_session->stop();
    m_messages.notice(this, windowTitle(), QString());
    m_shownNotice.clear();
    // A minimized window keeps the position of the last normal close.
    if (!m_ending && !isMinimized())
        student::saveMainPosition(m_placedAt.movedTo(pos()));
    event->accept();
}

} // namespace student::forms
