#include "frmMain.h"

#include "AnswerStatusWindow.h"
#include "ClassListMenu.h"
#include "FittingLabel.h"
#include "frmAbout.h"
#include "frmTimeLimit.h"
#include "LessonReportPdf.h"
#if OMBRA_GATEWAY
#include "GatewayMenu.h"
#endif
#include "TeacherUi.h"
#include "WrappingCheckBox.h"

#include "QuestionnaireWindows.h"

#include "widgets/ShareStallBanner.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTimer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace teacher::forms {
namespace {

// Client area 15240 x 10410 twips.
constexpr int kClientWidth = 1016;
constexpr int kClientHeight = 694;
// A close or a handler asked for while the lesson waits for the share is
// asked again this much later.
constexpr int kBusyRetryMs = 200;

constexpr int kBarLeft[5] = {32, 232, 432, 632, 832};
constexpr int kBarWidth = 120;
constexpr int kItemLeft[5] = {0, 208, 408, 600, 800};

// The control bar along the bottom; rows of the answer-set buttons inside it.
constexpr int kFrameTop = 612;
constexpr int kRowTop[2] = {24, 52};
constexpr int kRowHeight = 26;

// Answer-set buttons: index, left, width within the frame, by row.
struct OptPlace
{
    int index;
    int left;
    int width;
    int row;
};
constexpr OptPlace kOptPlaces[8] = {
    {1, 6, 64, 0},    {2, 74, 64, 0}, {3, 142, 86, 0},  {4, 232, 100, 0},
    {5, 336, 118, 0}, {6, 6, 112, 1}, {7, 120, 230, 1}, {0, 354, 136, 1},
};
// The answer-set captions are set a little smaller than the window's font so
// that the longest, "はい、いいえ、どちらでもない", fits its place.
constexpr double kOptPointSize = 10.5;

const QString kOptCaption[8] = {
    u"アンケート終了"_s, u"○×"_s,         u"1２"_s,          u"１２３"_s,
    u"１２３４"_s,       u"１２３４５"_s, u"はい、いいえ"_s, u"はい、いいえ、どちらでもない"_s};

QString indexed(QStringView name, int index)
{
    return name.toString() + u'_' + QString::number(index);
}

void setWhiteText(QLabel *label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TranslucentBackground);
}

} // namespace

frmMain::frmMain(lesson::Lesson &lesson, QWidget *parent)
    : QMainWindow(parent), m_lesson(lesson),
      m_documents(std::make_unique<QuestionnaireWindows>(lesson.document(), this)),
      m_endHandler([] { QApplication::quit(); })
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"オンブラ集計 先生用プログラム"_s);
    setWindowIcon(teacherIcon());
    setFont(gothicFont(12));

    auto *client = new QWidget(this);
    client->setObjectName(u"client"_s);
    client->setFixedSize(kClientWidth, kClientHeight);
    client->setAutoFillBackground(true);
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, graphBackground());
    client->setPalette(palette);
    setCentralWidget(client);
    m_client = client;

    // The lesson's session runs Timer1 itself; the window shows each
    // collection.
    connect(&m_lesson.session(), &lesson::LessonSession::changed, this, &frmMain::refresh);

    buildGraph(client);
    buildControlBar(client);
    buildMenus();
    buildAdditions();
    buildVoteAndTime();
    m_classList = new ClassListMenu(*this, lesson);
#if OMBRA_GATEWAY
    // Tablets on the gateway see the time left as the window does.
    const auto tellTablets = addGatewayMenuItem(this, findChild<QMenu *>(u"mnuFile"_s));
    connect(&m_lesson.timeLimit(), &lesson::TimeLimit::changed, this,
            [this, tellTablets] { tellTablets(m_lesson.timeLimit().caption()); });
#endif
    refresh();
}

frmMain::~frmMain() = default;

