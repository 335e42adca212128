#include "MainWindowFixture.h"
#include "teacher/lesson/ClassroomFolder.h"
#include "teacher/lesson/ScriptedPrompter.h"

#include "exchange/ExchangeFiles.h"
#include "teacher/forms/AnswerStatusWindow.h"
#include "teacher/forms/FittingLabel.h"
#include "teacher/forms/frmAbout.h"
#include "teacher/forms/frmLogin.h"
#include "teacher/forms/frmMain.h"
#include "teacher/forms/MessageBoxPrompter.h"
#include "teacher/tally/LessonReport.h"
#include "widgets/QtJapanese.h"
#if OMBRA_GATEWAY
#include "gateway/GatewayServer.h"
#include "teacher/forms/QrCodeWidget.h"
#include "teacher/forms/frmGateway.h"

#include <QTcpSocket>
#endif

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestTeacherForms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void loginKeys_data();
    void loginKeys();
    void mainWindowAtStart();
    void menus_data();
    void menus();
    void buttonsDriveTheLesson();
    void stateChangesReachTheLesson_data();
    void stateChangesReachTheLesson();
    void messageBoxKeys_data();
    void messageBoxKeys();
    void qtTextsInJapanese();
    void captionsFit_data();
    void captionsFit();
    void answerStateAndHiddenGraph();
    void graphPicture();
    void correctAnswerAndReport();
    void closingEndsTheLesson();
    void gatewayWindow();
    void closingTheProgramStopsTheGateway();
    void gatewayWindowKeepsTheSelection();
    void publishFailureBoxWithTimerRunning();
    void handlersWaitForTheShare_data();
    void handlersWaitForTheShare();
    void aboutDialog();

private:
    template <typename T> static T *child(QWidget *parent, const QString &name)
    {
        T *widget = parent->findChild<T *>(name);
        if (!widget)
            qWarning("no child %s", qPrintable(name));
        return widget;
    }
};

void TestTeacherForms::loginKeys_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("ok");
    QTest::newRow("Enter presses OK") << u"enter"_s << true;
    QTest::newRow("Esc cancels") << u"escape"_s << false;
    // Enter presses the focused button; OK takes it back when focus leaves.
    QTest::newRow("Tab to ｷｬﾝｾﾙ, Enter") << u"tab enter"_s << false;
    QTest::newRow("Tab to ｷｬﾝｾﾙ and back, Enter") << u"tab tab enter"_s << true;
    QTest::newRow("ｷｬﾝｾﾙ button") << u"cancel"_s << false;
    QTest::newRow("close box") << u"close"_s << false;
}

void TestTeacherForms::loginKeys()
{
    QFETCH(QString, how);
    QFETCH(bool, ok);
    teacher::frmLogin login;
    QCOMPARE(login.windowTitle(), u"オンブラ（先生用）　ﾛｸﾞｵﾝ"_s);
    QCOMPARE(child<QLabel>(&login, u"lblLabels"_s)->text(),
             u"このソフトは先生用です。まちがった人は、キャンセルをクリックして下さい。"_s);
    QCOMPARE(child<QPushButton>(&login, u"cmdCancel"_s)->text(), u"ｷｬﾝｾﾙ"_s);
    QTimer::singleShot(0, &login, [&] {
        if (how.contains(u"tab"_s)) {
            QVERIFY(QTest::qWaitForWindowActive(&login));
            for (const QString &key : how.split(u' ')) {
                QWidget *focus = QApplication::focusWidget();
                QVERIFY(focus);
                QTest::keyClick(focus, key == u"tab"_s ? Qt::Key_Tab : Qt::Key_Return);
            }
        } else if (how == u"enter")
            QTest::keyClick(&login, Qt::Key_Return);
        else if (how == u"escape")
            QTest::keyClick(&login, Qt::Key_Escape);
        else if (how == u"cancel")
            QTest::mouseClick(child<QPushButton>(&login, u"cmdCancel"_s), Qt::LeftButton);
        else
            login.close();
    });
    login.exec();
    QCOMPARE(login.OK, ok);
}

void TestTeacherForms::mainWindowAtStart()
{
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;

    QCOMPARE(window.windowTitle(), u"オンブラ集計 先生用プログラム"_s);
    QCOMPARE(window.centralWidget()->size(), QSize(1016, 694));
    QCOMPARE(child<QGroupBox>(&window, u"Frame1"_s)->title(), u"第 1問のアンケートの設定"_s);
    QVERIFY(!child<QPushButton>(&window, u"cmdNext"_s)->isVisible());
    QVERIFY(!child<QPushButton>(&window, u"cmdBack"_s)->isVisible());
    QVERIFY(!child<QPushButton>(&window, u"cmdEnd"_s)->isVisible());
    QCOMPARE(child<QPushButton>(&window, u"cmdEnd"_s)->text(), u"ｱﾝｹｰﾄの終了"_s);
    for (int i = 0; i < 8; ++i)
        QVERIFY(child<QRadioButton>(&window, u"OptLVQ_"_s + QString::number(i))->isVisible());
    QVERIFY(child<QRadioButton>(&window, u"OptLVQ_1"_s)->isChecked());
    QCOMPARE(child<QRadioButton>(&window, u"OptLVQ_2"_s)->text(), u"1２"_s);
    QVERIFY(child<QRadioButton>(&window, u"OptDisplay_0"_s)->isChecked());
    QVERIFY(child<QCheckBox>(&window, u"Check1"_s)->isChecked());
    QCOMPARE(child<QCheckBox>(&window, u"Check1"_s)->text(), u"回答は１回だけ"_s);
    QCOMPARE(child<QGroupBox>(&window, u"Frame2"_s)->title(), u"表示方法"_s);
    QVERIFY(!window.timer()->isActive());

    // bars, count labels and answer labels at their places
    QCOMPARE(child<QFrame>(&window, u"ShapeGraph_2"_s)->geometry(), QRect(432, 104, 120, 400));
    QCOMPARE(child<QLabel>(&window, u"LblAnswerSum_4"_s)->geometry(), QRect(800, 10, 199, 100));
    QCOMPARE(child<QLabel>(&window, u"LblAnswerSum_4"_s)->text(), u"100"_s);
    QCOMPARE(child<QLabel>(&window, u"LblItem_3"_s)->geometry(), QRect(600, 504, 185, 121));
    QCOMPARE(child<QLabel>(&window, u"LblItem_3"_s)->text(), u"はい、いいえ"_s);

    // The control bar's right-hand controls, left to right at their twips.
    const QStringList order = {u"Frame2"_s, u"Check1"_s, u"CmdStart"_s, u"CmdPause"_s,
                               u"CmdLVQClear"_s};
    const int lefts[] = {496, 624, 712, 816, 912};
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(child<QWidget>(&window, order[i])->x(), lefts[i]);

    const QString shot = qEnvironmentVariable("OMBRA_SCREENSHOT_DIR");
    if (!shot.isEmpty()) {
        QApplication::processEvents();
        window.grab().save(shot + u"/teacher-start.png"_s);
    }
}

