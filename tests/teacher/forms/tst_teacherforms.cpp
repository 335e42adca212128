#include "MainWindowFixture.h"
#include "teacher/lesson/ClassroomFolder.h"
#include "teacher/lesson/ScriptedPrompter.h"

#include "exchange/ExchangeFiles.h"
#include "teacher/forms/AnswerStatusWindow.h"
#include "teacher/forms/frmAbout.h"
#include "teacher/forms/frmLogin.h"
#include "teacher/forms/frmMain.h"
#include "teacher/lesson/AnswerWatcher.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
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
    void answerStateAndHiddenGraph();
    void graphPicture();
    void closingEndsTheLesson();
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
        if (how == u"enter")
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
    QTest::newRow("edit") << u"mnuEditShow"_s << u"アンケート文を編集する"_s;
    QTest::newRow("count") << u"mnuDisplayNumber"_s << u"人数"_s;
    QTest::newRow("percent") << u"mnuDisplayPercent"_s << u"パーセント"_s;
    QTest::newRow("about") << u"mnuHelpAbout"_s << u"ﾊﾞｰｼﾞｮﾝ情報(&A)"_s;
    QTest::newRow("graph picture") << u"mnuSaveGraphImage"_s << u"グラフを画像で保存..."_s;
    QTest::newRow("hide graph") << u"mnuHideGraph"_s << u"グラフを隠す"_s;
    QTest::newRow("answer status") << u"mnuAnswerStatus"_s << u"回答状況"_s;
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
    QCOMPARE(lesson.Tally.answerCount[0], 3.0f);

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

void TestTeacherForms::closingEndsTheLesson()
{
    ClassroomFolder folder;
    ScriptedPrompter prompter;
    lesson::Lesson lesson(prompter);
    teacher::frmMain window(lesson);
    int ended = 0;
    window.setEndHandler([&ended] { ++ended; });
    window.Form_Load();
    window.show();
    QVERIFY(window.answerWatcher()->watch().isWatching());
    window.findChild<QAction *>(u"mnuFileExit"_s)->trigger();
    QCOMPARE(ended, 1);
    // the closing publication sets off no collection after the record
    QVERIFY(!window.answerWatcher()->watch().isWatching());
    QVERIFY(ClassroomFolder::read(exchange::commandFilePath(12)).startsWith(" 0 \r\n"));
    QVERIFY(QFile::exists(u"Kiroku.csv"_s));
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
#include "tst_teacherforms.moc"