void frmMain::buildGraph(QWidget *client)
{
    m_lblEnqeteText = new QLabel(client);
    m_lblEnqeteText->setObjectName(u"lblEnqeteText"_s);
    m_lblEnqeteText->setGeometry(8, 0, kClientWidth - 16, 28);
    setWhiteText(m_lblEnqeteText);

    for (int k = 0; k < 5; ++k) {
        auto *bar = new QFrame(client);
        bar->setObjectName(indexed(u"ShapeGraph", k));
        bar->setAutoFillBackground(true);
        QPalette palette = bar->palette();
        palette.setColor(QPalette::Window, barColour(k));
        bar->setPalette(palette);
        m_shapeGraph[k] = bar;

        auto *sum = new QLabel(client);
        sum->setObjectName(indexed(u"LblAnswerSum", k));
        sum->setGeometry(200 * k, 10, 199, 100);
        sum->setFont(gothicFont(60));
        sum->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        setWhiteText(sum);
        m_lblAnswerSum[k] = sum;

        // Long answers wrap and, if need be, step down below the size the
        // lesson chose, rather than being cut off at the label's edge.
        auto *item = new FittingLabel(client);
        item->setObjectName(indexed(u"LblItem", k));
        item->setGeometry(kItemLeft[k], tally::kBaseLine, 185, 121);
        item->setWordWrap(true);
        item->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setWhiteText(item);
        m_lblItem[k] = item;
    }
}

void frmMain::buildControlBar(QWidget *client)
{
    m_frame1 = new QGroupBox(u"アンケートの設定"_s, client);
    m_frame1->setObjectName(u"Frame1"_s);
    m_frame1->setGeometry(0, kFrameTop, kClientWidth, kClientHeight - kFrameTop);
    // The control bar has the system's colours, not the graph's dark blue.
    m_frame1->setAutoFillBackground(true);
    QPalette barPalette = m_frame1->palette();
    const QPalette system = QApplication::palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText, QPalette::Button,
                                     QPalette::ButtonText, QPalette::Base, QPalette::Text})
        barPalette.setColor(role, system.color(role));
    m_frame1->setPalette(barPalette);

    m_check1 = new WrappingCheckBox(u"回答は１回だけ"_s, m_frame1);
    m_check1->setObjectName(u"Check1"_s);
    m_check1->setGeometry(twips(9360), kRowTop[0], 86, kRowTop[1] + kRowHeight - kRowTop[0]);
    // The boxes and option buttons tell the lesson of every change of their
    // state, however it is made: a click, the keyboard, or an assistive
    // tool's toggle action, which emits no clicked(). The lesson holds the
    // state; refresh() shows it with the controls' signals blocked, so each
    // handler runs once per change the user makes.
    connect(m_check1, &QCheckBox::toggled, this, [this](bool checked) {
        laterIfBusy([this, checked] {
            m_lesson.Check1_Click(checked);
            refresh();
        });
    });

    auto navButton = [this](const QString &name, const QString &caption, int left) {
        auto *button = new QPushButton(caption, m_frame1);
        button->setObjectName(name);
        button->setGeometry(left, kRowTop[0], 150, kRowTop[1] + kRowHeight - kRowTop[0]);
        button->setVisible(false);
        return button;
    };
    m_cmdBack = navButton(u"cmdBack"_s, u"もどる"_s, 8);
    m_cmdNext = navButton(u"cmdNext"_s, u"つぎへ"_s, 166);
    m_cmdEnd = navButton(u"cmdEnd"_s, u"ｱﾝｹｰﾄの終了"_s, 324);
    connect(m_cmdNext, &QPushButton::clicked, this,
            [this] { run(&lesson::Lesson::cmdNext_Click); });
    connect(m_cmdBack, &QPushButton::clicked, this,
            [this] { run(&lesson::Lesson::cmdBack_Click); });
    connect(m_cmdEnd, &QPushButton::clicked, this, [this] { run(&lesson::Lesson::cmdEnd_Click); });

    auto *frame2 = new QGroupBox(u"表示方法"_s, m_frame1);
    frame2->setObjectName(u"Frame2"_s);
    frame2->setGeometry(twips(7440), kRowTop[0] - 8, 124, kRowTop[1] + kRowHeight - kRowTop[0] + 8);
    const QString displayCaption[2] = {u"人数"_s, u"％"_s};
    for (int i = 0; i < 2; ++i) {
        auto *option = new QRadioButton(displayCaption[i], frame2);
        option->setObjectName(indexed(u"OptDisplay", i));
        option->setGeometry(6 + 60 * i, 26, 58, 28);
        connect(option, &QRadioButton::toggled, this, [this, i](bool checked) {
            if (!checked)
                return;
            laterIfBusy([this, i] {
                m_lesson.OptDisplay_Click(i);
                refresh();
            });
        });
        m_optDisplay[i] = option;
    }

    auto actionButton = [this](const QString &name, const QString &caption, int left, int width) {
        auto *button = new QPushButton(caption, m_frame1);
        button->setObjectName(name);
        button->setGeometry(left, kRowTop[0], width, kRowTop[1] + kRowHeight - kRowTop[0]);
        return button;
    };
    auto *start = actionButton(u"CmdStart"_s, u"再集計"_s, twips(10680), 98);
    auto *pause = actionButton(u"CmdPause"_s, u"集計中断"_s, twips(12240), 90);
    auto *clear = actionButton(u"CmdLVQClear"_s, u"表示の消去"_s, twips(13680), 98);
    connect(start, &QPushButton::clicked, this, [this] { run(&lesson::Lesson::CmdStart_Click); });
    connect(pause, &QPushButton::clicked, this, [this] { run(&lesson::Lesson::CmdPause_Click); });
    connect(clear, &QPushButton::clicked, this,
            [this] { run(&lesson::Lesson::CmdLVQClear_Click); });

    m_optLvqGroup = new QButtonGroup(this);
    m_optLvqGroup->setExclusive(true);
    for (const OptPlace &place : kOptPlaces) {
        auto *option = new QRadioButton(kOptCaption[place.index], m_frame1);
        option->setObjectName(indexed(u"OptLVQ", place.index));
        option->setGeometry(place.left, kRowTop[place.row], place.width, kRowHeight);
        option->setFont(gothicFont(kOptPointSize));
        m_optLvqGroup->addButton(option, place.index);
        const int index = place.index;
        connect(option, &QRadioButton::toggled, this, [this, index](bool checked) {
            if (!checked)
                return;
            laterIfBusy([this, index] {
                m_lesson.OptLVQ_Click(index);
                refresh();
            });
        });
        m_optLvq[place.index] = option;
    }
}