void TestTeacherForms::menus_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("open") << u"mnuFileOpen"_s << u"ファイルを開く"_s;
    QTest::newRow("save") << u"mnuSave"_s << u"ファイルを保存"_s;
    QTest::newRow("new") << u"mnuNew"_s << u"アンケート新規作成"_s;
    QTest::newRow("exit") << u"mnuFileExit"_s << u"終了(&X)"_s;
    QTest::newRow("tablet") << u"mnuTablet"_s << u"タブレットから回答..."_s;
    QTest::newRow("edit") << u"mnuEditShow"_s << u"アンケート文を編集する"_s;
    QTest::newRow("count") << u"mnuDisplayNumber"_s << u"人数"_s;
    QTest::newRow("percent") << u"mnuDisplayPercent"_s << u"パーセント"_s;
    QTest::newRow("about") << u"mnuHelpAbout"_s << u"ﾊﾞｰｼﾞｮﾝ情報(&A)"_s;
    QTest::newRow("graph picture") << u"mnuSaveGraphImage"_s << u"グラフを画像で保存..."_s;
    QTest::newRow("hide graph") << u"mnuHideGraph"_s << u"グラフを隠す"_s;
    QTest::newRow("answer status") << u"mnuAnswerStatus"_s << u"回答状況"_s;
    QTest::newRow("reveal correct") << u"mnuRevealCorrect"_s << u"正解を表示"_s;
    QTest::newRow("lesson report") << u"mnuSaveLessonReport"_s << u"授業のまとめをPDFで保存..."_s;
}

void TestTeacherForms::menus()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    ScriptedPrompter prompter;
    lesson::Lesson lesson(prompter);
    teacher::frmMain window(lesson);
    QAction *action = window.findChild<QAction *>(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
}

void TestTeacherForms::buttonsDriveTheLesson()
{
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;

    QTest::mouseClick(child<QRadioButton>(&window, u"OptLVQ_7"_s), Qt::LeftButton);
    QCOMPARE(lesson.LVQMode, 3.0);
    QTest::mouseClick(child<QPushButton>(&window, u"CmdStart"_s), Qt::LeftButton);
    QVERIFY(window.timer()->isActive());
    QCOMPARE(child<QLabel>(&window, u"LblItem_3"_s)->text(), u"どちらでもない"_s);
    QCOMPARE(child<QLabel>(&window, u"LblItem_3"_s)->font().pointSize(), 28);
    QVERIFY(ClassroomFolder::read(exchange::commandFilePath(5)).startsWith(" 3 \r\n"));

    ClassroomFolder::write(exchange::answerFilePath(5), exchange::answerFileBytes(2));
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&window, u"LblAnswerSum_2"_s)->text(), u"1人"_s, 3000);
    QCOMPARE(child<QFrame>(&window, u"ShapeGraph_2"_s)->geometry(), QRect(432, 496, 120, 8));

    QTest::mouseClick(child<QCheckBox>(&window, u"Check1"_s), Qt::LeftButton);
    QCOMPARE(lesson.OneAnswerOnly, 0);
    QTest::mouseClick(child<QRadioButton>(&window, u"OptDisplay_1"_s), Qt::LeftButton);
    QCOMPARE(child<QLabel>(&window, u"LblAnswerSum_2"_s)->text(), u"100%"_s);

    const QString shot = qEnvironmentVariable("OMBRA_SCREENSHOT_DIR");
    if (!shot.isEmpty())
        window.grab().save(shot + u"/teacher-graph.png"_s);

    QTest::mouseClick(child<QPushButton>(&window, u"CmdPause"_s), Qt::LeftButton);
    QVERIFY(!window.timer()->isActive());
    QTest::mouseClick(child<QPushButton>(&window, u"CmdLVQClear"_s), Qt::LeftButton);
    QCOMPARE(child<QGroupBox>(&window, u"Frame1"_s)->title(), u"第 2問のアンケートの設定"_s);
}

namespace {

// Acts on a control the way the name says, without a mouse click where the
// name says so: the widget's own setter, or an assistive tool's action.
void change(QObject *control, const QString &how)
{
    if (auto *action = qobject_cast<QAction *>(control)) {
        if (how == u"setChecked")
            action->setChecked(true);
        else
            action->trigger();
        return;
    }
    auto *button = qobject_cast<QAbstractButton *>(control);
    QVERIFY(button);
    if (how == u"setChecked") {
        button->setChecked(!button->isChecked() || qobject_cast<QRadioButton *>(button));
    } else if (how == u"space") {
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
    } else {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
        QVERIFY(accessible && accessible->actionInterface());
        const QString name = how == u"toggle action" ? QAccessibleActionInterface::toggleAction()
                                                     : QAccessibleActionInterface::pressAction();
        const bool wasChecked = button->isChecked();
        accessible->actionInterface()->doAction(name);
        // The press action clicks after a short animation.
        QTRY_VERIFY(button->isChecked() != wasChecked);
    }
}

} // namespace