void frmMain::buildMenus()
{
    auto addItem = [this](QMenu *menu, const QString &name, const QString &caption,
                          void (frmMain::*handler)()) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(name);
        if (handler)
            connect(action, &QAction::triggered, this,
                    [this, handler] { laterIfBusy([this, handler] { (this->*handler)(); }); });
        return action;
    };

    QMenu *file = menuBar()->addMenu(u"ﾌｧｲﾙ(&F)"_s);
    file->setObjectName(u"mnuFile"_s);
    addItem(file, u"mnuFileOpen"_s, u"ファイルを開く"_s, &frmMain::mnuFileOpen_Click);
    addItem(file, u"mnuSave"_s, u"ファイルを保存"_s, &frmMain::mnuSave_Click);
    file->addSeparator()->setObjectName(u"mnuBar0"_s);
    addItem(file, u"mnuNew"_s, u"アンケート新規作成"_s, &frmMain::mnuNew_Click);
    file->addSeparator()->setObjectName(u"mnuBar1"_s);
    addItem(file, u"mnuFileExit"_s, u"終了(&X)"_s, &frmMain::mnuFileExit_Click);

    QMenu *edit = menuBar()->addMenu(u"編集"_s);
    edit->setObjectName(u"mnuEdit"_s);
    addItem(edit, u"mnuEditShow"_s, u"アンケート文を編集する"_s, &frmMain::mnuEditShow_Click);

    QMenu *display = menuBar()->addMenu(u"表示"_s);
    display->setObjectName(u"mnuDisplay"_s);
    // The display items are a checked pair showing the same choice as
    // OptDisplay; like the option buttons they act on a change of state,
    // whatever makes it.
    QAction *const displayItems[2] = {
        addItem(display, u"mnuDisplayNumber"_s, u"人数"_s, nullptr),
        addItem(display, u"mnuDisplayPercent"_s, u"パーセント"_s, nullptr)};
    void (frmMain::*const displayHandlers[2])() = {&frmMain::mnuDisplayNumber_Click,
                                                   &frmMain::mnuDisplayPercent_Click};
    auto *displayGroup = new QActionGroup(display);
    displayGroup->setExclusive(true);
    for (int i = 0; i < 2; ++i) {
        QAction *item = displayItems[i];
        item->setCheckable(true);
        displayGroup->addAction(item);
        connect(item, &QAction::toggled, this, [this, handler = displayHandlers[i]](bool checked) {
            // Unticking the item that is ticked shows the choice again: one
            // of the pair is always ticked.
            if (checked)
                (this->*handler)();
            else
                refresh();
        });
        m_displayItems[i] = item;
    }

    QMenu *help = menuBar()->addMenu(u"ﾍﾙﾌﾟ(&H)"_s);
    help->setObjectName(u"mnuHelp"_s);
    addItem(help, u"mnuHelpAbout"_s, u"ﾊﾞｰｼﾞｮﾝ情報(&A)"_s, &frmMain::mnuHelpAbout_Click);
}