void TestTeacherForms::stateChangesReachTheLesson_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("firstLine"); // the command file after 再集計
    QTest::addColumn<QByteArray>("lastLine");
    QTest::addColumn<int>("display");

    const QByteArray twoAnswers = " 2 \r\n";
    const QByteArray once = " 1 \r\n";
    for (const char *how : {"setChecked", "toggle action", "press action", "space"}) {
        QTest::addRow("回答は１回だけ, %s", how)
            << u"Check1"_s << QString::fromLatin1(how) << twoAnswers << QByteArray(" 0 \r\n") << 0;
        QTest::addRow("１２３, %s", how)
            << u"OptLVQ_3"_s << QString::fromLatin1(how) << QByteArray(" 3 \r\n") << once << 0;
        QTest::addRow("％, %s", how)
            << u"OptDisplay_1"_s << QString::fromLatin1(how) << twoAnswers << once << 1;
    }
    QTest::newRow("menu パーセント, setChecked")
        << u"mnuDisplayPercent"_s << u"setChecked"_s << twoAnswers << once << 1;
    QTest::newRow("menu パーセント, press")
        << u"mnuDisplayPercent"_s << u"trigger"_s << twoAnswers << once << 1;
    QTest::newRow("menu 人数 while showing 人数")
        << u"mnuDisplayNumber"_s << u"trigger"_s << twoAnswers << once << 0;
}

void TestTeacherForms::stateChangesReachTheLesson()
{
    QFETCH(QString, control);
    QFETCH(QString, how);
    QFETCH(QByteArray, firstLine);
    QFETCH(QByteArray, lastLine);
    QFETCH(int, display);
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;

    QObject *target = window.findChild<QObject *>(control);
    QVERIFY(target);
    change(target, how);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(lesson.displayIndex(), display);
    QCOMPARE(child<QRadioButton>(&window, u"OptDisplay_"_s + QString::number(display))->isChecked(),
             true);
    QVERIFY(window.findChild<QAction *>(display ? u"mnuDisplayPercent"_s : u"mnuDisplayNumber"_s)
                ->isChecked());
    QCOMPARE(child<QCheckBox>(&window, u"Check1"_s)->isChecked(), lastLine == " 1 \r\n");

    QTest::mouseClick(child<QPushButton>(&window, u"CmdStart"_s), Qt::LeftButton);
    const QByteArray command = ClassroomFolder::read(exchange::commandFilePath(5));
    QVERIFY2(command.startsWith(firstLine), command.constData());
    QVERIFY2(command.endsWith(lastLine), command.constData());
}

// Every two-button box of the teacher's program: Enter presses the button
// that has the focus, the default one until Tab moves on.
void TestTeacherForms::messageBoxKeys_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("first"); // the box answered with its first button

    for (const char *box :
         {"end questionnaire", "end without record", "publish failed", "take over folder"}) {
        const bool yesByDefault =
            QByteArray(box) != "end without record" && QByteArray(box) != "take over folder";
        QTest::addRow("%s, Enter", box) << QString::fromLatin1(box) << u"enter"_s << yesByDefault;
        QTest::addRow("%s, Esc", box) << QString::fromLatin1(box) << u"escape"_s << false;
    }
    QTest::newRow("end questionnaire, Tab to いいえ, Enter")
        << u"end questionnaire"_s << u"tab enter"_s << false;
    QTest::newRow("end without record, Shift+Tab to はい, Enter")
        << u"end without record"_s << u"backtab enter"_s << true;
    QTest::newRow("publish failed, Tab to 続行, Enter")
        << u"publish failed"_s << u"tab enter"_s << false;
    QTest::newRow("take over folder, Shift+Tab to はい, Enter")
        << u"take over folder"_s << u"backtab enter"_s << true;
}

void TestTeacherForms::messageBoxKeys()
{
    QFETCH(QString, box);
    QFETCH(QString, keys);
    QFETCH(bool, first);
    QWidget parent;
    parent.show();
    teacher::MessageBoxPrompter prompter;
    prompter.setParentWidget(&parent);

    bool pressed = false;
    QTimer::singleShot(0, &parent, [&] {
        auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(shown);
        // Whatever happens below, the box goes away.
        auto closeBox = qScopeGuard([shown] { shown->done(-1); });
        QVERIFY(QTest::qWaitForWindowActive(shown));
        for (const QString &key : keys.split(u' ')) {
            const Qt::Key code = key == u"tab"_s       ? Qt::Key_Tab
                                 : key == u"backtab"_s ? Qt::Key_Backtab
                                 : key == u"escape"_s  ? Qt::Key_Escape
                                                       : Qt::Key_Return;
            QTest::keyClick(QApplication::focusWidget(), code,
                            code == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        }
        pressed = !shown->isVisible();
        if (pressed)
            closeBox.dismiss();
    });
    bool answer = false;
    if (box == u"end questionnaire")
        answer = prompter.confirmEndQuestionnaire();
    else if (box == u"end without record")
        answer = prompter.confirmEndWithoutRecord({{}, {u"Kiroku.csv"_s}, {}});
    else if (box == u"take over folder")
        answer = prompter.takeOverFolder(u"PC-ROOM2"_s, QDateTime::currentDateTime());
    else
        answer = prompter.publishFailed(u"Data/LVQ1.ini"_s, 1, 102, u"書き込めません"_s) ==
                 lesson::LessonPrompter::PublishChoice::Retry;
    QVERIFY(pressed);
    QCOMPARE(answer, first);
}

void TestTeacherForms::captionsFit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("answerSet");      // shown before looking, -1 none
    QTest::addColumn<QStringList>("labels"); // a questionnaire's labels instead
    for (int i = 0; i < 8; ++i)
        QTest::addRow("OptLVQ_%d", i) << u"OptLVQ_%1"_s.arg(i) << -1 << QStringList();
    for (const char *name : {"OptDisplay_0", "OptDisplay_1", "CmdStart", "CmdPause", "CmdLVQClear",
                             "cmdNext", "cmdBack", "cmdEnd"})
        QTest::newRow(name) << QString::fromLatin1(name) << -1 << QStringList();
    QTest::newRow("LblItem, はい、いいえ、どちらでもない") << u"LblItem_3"_s << 7 << QStringList();
    const QStringList fivePoints = {u"とてもよく分かった"_s, u"よく分かった"_s, u"ふつう"_s,
                                    u"あまり分からない"_s, u"全く分からない"_s};
    for (int k = 0; k < 5; ++k)
        QTest::addRow("LblItem_%d, five points", k) << u"LblItem_%1"_s.arg(k) << -1 << fivePoints;
    QTest::newRow("LblItem, a long sentence") // mode 2 puts answer 1 on bar 1
        << u"LblItem_1"_s << -1
        << QStringList{u"授業の内容は日常生活の中で役に立つと思いますか、とても思う"_s,
                       u"いいえ"_s};
}