bool frmMain::Form_Load()
{
    move(0, 0);
    if (!m_lesson.Form_Load())
        return false;
    m_classList->openRemembered();
    refresh();
    // Once Data exists.
    m_lesson.session().startAnswerWatch();
    return true;
}

void frmMain::laterIfBusy(const std::function<void()> &handler)
{
    // The lesson is inside a handler or a tick, perhaps waiting for the
    // share: user input waits meanwhile, but an assistive tool's action or
    // a timer of a window does not. What it asks for runs after.
    if (m_lesson.session().inHandler()) {
        QTimer::singleShot(kBusyRetryMs, this, [this, handler] { laterIfBusy(handler); });
        return;
    }
    handler();
}

void frmMain::run(void (lesson::Lesson::*procedure)())
{
    if (m_lesson.session().inHandler()) {
        laterIfBusy([this, procedure] { run(procedure); });
        return;
    }
    const lesson::LessonSession::HandlerScope scope(m_lesson.session());
    (m_lesson.*procedure)();
    refresh();
}

void frmMain::refresh()
{
    const lesson::MainView &view = m_lesson.view();
    m_frame1->setTitle(view.frameCaption.isEmpty() ? u"アンケートの設定"_s : view.frameCaption);
    m_lblEnqeteText->setText(view.enqeteText);

    for (QRadioButton *option : m_optLvq)
        option->setVisible(view.optLvqVisible);
    m_cmdBack->setVisible(view.backVisible);
    m_cmdNext->setVisible(view.nextVisible);
    m_cmdEnd->setVisible(view.endVisible);

    const QFont itemFont = gothicFont(view.itemPointSize);
    // The correct answer's label is underlined while it is shown.
    QFont correctFont = itemFont;
    correctFont.setUnderline(true);
    const int correctPosition = m_lesson.correctMark().position;
    for (int k = 0; k < 5; ++k) {
        m_lblItem[k]->setFont(k == correctPosition ? correctFont : itemFont);
        m_lblItem[k]->setText(view.itemCaptions[k]);
        const tally::Bar &bar = view.graph[k];
        m_lblAnswerSum[k]->setText(bar.caption);
        m_shapeGraph[k]->setGeometry(kBarLeft[k], static_cast<int>(std::lround(bar.top)), kBarWidth,
                                     static_cast<int>(std::lround(bar.height)));
    }

    // The lesson's state is shown, not changed: the controls' signals are
    // blocked meanwhile, so that no handler runs.
    auto show = [](auto *control, bool checked) {
        const QSignalBlocker quiet(control);
        control->setChecked(checked);
    };
    for (int index = 0; index < int(m_optLvq.size()); ++index)
        show(m_optLvq[index], index == m_lesson.answerSet());
    show(m_check1, m_lesson.OneAnswerOnly == 1);
    // The menu's pair too: with the items' signals blocked, their group
    // cannot uncheck the other one itself.
    for (int index = 0; index < 2; ++index) {
        show(m_optDisplay[index], index == m_lesson.displayIndex());
        show(m_displayItems[index], index == m_lesson.displayIndex());
    }

    showAnswerState();
    showCorrectMark();
    showEarlierVote();
    showTimeLimit();
}

void frmMain::mnuFileOpen_Click()
{
    m_lesson.mnuFileOpen_Click();
    refresh();
    m_documents->showFileOpen();
}

void frmMain::mnuSave_Click()
{
    m_lesson.document().chooseToSave();
    m_documents->showSave();
}

void frmMain::mnuNew_Click()
{
    m_documents->clearEditor();
    m_lesson.mnuNew_Click();
    refresh();
}

void frmMain::mnuEditShow_Click()
{
    m_documents->showEditor();
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::mnuHelpAbout_Click()
{
    const lesson::LessonSession::HandlerScope scope(m_lesson.session());
    frmAbout about(this);
    about.exec();
}

void frmMain::mnuDisplayNumber_Click()
{
    run(&lesson::Lesson::mnuDisplayNumber_Click);
}

void frmMain::mnuDisplayPercent_Click()
{
    run(&lesson::Lesson::mnuDisplayPercent_Click);
}

// ------------------------------------------------ additions to the lesson

void frmMain::buildAdditions()
{
    // "回答 n人" at the right end of the control bar's caption line, clear of
    // every control of the bar. It covers the frame's line as a title does.
    m_lblAnswered = new QLabel(m_frame1);
    m_lblAnswered->setObjectName(u"lblAnswered"_s);
    m_lblAnswered->setGeometry(kClientWidth - 148, 0, 140, 22);
    m_lblAnswered->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lblAnswered->setAutoFillBackground(true);
    m_lblAnswered->setContentsMargins(6, 0, 6, 0);

    QMenu *file = findChild<QMenu *>(u"mnuFile"_s);
    QAction *beforeExit = findChild<QAction *>(u"mnuBar1"_s);
    QAction *saveImage = new QAction(u"グラフを画像で保存..."_s, file);
    saveImage->setObjectName(u"mnuSaveGraphImage"_s);
    connect(saveImage, &QAction::triggered, this, &frmMain::mnuSaveGraphImage_Click);
    file->insertSeparator(beforeExit)->setObjectName(u"mnuBarImage"_s);
    file->insertAction(beforeExit, saveImage);
    QAction *saveReport = new QAction(u"授業のまとめをPDFで保存..."_s, file);
    saveReport->setObjectName(u"mnuSaveLessonReport"_s);
    connect(saveReport, &QAction::triggered, this, &frmMain::mnuSaveLessonReport_Click);
    file->insertAction(beforeExit, saveReport);

    QMenu *display = findChild<QMenu *>(u"mnuDisplay"_s);
    display->addSeparator()->setObjectName(u"mnuBarStatus"_s);
    m_hideGraph = display->addAction(u"グラフを隠す"_s);
    m_hideGraph->setObjectName(u"mnuHideGraph"_s);
    m_hideGraph->setCheckable(true);
    m_hideGraph->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    m_hideGraph->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_hideGraph, &QAction::toggled, this, &frmMain::mnuHideGraph_Toggled);
    QAction *status = display->addAction(u"回答状況"_s);
    status->setObjectName(u"mnuAnswerStatus"_s);
    status->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    connect(status, &QAction::triggered, this, &frmMain::mnuAnswerStatus_Click);
    display->addSeparator()->setObjectName(u"mnuBarCorrect"_s);
    m_revealCorrect = display->addAction(u"正解を表示"_s);
    m_revealCorrect->setObjectName(u"mnuRevealCorrect"_s);
    m_revealCorrect->setCheckable(true);
    m_revealCorrect->setEnabled(false);
    m_revealCorrect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    m_revealCorrect->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_revealCorrect, &QAction::toggled, this, &frmMain::mnuRevealCorrect_Toggled);

    // "正答 n人（p%）" on the caption line, left of "回答 n人".
    m_lblCorrect = new QLabel(m_frame1);
    m_lblCorrect->setObjectName(u"lblCorrect"_s);
    m_lblCorrect->setGeometry(kClientWidth - 148 - 220, 0, 214, 22);
    m_lblCorrect->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lblCorrect->setAutoFillBackground(true);
    m_lblCorrect->setContentsMargins(6, 0, 6, 0);
    m_lblCorrect->setVisible(false);
    // "正解" beside the correct answer's bar, on its base line: black on
    // white in a black box, readable from the back and in black and white.
    m_lblCorrectTag = new QLabel(u"正解"_s, m_client);
    m_lblCorrectTag->setObjectName(u"lblCorrectTag"_s);
    m_lblCorrectTag->setAccessibleName(u"正解"_s);
    m_lblCorrectTag->setFont(gothicFont(18, true));
    m_lblCorrectTag->setAlignment(Qt::AlignCenter);
    m_lblCorrectTag->setStyleSheet(
        u"QLabel { background: white; color: black; border: 3px solid black; }"_s);
    m_lblCorrectTag->setVisible(false);
    // A white frame around the correct answer's bar, clear of the bar itself
    // so that its colour stays; it shows even when nobody chose it.
    m_correctOutline = new QFrame(m_client);
    m_correctOutline->setObjectName(u"correctOutline"_s);
    m_correctOutline->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_correctOutline->setStyleSheet(
        u"QFrame { border: 5px solid white; border-bottom: none; background: transparent; }"_s);
    m_correctOutline->setVisible(false);

    m_chooseImagePath = [this](const QString &proposed) {
        return QFileDialog::getSaveFileName(this, u"グラフを画像で保存"_s, proposed,
                                            u"PNG 画像 (*.png)"_s);
    };
    m_chooseReportPath = [this](const QString &proposed) {
        return QFileDialog::getSaveFileName(this, u"授業のまとめをPDFで保存"_s, proposed,
                                            u"PDF (*.pdf)"_s);
    };
    m_warn = [this](const QString &text) { QMessageBox::warning(this, windowTitle(), text); };
}