void TestTeacherForms::captionsFit()
{
    QFETCH(QString, name);
    QFETCH(int, answerSet);
    QFETCH(QStringList, labels);
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;
    if (answerSet >= 0) {
        child<QRadioButton>(&window, u"OptLVQ_"_s + QString::number(answerSet))->setChecked(true);
        QTest::mouseClick(child<QPushButton>(&window, u"CmdStart"_s), Qt::LeftButton);
    }
    if (!labels.isEmpty()) {
        lesson.ShownQuestion = {};
        for (int i = 0; i < labels.size(); ++i)
            lesson.ShownQuestion[i + 1] = labels[i];
        lesson.LVQMode = labels.size();
        lesson.LayoutAnswerLabels();
        window.refresh();
    }

    QWidget *control = child<QWidget>(&window, name);
    if (auto *item = qobject_cast<teacher::FittingLabel *>(control)) {
        QVERIFY(!item->text().isEmpty());
        const widgets::FittedCaption fitted = item->fitted();
        QVERIFY2(!fitted.elided, qPrintable(fitted.lines.join(u'|')));
        QVERIFY(widgets::linesFit(fitted.lines, fitted.font, item->contentsRect().size()));
        QCOMPARE(fitted.lines.join(QString()), item->text());
        QVERIFY(fitted.font.pointSizeF() <= item->font().pointSizeF());
    } else {
        // A button's caption in one line: its natural size fits its place.
        auto *button = qobject_cast<QAbstractButton *>(control);
        QVERIFY(button);
        QVERIFY2(button->sizeHint().width() <= button->width(),
                 qPrintable(u"%1 > %2"_s.arg(button->sizeHint().width()).arg(button->width())));
        QVERIFY(button->sizeHint().height() <= button->height());
    }
}

// Qt's own texts, such as the buttons of the questionnaire's end box, are in
// Japanese like the program's captions, whatever the system's language.
void TestTeacherForms::qtTextsInJapanese()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const bool found = widgets::installQtJapanese(*QCoreApplication::instance());
    QLocale::setDefault(QLocale::system());
    if (!found)
        QSKIP("Qt's Japanese translations are not installed (qt6-translations-l10n)");
    QMessageBox box(QMessageBox::Question, u"アンケート終了の確認"_s, QString(),
                    QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(box.button(QMessageBox::Yes)->text().startsWith(u"はい"_s),
             qPrintable(box.button(QMessageBox::Yes)->text()));
    QVERIFY(box.button(QMessageBox::No)->text().startsWith(u"いいえ"_s));
}

// "回答 n人", the seat overview and the hidden graph over one short lesson.
void TestTeacherForms::answerStateAndHiddenGraph()
{
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;
    auto *answered = child<QLabel>(&window, u"lblAnswered"_s);
    QCOMPARE(answered->text(), u"回答 0人"_s);
    // on the frame's caption line, clear of the bar's controls
    QVERIFY(answered->geometry().bottom() < child<QWidget>(&window, u"CmdLVQClear"_s)->y());

    QTest::mouseClick(child<QPushButton>(&window, u"CmdStart"_s), Qt::LeftButton);
    // seat 0 counts in the bars but is no pupil; 7 is no answer
    ClassroomFolder::write(exchange::answerFilePath(0), exchange::answerFileBytes(1));
    ClassroomFolder::write(exchange::answerFilePath(5), exchange::answerFileBytes(1));
    ClassroomFolder::write(exchange::answerFilePath(9), exchange::answerFileBytes(2));
    ClassroomFolder::write(exchange::answerFilePath(11), exchange::answerFileBytes(7));
    QTRY_COMPARE_WITH_TIMEOUT(answered->text(), u"回答 2人"_s, 3000);
    QCOMPARE(child<QLabel>(&window, u"LblAnswerSum_1"_s)->text(), u"2人"_s);

    // 回答状況 by its keyboard shortcut: modeless, a cell per seat
    QTest::keyClick(&window, Qt::Key_J, Qt::ControlModifier);
    teacher::AnswerStatusWindow *status = window.answerStatusWindow();
    QVERIFY(status && status->isVisible() && !status->isModal());
    QCOMPARE(status->windowTitle(), u"回答状況"_s);
    QCOMPARE(status->cell(5)->accessibleName(), u"5番 回答済み"_s);
    QCOMPARE(status->cell(9)->accessibleName(), u"9番 回答済み"_s);
    QCOMPARE(status->cell(11)->accessibleName(), u"11番 未回答"_s);
    QCOMPARE(status->cell(50)->accessibleName(), u"50番 未回答"_s);
    QVERIFY(status->cell(5)->text().contains(u"回答済み"_s));
    QVERIFY(!status->cell(5)->text().contains(u"○"_s)); // never which answer
    QVERIFY(status->cell(5)->styleSheet() != status->cell(11)->styleSheet());
    QCOMPARE(status->cell(10)->y(), status->cell(1)->y()); // ten to a row
    QVERIFY(status->cell(11)->y() > status->cell(10)->y());
    QVERIFY(status->cell(41)->y() > status->cell(31)->y()); // five rows
    const int bigCell = status->cell(1)->width();
    status->resize(status->width() / 2, status->height() / 2);
    QTRY_VERIFY(status->cell(1)->width() < bigCell); // resizable
    const QString shot = qEnvironmentVariable("OMBRA_SCREENSHOT_DIR");
    if (!shot.isEmpty())
        status->grab().save(shot + u"/answer-status.png"_s);

    // グラフを隠す by its shortcut: bars and numbers go, the rest stays
    QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
    auto *hide = window.findChild<QAction *>(u"mnuHideGraph"_s);
    QVERIFY(hide->isChecked());
    QVERIFY(!child<QFrame>(&window, u"ShapeGraph_1"_s)->isVisible());
    QVERIFY(!child<QLabel>(&window, u"LblAnswerSum_1"_s)->isVisible());
    QVERIFY(child<QLabel>(&window, u"LblItem_1"_s)->isVisible());
    QVERIFY(answered->isVisible());
    // collection, the label and the overview go on underneath
    ClassroomFolder::write(exchange::answerFilePath(12), exchange::answerFileBytes(1));
    QTRY_COMPARE_WITH_TIMEOUT(answered->text(), u"回答 3人"_s, 3000);
    QCOMPARE(status->cell(12)->accessibleName(), u"12番 回答済み"_s);
    QCOMPARE(lesson.session().lastTally.answerCount[0], 3.0f);

    // publishing again leaves the graph hidden and nobody answered
    QTest::mouseClick(child<QPushButton>(&window, u"CmdStart"_s), Qt::LeftButton);
    QCOMPARE(answered->text(), u"回答 0人"_s);
    QCOMPARE(status->cell(12)->accessibleName(), u"12番 未回答"_s);
    QVERIFY(!child<QFrame>(&window, u"ShapeGraph_1"_s)->isVisible());
    ClassroomFolder::write(exchange::answerFilePath(20), exchange::answerFileBytes(2));
    QTRY_COMPARE_WITH_TIMEOUT(answered->text(), u"回答 1人"_s, 3000);

    // unticking shows the current tally at once
    hide->trigger();
    QVERIFY(child<QFrame>(&window, u"ShapeGraph_3"_s)->isVisible());
    QCOMPARE(child<QLabel>(&window, u"LblAnswerSum_3"_s)->text(), u"1人"_s);
    QCOMPARE(child<QFrame>(&window, u"ShapeGraph_3"_s)->geometry(), QRect(632, 496, 120, 8));
}