void frmMain::mnuRevealCorrect_Toggled(bool on)
{
    m_lesson.mnuRevealCorrect_Toggled(on);
    refresh();
}

void frmMain::showCorrectMark()
{
    m_revealCorrect->setEnabled(m_lesson.shownCorrect() != 0);
    {
        const QSignalBlocker quiet(m_revealCorrect);
        m_revealCorrect->setChecked(m_lesson.revealCorrect());
    }
    const lesson::Lesson::CorrectMark mark = m_lesson.correctMark();
    m_lblCorrect->setText(mark.caption);
    m_lblCorrect->setVisible(!mark.caption.isEmpty());
    m_lblCorrectTag->setVisible(mark.position >= 0);
    // The outline tells the bar's height: hidden with the bars.
    m_correctOutline->setVisible(mark.position >= 0 && !m_shapeGraph[0]->isHidden());
    if (mark.position < 0)
        return;
    constexpr int kOutline = 5;
    constexpr int kGap = 2;
    const QRect bar = m_shapeGraph[mark.position]->geometry();
    const int top = std::min(bar.top(), tally::kBaseLine - 12) - kOutline - kGap;
    m_correctOutline->setGeometry(bar.left() - kOutline - kGap, top,
                                  bar.width() + 2 * (kOutline + kGap), tally::kBaseLine - top);
    // Right of the bar, in the gap before the next one; left of the last
    // bar, which has no gap after it.
    constexpr int kTagWidth = 72;
    constexpr int kTagHeight = 36;
    const int left = mark.position < 4 ? kBarLeft[mark.position] + kBarWidth + 8
                                       : kBarLeft[mark.position] - kTagWidth - 8;
    m_lblCorrectTag->setGeometry(left, tally::kBaseLine - kTagHeight, kTagWidth, kTagHeight);
    m_correctOutline->raise();
    m_lblCorrectTag->raise();
}

void frmMain::mnuSaveLessonReport_Click()
{
    const QDate today = QDate::currentDate();
    // With names in its table, the report goes to the teacher's own folders.
    const QDir proposed =
        m_classList->hasList()
            ? QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            : QDir::current();
    QString path = m_chooseReportPath(proposed.filePath(tally::reportFileName(today)));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += u".pdf"_s;
    if (m_classList->refusesNamesAt(path))
        return;
    const lesson::LessonSession &session = m_lesson.session();
    tally::LessonReport report = tally::makeLessonReport(
        session.record().history(), session.studentsMax(), today, QDir::currentPath());
    m_classList->nameSeats(report);
    const exchange::FileStatus status = writeLessonReportPdf(report, path);
    if (!status.ok) {
        m_warn(u"授業のまとめを保存できませんでした。\n"_s + QDir::toNativeSeparators(path) +
               u"\n"_s + status.error);
    }
}

void frmMain::showAnswerState()
{
    const tally::AnsweredSeats answered =
        tally::answeredSeats(m_lesson.session().lastTally(), m_lesson.session().studentsMax());
    m_lblAnswered->setText(u"回答 "_s + QString::number(answered.count) + u"人"_s);
    if (m_answerStatus)
        m_answerStatus->showAnswered(answered);
}

void frmMain::mnuAnswerStatus_Click()
{
    if (!m_answerStatus) {
        m_answerStatus = new AnswerStatusWindow(this);
        showAnswerState();
    }
    m_answerStatus->show();
    m_answerStatus->raise();
    m_answerStatus->activateWindow();
}

// Hiding touches only the bars' and numbers' visibility; every drawing goes on
// underneath, so unticking shows the current tally at once, and the choice
// holds across questions.
void frmMain::mnuHideGraph_Toggled(bool hidden)
{
    for (int k = 0; k < 5; ++k) {
        m_shapeGraph[k]->setVisible(!hidden);
        m_lblAnswerSum[k]->setVisible(!hidden);
    }
    showCorrectMark();
    showEarlierVote();
}

QPixmap frmMain::grabGraph()
{
    const bool hidden = m_hideGraph->isChecked();
    if (hidden)
        mnuHideGraph_Toggled(false);
    QPixmap picture = m_client->grab(QRect(0, 0, kClientWidth, kFrameTop));
    if (hidden)
        mnuHideGraph_Toggled(true);
    return picture;
}