void TestTeacherForms::graphPicture()
{
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &window = fixture.window;
    QTemporaryDir out;
    QString proposed;
    QString answer = out.filePath(u"graph"_s); // no suffix: ".png" is added
    QStringList warnings;
    window.setImagePathChooser([&](const QString &path) {
        proposed = path;
        return answer;
    });
    window.setWarner([&](const QString &text) { warnings << text; });
    window.findChild<QAction *>(u"mnuHideGraph"_s)->trigger();

    window.findChild<QAction *>(u"mnuSaveGraphImage"_s)->trigger();
    QCOMPARE(QFileInfo(proposed).fileName(), u"グラフ_第1問.png"_s);
    const QImage picture(out.filePath(u"graph.png"_s), "PNG");
    QCOMPARE(picture.size(), QSize(1016, 612));
    // the bars are in the picture though hidden on screen: pale yellow bar 0
    QCOMPARE(picture.pixelColor(80, 300), QColor(255, 255, 192));
    QVERIFY(!child<QFrame>(&window, u"ShapeGraph_0"_s)->isVisible());
    QVERIFY(warnings.isEmpty());

    answer = out.filePath(u"no such folder/graph.png"_s);
    window.findChild<QAction *>(u"mnuSaveGraphImage"_s)->trigger();
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings[0].contains(QDir::toNativeSeparators(answer)));

    answer.clear(); // cancelled
    window.findChild<QAction *>(u"mnuSaveGraphImage"_s)->trigger();
    QCOMPARE(warnings.size(), 1);
}

void TestTeacherForms::correctAnswerAndReport()
{
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;
    auto *reveal = window.findChild<QAction *>(u"mnuRevealCorrect"_s);
    QCOMPARE(reveal->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_K));
    QVERIFY(!reveal->isEnabled() && !reveal->isChecked());
    folder.writeQuestionnaire(u"q.txt"_s, u"好きな色は？\n赤\n青\n/正解 2\n"_s);
    lesson.document().setFileLocation(folder.path(), u"q.txt"_s);
    QVERIFY(lesson.document().SFileLoad());
    lesson.mnuFileOpen_Click();
    window.refresh();
    QTest::mouseClick(child<QPushButton>(&window, u"cmdNext"_s), Qt::LeftButton);
    QVERIFY(reveal->isEnabled() && !reveal->isChecked());
    ClassroomFolder::write(exchange::answerFilePath(5), exchange::answerFileBytes(2));
    ClassroomFolder::write(exchange::answerFilePath(6), exchange::answerFileBytes(1));
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&window, u"lblAnswered"_s)->text(), u"回答 2人"_s,
                              3000);

    QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
    QVERIFY(reveal->isChecked() && lesson.revealCorrect());
    auto *tag = child<QLabel>(&window, u"lblCorrectTag"_s);
    QVERIFY(tag->isVisible());
    QCOMPARE(tag->accessibleName(), u"正解"_s);
    QCOMPARE(tag->geometry(), QRect(760, 468, 72, 36)); // beside the bar of answer 2
    // around it, however low the bar
    auto *outline = child<QFrame>(&window, u"correctOutline"_s);
    QCOMPARE(outline->geometry(), QRect(625, 485, 134, 19));
    window.findChild<QAction *>(u"mnuHideGraph"_s)->trigger(); // the outline tells the height
    QVERIFY(!outline->isVisible() && tag->isVisible());
    window.findChild<QAction *>(u"mnuHideGraph"_s)->trigger();
    QVERIFY(outline->isVisible());
    QVERIFY(child<QLabel>(&window, u"LblItem_3"_s)->font().underline());
    QVERIFY(!child<QLabel>(&window, u"LblItem_1"_s)->font().underline());
    QCOMPARE(child<QLabel>(&window, u"lblCorrect"_s)->text(), u"正答 1人（50%）"_s);
    const QString shot = qEnvironmentVariable("OMBRA_SCREENSHOT_DIR");
    if (!shot.isEmpty())
        window.grab().save(shot + u"/teacher-correct.png"_s);
    reveal->trigger();
    QVERIFY(!tag->isVisible() && !lesson.revealCorrect());
    reveal->trigger();
    QTest::mouseClick(child<QPushButton>(&window, u"CmdStart"_s), Qt::LeftButton);
    QVERIFY(!reveal->isChecked() && !tag->isVisible()); // published: off again

    QTemporaryDir out;
    QString proposed;
    window.setReportPathChooser([&](const QString &path) {
        proposed = path;
        return out.filePath(u"まとめ"_s);
    });
    window.findChild<QAction *>(u"mnuSaveLessonReport"_s)->trigger();
    QCOMPARE(QFileInfo(proposed).fileName(), tally::reportFileName(QDate::currentDate()));
    const QString pdf = out.filePath(u"まとめ.pdf"_s);
    QVERIFY(ClassroomFolder::read(pdf).startsWith("%PDF"));
    const QString pdftotext = QStandardPaths::findExecutable(u"pdftotext"_s);
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QProcess process;
    process.start(pdftotext, {u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s});
    QVERIFY(process.waitForFinished(60000));
    // Full-width spaces and line breaks come out as blanks.
    const QString text =
        QString::fromUtf8(process.readAllStandardOutput()).replace(QChar(0x3000), u' ').simplified();
    for (const QString &expected :
         {u"授業のまとめ"_s, u"出した質問：1問"_s, u"答えた生徒：2人"_s, u"第1問 好きな色は？"_s,
          u"2. 青 1人（50%） ← 正解"_s, u"正答率 50%"_s, u"席ごとの正答数"_s, u"5番 1 / 1"_s})
        QVERIFY2(text.contains(expected), qPrintable(expected + u" in:\n"_s + text));
    if (!shot.isEmpty())
        QFile::copy(pdf, shot + u"/lesson-report.pdf"_s);
}