QString frmMain::proposedImageName() const
{
    return u"グラフ_第"_s + QString::number(m_lesson.frameNumber()) + u"問.png"_s;
}

void frmMain::mnuSaveGraphImage_Click()
{
    const QPixmap picture = grabGraph();
    QString path = m_chooseImagePath(QDir::current().filePath(proposedImageName()));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += u".png"_s;
    QSaveFile file(path);
    QString error;
    if (!file.open(QIODevice::WriteOnly))
        error = file.errorString();
    else if (!picture.save(&file, "PNG"))
        error = file.errorString().isEmpty() ? u"画像を書き込めません"_s : file.errorString();
    else if (!file.commit())
        error = file.errorString();
    if (!error.isEmpty()) {
        m_warn(u"グラフの画像を保存できませんでした。\n"_s + QDir::toNativeSeparators(path) +
               u"\n"_s + error);
    }
}

// ----------------------------------------------- time limit and votes

void frmMain::buildVoteAndTime()
{
    QMenu *display = findChild<QMenu *>(u"mnuDisplay"_s);
    display->addSeparator()->setObjectName(u"mnuBarVote"_s);
    QAction *limit = display->addAction(u"制限時間..."_s);
    limit->setObjectName(u"mnuTimeLimit"_s);
    limit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(limit, &QAction::triggered, this, &frmMain::mnuTimeLimit_Click);
    m_voteAgain = display->addAction(u"もう一度投票"_s);
    m_voteAgain->setObjectName(u"mnuVoteAgain"_s);
    m_voteAgain->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_voteAgain->setEnabled(false);
    connect(m_voteAgain, &QAction::triggered, this, &frmMain::mnuVoteAgain_Click);

    // The time left, large, in the gap between the fourth and the fifth
    // bar, below their numbers: it hides no number, label or question.
    m_lblTimeLimit = new QLabel(m_client);
    m_lblTimeLimit->setObjectName(u"lblTimeLimit"_s);
    m_lblTimeLimit->setGeometry(kBarLeft[3] + kBarWidth - 6, 118,
                                kBarLeft[4] - kBarLeft[3] - kBarWidth + 12, 84);
    m_lblTimeLimit->setFont(gothicFont(22, true));
    m_lblTimeLimit->setAlignment(Qt::AlignCenter);
    m_lblTimeLimit->setStyleSheet(
        u"QLabel { background: black; color: yellow; border: 2px solid yellow; }"_s);
    m_lblTimeLimit->setVisible(false);
    connect(&m_lesson.timeLimit(), &lesson::TimeLimit::changed, this, &frmMain::refresh);

    // The previous vote: a dashed outline over each bar to the height the
    // bar had then, with its number; the legend right of the last bar.
    const QString pale = u"#ffe680"_s;
    for (int k = 0; k < 5; ++k) {
        auto *outline = new QFrame(m_client);
        outline->setObjectName(indexed(u"EarlierGraph", k));
        outline->setAttribute(Qt::WA_TransparentForMouseEvents);
        outline->setStyleSheet(u"QFrame { border: 3px dashed %1; border-bottom: none;"
                               u" background: transparent; }"_s.arg(pale));
        outline->setVisible(false);
        m_earlierBar[k] = outline;
        auto *sum = new QLabel(m_client);
        sum->setObjectName(indexed(u"LblEarlierSum", k));
        sum->setFont(gothicFont(16, true));
        sum->setAlignment(Qt::AlignCenter);
        sum->setStyleSheet(u"QLabel { color: %1; background: rgba(0, 0, 0, 128); }"_s.arg(pale));
        sum->setVisible(false);
        m_earlierSum[k] = sum;
    }
    const QString legendStyle[2] = {u"QLabel { color: %1; border: 2px dashed %1; }"_s.arg(pale),
                                    u"QLabel { color: white; border: 2px solid white; }"_s};
    for (int i = 0; i < 2; ++i) {
        auto *legend = new QLabel(m_client);
        legend->setObjectName(indexed(u"lblVoteLegend", i));
        legend->setFont(gothicFont(11, true));
        legend->setAlignment(Qt::AlignCenter);
        legend->setStyleSheet(legendStyle[i]);
        legend->setGeometry(kBarLeft[4] + kBarWidth + 4, 140 + 36 * i, 56, 28);
        legend->setVisible(false);
        m_voteLegend[i] = legend;
    }
}

void frmMain::showTimeLimit()
{
    const lesson::TimeLimit &limit = m_lesson.timeLimit();
    const QString caption = limit.caption();
    // Two lines to fit the gap: "のこり" over "1:05", "時間" over "です".
    QString lines = caption;
    lines.replace(u' ', u'\n');
    if (limit.state() == lesson::TimeLimit::State::TimeUp)
        lines.insert(2, u'\n');
    m_lblTimeLimit->setText(lines);
    m_lblTimeLimit->setAccessibleName(caption);
    m_lblTimeLimit->setVisible(!caption.isEmpty());
    m_lblTimeLimit->raise();
    if (m_timeLimitWindow) {
        m_timeLimitWindow->showLimit(caption, m_lesson.session().answering(),
                                     limit.state() == lesson::TimeLimit::State::Running);
    }
}

void frmMain::showEarlierVote()
{
    m_voteAgain->setEnabled(m_lesson.canVoteAgain());
    const std::optional<lesson::Lesson::EarlierVote> vote = m_lesson.earlierVote();
    const bool shown = vote && !m_hideGraph->isChecked();
    for (int k = 0; k < 5; ++k) {
        const tally::Bar bar = vote ? vote->graph[k] : tally::Bar{};
        const bool visible = shown && !bar.caption.isEmpty();
        m_earlierBar[k]->setVisible(visible);
        m_earlierSum[k]->setVisible(visible);
        if (!visible)
            continue;
        const int top = static_cast<int>(std::lround(bar.top));
        m_earlierBar[k]->setGeometry(kBarLeft[k] + 6, top, kBarWidth - 12, tally::kBaseLine - top);
        m_earlierSum[k]->setText(bar.caption);
        m_earlierSum[k]->setAccessibleName(vote->earlierLabel + u' ' + bar.caption);
        // Above both bars, so that it covers neither.
        const int above = std::min(top, m_shapeGraph[k]->y());
        m_earlierSum[k]->setGeometry(kBarLeft[k], std::max(above - 30, 110), kBarWidth, 26);
        m_earlierBar[k]->raise();
        m_earlierSum[k]->raise();
    }
    for (int i = 0; i < 2; ++i) {
        m_voteLegend[i]->setText(vote ? (i == 0 ? vote->earlierLabel : vote->currentLabel)
                                      : QString());
        m_voteLegend[i]->setVisible(bool(vote));
    }
}

void frmMain::mnuTimeLimit_Click()
{
    if (!m_timeLimitWindow) {
        m_timeLimitWindow = new frmTimeLimit(this);
        connect(m_timeLimitWindow, &frmTimeLimit::startRequested, this, [this](int seconds) {
            laterIfBusy([this, seconds] {
                if (!m_lesson.startTimeLimit(seconds))
                    m_warn(u"回答を受け付けていないので、制限時間を始められません。"
                           u"「つぎへ」か「再集計」で質問を出してから始めてください。"_s);
                refresh();
            });
        });
        connect(m_timeLimitWindow, &frmTimeLimit::cancelRequested, this, [this] {
            laterIfBusy([this] {
                m_lesson.cancelTimeLimit();
                refresh();
            });
        });
        showTimeLimit();
    }
    m_timeLimitWindow->show();
    m_timeLimitWindow->raise();
    m_timeLimitWindow->activateWindow();
}

void frmMain::mnuVoteAgain_Click()
{
    laterIfBusy([this] { run(&lesson::Lesson::mnuVoteAgain_Click); });
}

void frmMain::setShareRunner(exchange::BackgroundShareRunner &runner)
{
    m_lesson.session().setShareRunner(runner);
    widgets::addShareStallBanner(
        m_client, runner, QRect(8, 32, kClientWidth - 16, 56),
        u"共有フォルダが応答しません。応答を待っています。"
        u"集めた回答はこのパソコンに残っており、応答が戻ればそのまま続きます。"_s);
}

// Closing ends the lesson: the seats are told first, then the record is
// written, then the program ends with every window it has.
void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    // A tick or a handler is waiting for the share: the lesson ends once
    // it is done, not in the middle of it.
    if (m_lesson.session().inHandler()) {
        event->ignore();
        QTimer::singleShot(kBusyRetryMs, this, &QWidget::close);
        return;
    }
    event->accept();
    m_unloaded = true;
    m_lesson.Form_Unload();
    if (m_endHandler)
        m_endHandler();
}

} // namespace teacher::forms