void TestTeacherForms::closingEndsTheLesson()
{
    ClassroomFolder folder;
    ClassroomFolder::write(u"Kiroku.csv"_s, "an earlier lesson's record");
    ScriptedPrompter prompter;
    lesson::Lesson lesson(prompter);
    teacher::frmMain window(lesson);
    int ended = 0;
    window.setEndHandler([&ended] { ++ended; });
    window.Form_Load();
    window.show();
    QVERIFY(lesson.session().answerWatch()->isWatching());
    window.findChild<QAction *>(u"mnuFileExit"_s)->trigger();
    QCOMPARE(ended, 1);
    // the closing publication sets off no collection after the record
    QVERIFY(!lesson.session().answerWatch()->isWatching());
    QVERIFY(ClassroomFolder::read(exchange::commandFilePath(12)).startsWith(" 0 \r\n"));
    // Nothing was collected: the earlier record stays as it was.
    QCOMPARE(ClassroomFolder::read(u"Kiroku.csv"_s), "an earlier lesson's record");
    QVERIFY(!QFile::exists(u"Kekka.csv"_s));
}

// The gateway's window shows where to go and stops the gateway when closed.
void TestTeacherForms::gatewayWindow()
{
#if !OMBRA_GATEWAY
    // Built without the gateway: the file menu has no item for it.
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    QVERIFY(!fixture.window.findChild<QAction *>(u"mnuTablet"_s));
#else
    teacher::frmGateway::setPort(0);
    QHash<quint64, QByteArray> sent; // outlives the gateway, which sends to it
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    QAction *item = fixture.window.findChild<QAction *>(u"mnuTablet"_s);
    QVERIFY(item);
    // In the file menu, before the exit item.
    const QList<QAction *> fileItems = fixture.window.findChild<QMenu *>(u"mnuFile"_s)->actions();
    QVERIFY(fileItems.indexOf(item) >= 0);
    QVERIFY(fileItems.indexOf(item) <
            fileItems.indexOf(fixture.window.findChild<QAction *>(u"mnuFileExit"_s)));
    item->trigger();
    QPointer<teacher::frmGateway> gatewayWindow = fixture.window.findChild<teacher::frmGateway *>();
    QVERIFY(gatewayWindow);
    QCOMPARE(gatewayWindow->windowTitle(), u"タブレットから回答"_s);
    QVERIFY(gatewayWindow->isServing());
    const quint16 port = gatewayWindow->server().port();
    const QString address = gatewayWindow->addressLabel()->text();
    QVERIFY(address.startsWith(u"http://"_s));
    QVERIFY(address.endsWith(u":%1/"_s.arg(port)));
    QCOMPARE(gatewayWindow->qrCode()->accessibleName(), address);
    // The QR code carries the lesson key; the address to type does not.
    QCOMPARE(gatewayWindow->qrCode()->text(),
             address + u"#k="_s + gatewayWindow->server().core().lessonKey());
    QVERIFY(!gatewayWindow->qrCode()->image().isNull());
    QVERIFY(gatewayWindow->qrCode()->isVisible());
    // Big enough to scan from the back of the room: at least 6 pixels a module.
    QVERIFY(gatewayWindow->qrCode()->width() >= 6 * gatewayWindow->qrCode()->image().width());
    gateway::GatewayCore &core = gatewayWindow->server().core();
    const QString code = core.lessonCode();
    QCOMPARE(gatewayWindow->lessonCodeLabel()->text(),
             u"授業コード %1 %2"_s.arg(code.left(3), code.mid(3)));
    QVERIFY(gatewayWindow->signedInLabel()->text().contains(u" 0 台"_s));

    // A second click brings the same window back.
    item->trigger();
    QCOMPARE(fixture.window.findChildren<teacher::frmGateway *>().size(), 1);

    // Seat 3 is held; another page asks for it with a wrong code, then the
    // right one; the teacher approves in the window.
    core.setSink(
        {[&sent](quint64 client, const QByteArray &message) { sent[client] += message; }, {}});
    core.clientConnected(1, u"127.0.0.1"_s);
    core.clientConnected(2, u"127.0.0.2"_s);
    const auto signIn = [&core](quint64 client, const QString &code) {
        core.handleMessage(
            client,
            uR"({"type":"signin","seat":"3","code":"%1","takeover":true})"_s.arg(code).toUtf8());
    };
    signIn(1, code);
    signIn(2, u"000000"_s);
    QTRY_VERIFY(gatewayWindow->wrongCodesLabel()->text().contains(u" 1 回"_s));
    signIn(2, code);
    QTRY_COMPARE(gatewayWindow->requestList()->count(), 1);
    QVERIFY(gatewayWindow->seatList()->item(0)->text().startsWith(u"3 番（127.0.0.1、接続中、"_s));
    QVERIFY(gatewayWindow->requestList()->item(0)->text().startsWith(
        u"申し出 1：3 番を引き継ぎたい（127.0.0.2、"_s));
    auto *approve = gatewayWindow->findChild<QPushButton *>(u"cmdApprove"_s);
    // Nothing is chosen for the teacher.
    QVERIFY(!approve->isEnabled());
    gatewayWindow->requestList()->setCurrentRow(0);
    QVERIFY(approve->isEnabled());
    QApplication::setActiveWindow(gatewayWindow);
    gatewayWindow->requestList()->setFocus();
    QTest::keyClick(gatewayWindow->requestList(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), approve);
    QTest::keyClick(approve, Qt::Key_Space);
    QVERIFY(sent[1].contains("\"takenover\""));
    QVERIFY(sent[2].contains("\"signedin\""));
    QTRY_COMPARE(gatewayWindow->requestList()->count(), 0);
    QVERIFY(!approve->isEnabled());

    // Closed and opened again: the same code and key, the seat still held.
    const QString key = core.lessonKey();
    gatewayWindow->close();
    QTRY_VERIFY(!gatewayWindow);
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!probe.waitForConnected(2000));
    item->trigger();
    gatewayWindow = fixture.window.findChild<teacher::frmGateway *>();
    QVERIFY(gatewayWindow && gatewayWindow->isServing());
    QCOMPARE(gatewayWindow->server().core().lessonCode(), code);
    QCOMPARE(gatewayWindow->server().core().lessonKey(), key);
    QCOMPARE(gatewayWindow->server().core().heldSeats().size(), 1);
    QVERIFY(gatewayWindow->seatList()->item(0)->text().startsWith(u"3 番"_s));
    gatewayWindow->close();
#endif
}

void TestTeacherForms::closingTheProgramStopsTheGateway()
{
#if !OMBRA_GATEWAY
    QSKIP("built without the gateway");
#else
    teacher::frmGateway::setPort(0);
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    fixture.window.findChild<QAction *>(u"mnuTablet"_s)->trigger();
    teacher::frmGateway *gatewayWindow = fixture.window.findChild<teacher::frmGateway *>();
    QVERIFY(gatewayWindow && gatewayWindow->isServing());
    // A browser at seat 3 is told that the questionnaire is over.
    gateway::GatewayCore &core = gatewayWindow->server().core();
    QList<QByteArray> sent;
    core.setSink({[&sent](quint64, const QByteArray &message) { sent << message; }, {}});
    core.clientConnected(1, u"127.0.0.1"_s);
    core.handleMessage(
        1, uR"({"type":"signin","seat":"3","code":"%1"})"_s.arg(core.lessonCode()).toUtf8());
    QCOMPARE(core.signedInCount(), 1);
    QTRY_VERIFY(gatewayWindow->signedInLabel()->text().contains(u" 1 台"_s));
    fixture.window.findChild<QAction *>(u"mnuFileExit"_s)->trigger();
    QVERIFY(ClassroomFolder::read(exchange::commandFilePath(3)).startsWith(" 0 \r\n"));
    gatewayWindow->server().stop();
    QVERIFY(sent.last().contains("\"end\""));
    QVERIFY(!gatewayWindow->isServing());
#endif
}

// The teacher's selection follows the request it was made on; a request that
// goes takes the selection with it, and the buttons act on nothing else.
void TestTeacherForms::gatewayWindowKeepsTheSelection()
{
#if !OMBRA_GATEWAY
    QSKIP("built without the gateway");
#else
    teacher::frmGateway::setPort(0);
    QHash<quint64, QByteArray> sent;
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    fixture.window.findChild<QAction *>(u"mnuTablet"_s)->trigger();
    teacher::frmGateway *window = fixture.window.findChild<teacher::frmGateway *>();
    QVERIFY(window && window->isServing());
    gateway::GatewayCore &core = window->server().core();
    core.setSink(
        {[&sent](quint64 client, const QByteArray &message) { sent[client] += message; }, {}});
    const auto signIn = [&core](quint64 client, int seat, bool takeover) {
        core.clientConnected(client, u"127.0.0.%1"_s.arg(client));
        core.handleMessage(client, uR"({"type":"signin","seat":"%1","code":"%2","takeover":%3})"_s
                                       .arg(seat)
                                       .arg(core.lessonCode(), takeover ? u"true"_s : u"false"_s)
                                       .toUtf8());
    };
    signIn(1, 3, false);
    signIn(5, 5, false);
    signIn(2, 3, true);
    signIn(6, 5, true);
    window->showState();
    QListWidget *requests = window->requestList();
    QCOMPARE(requests->count(), 2);
    QVERIFY(requests->item(1)->text().startsWith(u"申し出 2：5 番"_s));
    requests->setCurrentRow(1);
    QListWidgetItem *chosen = requests->currentItem();

    // The other request goes: the rows move, the selection stays on 申し出 2.
    core.clientDisconnected(2);
    QTRY_COMPARE(requests->count(), 1);
    QCOMPARE(requests->currentItem(), chosen);
    QVERIFY(chosen->isSelected());
    // 申し出 2 goes too: nothing is selected, 許可 does nothing.
    core.clientDisconnected(6);
    signIn(7, 3, true);
    QTRY_VERIFY(requests->count() == 1 && requests->item(0)->text().startsWith(u"申し出 3"_s));
    QVERIFY(!requests->currentItem() || !requests->currentItem()->isSelected());
    auto *approve = window->findChild<QPushButton *>(u"cmdApprove"_s);
    QVERIFY(!approve->isEnabled());
    window->cmdApprove_Click();
    QVERIFY(!sent[7].contains("\"signedin\""));

    // Chosen, then gone before the window redraws: 許可 says so, and moves
    // nothing.
    requests->setCurrentRow(0);
    core.clientDisconnected(7);
    QTest::mouseClick(approve, Qt::LeftButton);
    QVERIFY(window->statusLabel()->text().contains(u"申し出 3"_s));
    QVERIFY(!sent[1].contains("\"takenover\""));

    // The held seats: 席を空ける frees one, この端末を断る turns its tablet away.
    QListWidget *seats = window->seatList();
    QCOMPARE(seats->count(), 2);
    QVERIFY(seats->item(1)->text().startsWith(u"5 番（127.0.0.5、接続中、"_s));
    auto *release = window->findChild<QPushButton *>(u"cmdRelease"_s);
    auto *turnAway = window->findChild<QPushButton *>(u"cmdTurnAway"_s);
    QCOMPARE(release->text(), u"席を空ける(&F)"_s);
    QCOMPARE(turnAway->text(), u"この端末を断る(&K)"_s);
    QVERIFY(!release->isEnabled());
    seats->setCurrentRow(0);
    QTest::mouseClick(release, Qt::LeftButton);
    QVERIFY(sent[1].contains("\"released\""));
    QVERIFY(!core.holdsSeat(3));
    QCOMPARE(seats->count(), 1);
    QVERIFY(!release->isEnabled());
    seats->setCurrentRow(0);
    QTest::mouseClick(turnAway, Qt::LeftButton);
    QVERIFY(sent[5].contains("\"away\""));
    QCOMPARE(seats->count(), 0);
    QVERIFY(window->wrongCodesLabel()->text().contains(u"断った端末: 1 台"_s));
    window->close();
#endif
}

// The real message box of a failed publication, answered from inside its own
// event loop after Timer1 has had time to fire there: the question that was
// being answered keeps its answers in the record.
void TestTeacherForms::publishFailureBoxWithTimerRunning()
{
    ClassroomFolder folder;
    teacher::MessageBoxPrompter prompter;
    lesson::Lesson lesson(prompter);
    teacher::frmMain window(lesson);
    prompter.setParentWidget(&window);
    window.setEndHandler([] {});
    window.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    folder.writeQuestionnaire(u"q.txt"_s, u"色は？\n赤\n青\n\n犬と猫\n犬\n猫\n"_s);
    lesson.document().setFileLocation(folder.path(), u"q.txt"_s);
    QVERIFY(lesson.document().SFileLoad());
    lesson.mnuFileOpen_Click();
    window.refresh();
    auto *next = child<QPushButton>(&window, u"cmdNext"_s);
    next->click();
    ClassroomFolder::write(exchange::answerFilePath(3), exchange::answerFileBytes(2));
    QTRY_COMPARE_WITH_TIMEOUT(lesson.session().lastTally.lvqSum, 1, 3000);

    int held = 2; // the first try and the quiet retry
    lesson.session().fileWriter = [&held](const QString &path, const QByteArray &bytes) {
        if (path == u"Data/LVQ7.ini"_s && held > 0) {
            --held;
            return exchange::FileStatus::failure(u"held"_s);
        }
        return exchange::writeWholeFile(path, bytes);
    };
    int ticks = 0;
    connect(&lesson.session().Timer1, &QTimer::timeout, this, [&ticks] { ++ticks; });
    QString boxText;
    int ticksWhileBoxUp = 0;
    QTimer::singleShot(1300, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        boxText = box->text();
        ticksWhileBoxUp = ticks;
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == u"続行"_s)
                button->click();
        }
    });
    next->click();
    QVERIFY2(ticksWhileBoxUp >= 2, "Timer1 must have fired inside the box's event loop");
    QVERIFY(boxText.contains(u"LVQ7.ini"_s));
    QVERIFY(window.timer()->isActive());

    window.close();
    const QByteArrayList lines = ClassroomFolder::read(u"Kiroku.csv"_s).split('\n');
    QCOMPARE(lines.value(3), exchange::encodeCp932(u" 3 番 , 2 , 0 \r"_s));
}

void TestTeacherForms::aboutDialog()
{
    teacher::frmAbout about;
    QCOMPARE(about.windowTitle(), u"ﾊﾞｰｼﾞｮﾝ情報 OmbraDesk"_s);
    QCOMPARE(child<QLabel>(&about, u"lblVersion"_s)->text(), u"ﾊﾞｰｼﾞｮﾝ 1.00"_s);
    QVERIFY(child<QLabel>(&about, u"lblTitle"_s)->text().endsWith(u"　オンブラ（先生用）"_s));
    QTimer::singleShot(0, &about, [&] { QTest::keyClick(&about, Qt::Key_Escape); });
    QCOMPARE(about.exec(), int(QDialog::Rejected));
}

QTEST_MAIN(TestTeacherForms)
// While 再集計 waits for a slow share, what the event loop brings in (an
// assistive tool's action, a close) runs after the publication, never in
// the middle of it: every seat ends with the same command file, the later
// one.
void TestTeacherForms::handlersWaitForTheShare_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("firstLine");
    QTest::newRow("集計中断 pressed") << u"CmdPause"_s << QByteArray(" 100 \r\n");
    QTest::newRow("window closed") << u"frmMain"_s << QByteArray(" 0 \r\n");
}

void TestTeacherForms::handlersWaitForTheShare()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, firstLine);
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;
    exchange::BackgroundShareRunner runner;
    window.setShareRunner(runner);
    lesson.session().fileWriter = [](const QString &path, const QByteArray &bytes) {
        QThread::msleep(20); // past the press action's animated click
        return exchange::writeWholeFile(path, bytes);
    };
    bool asked = false;
    QTimer meddler;
    connect(&meddler, &QTimer::timeout, this, [&] {
        if (asked || runner.waiting() == 0)
            return;
        asked = true;
        if (control == u"frmMain") {
            window.close();
            return;
        }
        QAccessible::queryAccessibleInterface(window.findChild<QAbstractButton *>(control))
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
    });
    meddler.start(1);
    QTest::mouseClick(child<QPushButton>(&window, u"CmdStart"_s), Qt::LeftButton);
    QVERIFY(asked);
    const QByteArray seat0 = ClassroomFolder::read(exchange::commandFilePath(0));
    QTRY_VERIFY_WITH_TIMEOUT(ClassroomFolder::read(exchange::commandFilePath(0)) != seat0, 5000);
    QTRY_VERIFY(!lesson.session().inHandler());
    const QByteArray last = ClassroomFolder::read(exchange::commandFilePath(0));
    QVERIFY2(last.startsWith(firstLine), last.toHex().constData());
    for (int seat = 1; seat <= exchange::kStudentsMax; ++seat)
        QCOMPARE(ClassroomFolder::read(exchange::commandFilePath(seat)), last);
}

#include "tst_teacherforms.moc"
