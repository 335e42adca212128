#include "MainWindowFixture.h"
#include "PrivateSettings.h"
#include "teacher/lesson/ClassroomFolder.h"
#include "teacher/lesson/ScriptedPrompter.h"

#include "exchange/ExchangeFiles.h"
#include "teacher/forms/AnswerStatusWindow.h"
#include "teacher/forms/ClassListMenu.h"
#include "teacher/forms/FittingLabel.h"
#include "teacher/forms/frmAbout.h"
#include "teacher/forms/frmLogin.h"
#include "teacher/forms/frmMain.h"
#include "teacher/forms/frmTimeLimit.h"
#include "teacher/forms/LessonReportPdf.h"
#include "teacher/forms/MessageBoxPrompter.h"
#include "teacher/roster/NamedRecord.h"
#include "teacher/tally/LessonReport.h"
#include "widgets/QtJapanese.h"
#if OMBRA_GATEWAY
#include "gateway/GatewayServer.h"
#include "teacher/forms/frmGateway.h"
#include "teacher/forms/GatewayMenu.h"
#include "teacher/forms/QrCodeWidget.h"

#include <QTcpSocket>
#endif

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
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
#include <QSettings>
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
    void initTestCase() { usePrivateSettings(); }
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
    void secondVoteAndTimeLimit();
    void classList();
    void lessonReportOnPaper();
    void closingEndsTheLesson();
    void gatewayWindow();
    void closingTheProgramStopsTheGateway();
    void gatewayMenuPassesTheTimeCaption();
    void gatewayWindowKeepsTheSelection();
    void publishFailureBoxWithTimerRunning();
    void handlersWaitForTheShare_data();
    void handlersWaitForTheShare();
    void aboutDialog();

private:
    // Presses a menu's item as an assistive tool does, by its accessible
    // action; false when the menu has no such item.
    static bool pressAccessibly(QMenu *menu, const QString &caption)
    {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(menu);
        for (int i = 0; accessible && i < accessible->childCount(); ++i) {
            QAccessibleInterface *item = accessible->child(i);
            if (item->text(QAccessible::Name) == caption && item->actionInterface()) {
                item->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
                return true;
            }
        }
        return false;
    }
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
    teacher::forms::frmLogin login;
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
    QVERIFY(!lesson.session().answering());

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
    QTest::newRow("time limit") << u"mnuTimeLimit"_s << u"制限時間..."_s;
    QTest::newRow("vote again") << u"mnuVoteAgain"_s << u"もう一度投票"_s;
    QTest::newRow("class list") << u"mnuOpenClassList"_s << u"名簿を開く..."_s;
    QTest::newRow("show names") << u"mnuShowNames"_s << u"名前を表示"_s;
    QTest::newRow("named record") << u"mnuSaveNamedRecord"_s << u"名前付きの記録を保存..."_s;
}

void TestTeacherForms::menus()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    ScriptedPrompter prompter;
    lesson::Lesson lesson(prompter);
    teacher::forms::frmMain window(lesson);
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
    QVERIFY(lesson.session().answering());
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
    QVERIFY(!lesson.session().answering());
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

// The text of a PDF as pdftotext gives it, full-width spaces and line breaks
// as single blanks; a null string where pdftotext is not installed.
QString pdfText(const QString &pdf, const QStringList &pages = {})
{
    const QString pdftotext = QStandardPaths::findExecutable(u"pdftotext"_s);
    if (pdftotext.isEmpty())
        return {};
    QProcess process;
    process.start(pdftotext, pages + QStringList{u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput())
        .replace(QChar(0x3000), u' ')
        .simplified();
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
    teacher::forms::MessageBoxPrompter prompter;
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
    if (auto *item = qobject_cast<teacher::forms::FittingLabel *>(control)) {
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
    teacher::forms::AnswerStatusWindow *status = window.answerStatusWindow();
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
    QCOMPARE(lesson.session().lastTally().answerCount[0], 3.0f);

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
    const QString text = pdfText(pdf);
    if (text.isNull())
        QSKIP("pdftotext (poppler-utils) is not installed");
    for (const QString &expected :
         {u"授業のまとめ"_s, u"出した質問：1問"_s, u"答えた生徒：2人"_s, u"第1問 好きな色は？"_s,
          u"2. 青 1人（50%） ← 正解"_s, u"正答率 50%"_s, u"席ごとの正答数"_s, u"5番 1 / 1"_s})
        QVERIFY2(text.contains(expected), qPrintable(expected + u" in:\n"_s + text));
    if (!shot.isEmpty())
        QFile::copy(pdf, shot + u"/lesson-report.pdf"_s);
}

// もう一度投票 by its shortcut shows the first vote beside the second; the
// time limit is chosen and started through accessibility actions, and at
// zero the seats are paused while the window says so.
void TestTeacherForms::secondVoteAndTimeLimit()
{
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;
    qint64 now = 0;
    lesson.setTimeLimitClock([&now] { return now; });
    auto *voteAgain = window.findChild<QAction *>(u"mnuVoteAgain"_s);
    QVERIFY(!voteAgain->isEnabled());
    QTest::mouseClick(child<QPushButton>(&window, u"CmdStart"_s), Qt::LeftButton);
    ClassroomFolder::write(exchange::answerFilePath(5), exchange::answerFileBytes(1));
    QTRY_COMPARE(child<QLabel>(&window, u"lblAnswered"_s)->text(), u"回答 1人"_s);
    QVERIFY(voteAgain->isEnabled());

    QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(child<QLabel>(&window, u"lblAnswered"_s)->text(), u"回答 0人"_s);
    QCOMPARE(child<QLabel>(&window, u"lblVoteLegend_0"_s)->text(), u"1回目"_s);
    QCOMPARE(child<QLabel>(&window, u"lblVoteLegend_1"_s)->text(), u"2回目"_s);
    auto *earlier = child<QLabel>(&window, u"LblEarlierSum_1"_s);
    QVERIFY(earlier->isVisible() && !child<QLabel>(&window, u"LblEarlierSum_0"_s)->isVisible());
    QCOMPARE(child<QLabel>(&window, u"LblEarlierSum_3"_s)->text(), u"0人"_s);
    QCOMPARE(earlier->accessibleName(), u"1回目 1人"_s);
    QCOMPARE(child<QFrame>(&window, u"EarlierGraph_1"_s)->geometry(), QRect(238, 496, 108, 8));
    ClassroomFolder::write(exchange::answerFilePath(5), exchange::answerFileBytes(2));
    QTRY_COMPARE(child<QLabel>(&window, u"LblAnswerSum_3"_s)->text(), u"1人"_s);
    QCOMPARE(child<QLabel>(&window, u"LblAnswerSum_1"_s)->text(), u"0人"_s);
    QCOMPARE(earlier->text(), u"1人"_s);

#if OMBRA_GATEWAY
    teacher::forms::frmGateway::setPort(0);
    window.findChild<QAction *>(u"mnuTablet"_s)->trigger();
    auto *gateway = window.findChild<gateway::GatewayServer *>();
    QVERIFY(gateway);
#endif
    QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
    teacher::forms::frmTimeLimit *limit = window.timeLimitWindow();
    QVERIFY(limit && limit->isVisible());
    auto press = [](QWidget *widget) {
        QAccessible::queryAccessibleInterface(widget)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
    };
    press(child<QRadioButton>(limit, u"optTime_30"_s));
    QTRY_COMPARE(limit->chosenSeconds(), 30); // an animated click
    auto *start = child<QPushButton>(limit, u"cmdStartLimit"_s);
    QVERIFY(start->isEnabled());
    press(start);
    auto *shown = child<QLabel>(&window, u"lblTimeLimit"_s);
    QTRY_COMPARE(shown->accessibleName(), u"のこり 0:30"_s);
    QVERIFY(shown->isVisible());
    QCOMPARE(child<QLabel>(limit, u"lblRemaining"_s)->text(), u"のこり 0:30"_s);
    now = 30'000;
    QTRY_VERIFY(ClassroomFolder::read(exchange::commandFilePath(5)).startsWith(" 100 "));
    QTRY_COMPARE(shown->text(), u"時間\nです"_s);
#if OMBRA_GATEWAY
    QCOMPARE(gateway->core().timeCaption(), u"時間です"_s); // the tablets too
#endif
    QVERIFY(!start->isEnabled() && !child<QPushButton>(limit, u"cmdCancelLimit"_s)->isEnabled());
    QVERIFY(voteAgain->isEnabled()); // the class may vote once more
    const QString shot = qEnvironmentVariable("OMBRA_SCREENSHOT_DIR");
    if (!shot.isEmpty())
        window.grab().save(shot + u"/teacher-second-vote.png"_s);

    // A third vote through the menu item's accessibility action.
    QMenu *display = window.findChild<QMenu *>(u"mnuDisplay"_s);
    QAccessibleInterface *menu = QAccessible::queryAccessibleInterface(display);
    const int item = int(display->actions().indexOf(voteAgain));
    menu->child(item)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(child<QLabel>(&window, u"lblVoteLegend_1"_s)->text(), u"3回目"_s);
    QCOMPARE(earlier->text(), u"0人"_s); // the second vote's count of ○
    QVERIFY(!shown->isVisible());

    // The PDF shows the votes one after the other, with the change.
    QTemporaryDir out;
    window.setReportPathChooser([&](const QString &) { return out.filePath(u"votes.pdf"_s); });
    window.findChild<QAction *>(u"mnuSaveLessonReport"_s)->trigger();
    const QString text = pdfText(out.filePath(u"votes.pdf"_s));
    for (const QString &expected : {u"第1問（2回目）"_s, u"1. ○ 0人（0%） 前回 1人 -1"_s})
        QVERIFY2(text.isNull() || text.contains(expected),
                 qPrintable(expected + u" in: "_s + text));

    QTest::mouseClick(child<QPushButton>(&window, u"CmdLVQClear"_s), Qt::LeftButton);
    QVERIFY(!shown->isVisible() && !earlier->isVisible() && !voteAgain->isEnabled());
    QVERIFY(!child<QLabel>(&window, u"lblVoteLegend_0"_s)->isVisible());
}

// The class list: opened from the teacher's PC and remembered by its path;
// its names in the seat overview only while 名前を表示 is ticked, in the copy
// of the record saved with names, never in the classroom folder.
void TestTeacherForms::classList()
{
    QSettings(u"OmbraTeacher"_s).clear();
    const auto forget = qScopeGuard([] { QSettings(u"OmbraTeacher"_s).clear(); });
    QTemporaryDir home;
    const QString gone = home.filePath(u"gone.csv"_s);
    roster::rememberClassListPath(gone);
    MainWindowFixture fixture;
    auto &[folder, prompter, lesson, window] = fixture;
    auto *menu = window.findChild<teacher::forms::ClassListMenu *>();
    QVERIFY(menu);
    QStringList warnings;
    menu->setWarner([&](const QString &text) { warnings << text; });
    // a remembered list that is gone: said once at the start, then forgotten
    QVERIFY(fixture.show());
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].contains(QDir::toNativeSeparators(gone)), qPrintable(warnings[0]));
    QVERIFY(roster::rememberedClassListPath().isEmpty());
    auto *showNames = window.findChild<QAction *>(u"mnuShowNames"_s);
    auto *saveNamed = window.findChild<QAction *>(u"mnuSaveNamedRecord"_s);
    QVERIFY(!showNames->isEnabled() && !showNames->isChecked() && !saveNamed->isEnabled());
    // added where no item of the menus moves from the end (keyboard users
    // reach タブレットから回答... as the item before the exit item)
    const QList<QAction *> fileItems = window.findChild<QMenu *>(u"mnuFile"_s)->actions();
    QCOMPARE(fileItems.last()->objectName(), u"mnuFileExit"_s);
#if OMBRA_GATEWAY
    QCOMPARE(fileItems[fileItems.size() - 3]->objectName(), u"mnuTablet"_s);
#endif
    const QList<QAction *> displayItems = window.findChild<QMenu *>(u"mnuDisplay"_s)->actions();
    QCOMPARE(displayItems.last(), showNames);
    QCOMPARE(displayItems[displayItems.size() - 3]->objectName(), u"mnuVoteAgain"_s);

    // 名簿を開く... by its shortcut: a code page 932 list with a bad line
    const QString longName = u"寿限無寿限無五劫の擦り切れ海砂利水魚の水行末雲来末風来末"_s;
    const QString listPath = home.filePath(u"名簿.csv"_s);
    ClassroomFolder::write(listPath, exchange::encodeCp932(u"出席番号,名前\r\n5,山田 太郎\r\n"
                                                           u"9,<b>佐藤</b>\r\n5,重複\r\n11,"_s +
                                                           longName + u"\r\n"_s));
    QString proposed;
    QString answer = listPath;
    menu->setOpenPathChooser([&](const QString &path) {
        proposed = path;
        return answer;
    });
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(proposed, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings[1].contains(u"4行目"_s) &&
                 warnings[1].contains(QDir::toNativeSeparators(listPath)),
             qPrintable(warnings[1]));
    QCOMPARE(roster::rememberedClassListPath(), listPath);
    QCOMPARE(menu->list()->name(5), u"山田 太郎"_s);
    QVERIFY(showNames->isEnabled() && !showNames->isChecked());
    QVERIFY(!saveNamed->isEnabled()); // nobody has answered yet

    QTest::mouseClick(child<QPushButton>(&window, u"CmdStart"_s), Qt::LeftButton);
    ClassroomFolder::write(exchange::answerFilePath(5), exchange::answerFileBytes(1));
    ClassroomFolder::write(exchange::answerFilePath(11), exchange::answerFileBytes(2));
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&window, u"lblAnswered"_s)->text(), u"回答 2人"_s,
                              3000);
    QVERIFY(saveNamed->isEnabled());

    // the overview shows no names until asked
    QTest::keyClick(&window, Qt::Key_J, Qt::ControlModifier);
    teacher::forms::AnswerStatusWindow *status = window.answerStatusWindow();
    QVERIFY(status && status->isVisible());
    QCOMPARE(status->cell(5)->accessibleName(), u"5番 回答済み"_s);
    QVERIFY(!status->cell(5)->text().contains(u"山田"_s));
    // 名前を表示 by its shortcut, pressed in the overview itself
    QTest::keyClick(status, Qt::Key_N, Qt::ControlModifier);
    QVERIFY(showNames->isChecked());
    QCOMPARE(status->cell(5)->accessibleName(), u"5番 山田 太郎 回答済み"_s);
    QVERIFY(status->cell(5)->text().contains(u"山田 太郎"_s));
    if (const QString shot = qEnvironmentVariable("OMBRA_SCREENSHOT_DIR"); !shot.isEmpty())
        status->grab().save(shot + u"/answer-status-names.png"_s);
    QCOMPARE(status->cell(9)->accessibleName(), u"9番 <b>佐藤</b> 未回答"_s);
    QVERIFY(status->cell(9)->text().contains(u"&lt;b&gt;佐藤"_s)); // shown as written
    QCOMPARE(status->cell(12)->accessibleName(), u"12番 未回答"_s);
    // a long name is cut to its cell; the cells stay equal and in the window
    QCOMPARE(status->cell(11)->accessibleName(), u"11番 "_s + longName + u" 回答済み"_s);
    QVERIFY(status->cell(11)->text().contains(u"…"_s));
    const auto sameSize = [&](int seat) {
        const QSize difference = status->cell(seat)->size() - status->cell(11)->size();
        return std::abs(difference.width()) <= 1 && std::abs(difference.height()) <= 1;
    };
    for (int seat : {1, 12, 20, 50})
        QVERIFY(sameSize(seat));
    QVERIFY(status->cell(20)->geometry().right() < status->width());
    QCOMPARE(status->cell(20)->y(), status->cell(11)->y());
    status->resize(status->width() / 2, status->height() / 2);
    QTRY_VERIFY(status->cell(20)->geometry().right() < status->width());
    QVERIFY(status->cell(11)->text().contains(u"…"_s));
    QVERIFY(sameSize(20));
    // through the display menu's accessible action: off again
    QVERIFY(pressAccessibly(window.findChild<QMenu *>(u"mnuDisplay"_s), u"名前を表示"_s));
    QVERIFY(!showNames->isChecked());
    QCOMPARE(status->cell(5)->accessibleName(), u"5番 回答済み"_s);

    // 名前付きの記録を保存... by its shortcut: the documents folder proposed
    QTemporaryDir out;
    answer = out.filePath(u"記録"_s); // ".csv" is added
    menu->setSavePathChooser([&](const QString &path) {
        proposed = path;
        return answer;
    });
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QFileInfo(proposed).absolutePath(),
             QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QCOMPARE(QFileInfo(proposed).fileName(), roster::namedRecordFileName(QDate::currentDate()));
    const QByteArray saved = ClassroomFolder::read(out.filePath(u"記録.csv"_s));
    QCOMPARE(saved,
             roster::namedRecordBytes(lesson.session().record().history(), 50, *menu->list()));
    QVERIFY(saved.contains(exchange::encodeCp932(u" 5 番 ,山田 太郎, 1 "_s)));
    QCOMPARE(warnings.size(), 2);
    // nor into the classroom folder by the teacher's choice, the record's
    // copy or the PDF with names (proposed in Documents)
    answer = QDir::current().filePath(u"named.csv"_s);
    saveNamed->trigger();
    QCOMPARE(warnings.size(), 3);
    QVERIFY(warnings.last().contains(u"教室のフォルダ"_s) && !QFile::exists(answer));
    window.setReportPathChooser([&](const QString &path) {
        proposed = path;
        return QDir::current().filePath(u"Data/まとめ.pdf"_s);
    });
    window.findChild<QAction *>(u"mnuSaveLessonReport"_s)->trigger();
    QCOMPARE(QFileInfo(proposed).absolutePath(),
             QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QCOMPARE(warnings.size(), 4);
    // the names never reach the classroom folder
    for (QDirIterator it(folder.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QByteArray bytes = ClassroomFolder::read(it.next());
        QVERIFY2(!bytes.contains(exchange::encodeCp932(u"山田"_s)) &&
                     !bytes.contains(u"山田"_s.toUtf8()),
                 qPrintable(it.filePath()));
    }
    // a failed write names the file; the file menu's accessible action
    answer = out.filePath(u"no such folder/記録.csv"_s);
    QVERIFY(pressAccessibly(window.findChild<QMenu *>(u"mnuFile"_s), u"名前付きの記録を保存..."_s));
    QCOMPARE(warnings.size(), 5);
    QVERIFY(warnings[4].contains(QDir::toNativeSeparators(answer)));

    // a file that names nobody: said, and the list open stays
    const QString empty = home.filePath(u"empty.csv"_s);
    ClassroomFolder::write(empty, "No,Name\r\n0,x\r\n");
    answer = empty;
    QVERIFY(pressAccessibly(window.findChild<QMenu *>(u"mnuFile"_s), u"名簿を開く..."_s));
    QCOMPARE(proposed, listPath); // the list open proposed
    QCOMPARE(warnings.size(), 6);
    QVERIFY(warnings[5].contains(QDir::toNativeSeparators(empty)) &&
            warnings[5].contains(u"2行目"_s));
    QCOMPARE(menu->list()->name(5), u"山田 太郎"_s);
    QCOMPARE(roster::rememberedClassListPath(), listPath);
    tally::LessonReport report;
    menu->nameSeats(report);
    QCOMPARE(report.seatNames[11], longName);
    QVERIFY(report.seatNames[12].isEmpty());
}

// The report is for paper: white pages, light bars scaled to each question's
// largest count, three questions or more to a page, names in the seat table.
void TestTeacherForms::lessonReportOnPaper()
{
    const QString pdftotext = QStandardPaths::findExecutable(u"pdftotext"_s);
    const QString pdftoppm = QStandardPaths::findExecutable(u"pdftoppm"_s);
    if (pdftotext.isEmpty() || pdftoppm.isEmpty())
        QSKIP("pdftotext and pdftoppm (poppler-utils) are not installed");
    tally::LessonReport report;
    report.date = QDate(2026, 12, 7);
    report.folder = u"/classroom"_s;
    report.studentsMax = 50;
    for (int number = 1; number <= 6; ++number) {
        tally::ReportQuestion question;
        question.number = number;
        question.texts = {u"質問%1"_s.arg(number), u"赤"_s, u"青"_s, u"黄"_s, u"緑"_s, u"白"_s};
        question.answers = 5;
        question.counts = {1, 2, 0, 0, 0}; // three of fifty pupils
        question.answered = 3;
        for (int a = 0; a < 5; ++a)
            question.percents[a] = tally::roundedPercent(question.counts[a], 3);
        report.questions.append(question);
    }
    // long answers that wrap: every row and total on a page, none cut off
    for (int a = 1; a <= 5; ++a)
        report.questions[4].texts[a] = QString(120, QChar(u'長'));
    report.questions[0].correct = 2;
    report.questions[0].correctPercent = 67;
    report.markedQuestions = 1;
    report.pupils = 3;
    report.answeredAny[5] = true;
    report.correctBySeat[5] = 1;
    report.seatNames[5] = u"山田 太郎"_s;
    report.seatNames[7] = u"寿限無寿限無五劫の擦り切れ海砂利水魚の水行末雲来末風来末"_s;
    QTemporaryDir out;
    const QString pdf = out.filePath(u"report.pdf"_s);
    QVERIFY(teacher::forms::writeLessonReportPdf(report, pdf).ok);

    const QString firstPage = pdfText(pdf, {u"-f"_s, u"1"_s, u"-l"_s, u"1"_s});
    for (const QString &expected : {u"第1問 質問1"_s, u"第2問 質問2"_s, u"第3問 質問3"_s})
        QVERIFY2(firstPage.contains(expected), qPrintable(expected + u" in:\n"_s + firstPage));
    const QString text = pdfText(pdf);
    for (const QString &expected :
         {u"2. 青 2人（67%） ← 正解"_s, u"1. 赤 1人（33%）"_s, u"3. 黄 0人（0%）"_s,
          u"5番 山田 太郎"_s, u"1 / 1"_s, u"7番 寿限無"_s})
        QVERIFY2(text.contains(expected), qPrintable(expected + u" in:\n"_s + text));
    QVERIFY(!text.contains(u"水行末雲来末風来末"_s)); // cut to its cell
    QCOMPARE(text.count(u"回答 3人"_s), 6);
    QCOMPARE(text.count(u"人（"_s), 6 * 5);

    // 72 dots an inch: a dot a point
    QProcess render;
    render.start(pdftoppm, {u"-r"_s, u"72"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, u"-singlefile"_s,
                            u"-png"_s, pdf, out.filePath(u"page"_s)});
    QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
    const QImage page(out.filePath(u"page.png"_s));
    QCOMPARE(page.size(), QSize(595, 842));
    for (const QPoint corner :
         {QPoint(2, 2), QPoint(592, 2), QPoint(2, 839), QPoint(592, 839), QPoint(297, 421)})
        QCOMPARE(page.pixelColor(corner), QColor(Qt::white));
    int dark = 0;
    int longestTint = 0;
    for (int y = 0; y < page.height(); ++y) {
        int run = 0;
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            dark += qGray(c.rgb()) < 96;
            // a bar's light tint: bright, not white
            const bool tint = qGray(c.rgb()) > 200 && c != QColor(Qt::white) &&
                              std::min({c.red(), c.green(), c.blue()}) > 200;
            run = tint ? run + 1 : 0;
            longestTint = std::max(longestTint, run);
            // no dark area: every 10 x 10 square holds light dots
            if (x >= 9 && y >= 9 && qGray(c.rgb()) < 96) {
                bool allDark = true;
                for (int dy = 0; dy < 10 && allDark; ++dy) {
                    for (int dx = 0; dx < 10 && allDark; ++dx)
                        allDark = qGray(page.pixel(x - dx, y - dy)) < 96;
                }
                QVERIFY2(!allDark, qPrintable(u"dark square at %1,%2"_s.arg(x).arg(y)));
            }
        }
    }
    QVERIFY2(dark < page.width() * page.height() / 20, qPrintable(QString::number(dark)));
    // two of fifty pupils fill the bar's width: what is left of the 511 points
    // between the margins beside the answers' words, 8 + 255.5 + 8
    QVERIFY2(std::abs(longestTint - 239) <= 4, qPrintable(QString::number(longestTint)));
}

void TestTeacherForms::closingEndsTheLesson()
{
    ClassroomFolder folder;
    ClassroomFolder::write(u"Kiroku.csv"_s, "an earlier lesson's record");
    ScriptedPrompter prompter;
    lesson::Lesson lesson(prompter);
    teacher::forms::frmMain window(lesson);
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
    teacher::forms::frmGateway::setPort(0);
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
    QPointer<teacher::forms::frmGateway> gatewayWindow =
        fixture.window.findChild<teacher::forms::frmGateway *>();
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
    QCOMPARE(fixture.window.findChildren<teacher::forms::frmGateway *>().size(), 1);

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
    gatewayWindow = fixture.window.findChild<teacher::forms::frmGateway *>();
    QVERIFY(gatewayWindow && gatewayWindow->isServing());
    QCOMPARE(gatewayWindow->server().core().lessonCode(), code);
    QCOMPARE(gatewayWindow->server().core().lessonKey(), key);
    QCOMPARE(gatewayWindow->server().core().heldSeats().size(), 1);
    QVERIFY(gatewayWindow->seatList()->item(0)->text().startsWith(u"3 番"_s));
    gatewayWindow->close();
#endif
}

// The caption of the time limit reaches the gateway, made before or after.
void TestTeacherForms::gatewayMenuPassesTheTimeCaption()
{
#if !OMBRA_GATEWAY
    QSKIP("built without the gateway");
#else
    teacher::forms::frmGateway::setPort(0);
    QWidget owner;
    QMenu fileMenu(&owner);
    fileMenu.addSeparator();
    const std::function<void(const QString &)> setTimeCaption =
        teacher::forms::addGatewayMenuItem(&owner, &fileMenu);
    setTimeCaption(u"のこり 1:05"_s); // no gateway yet
    QAction *item = fileMenu.findChild<QAction *>(u"mnuTablet"_s);
    QVERIFY(item);
    item->trigger();
    auto *server = owner.findChild<gateway::GatewayServer *>();
    QVERIFY(server);
    QCOMPARE(server->core().timeCaption(), u"のこり 1:05"_s);
    setTimeCaption(u"時間です"_s);
    QCOMPARE(server->core().timeCaption(), u"時間です"_s);
    owner.findChild<teacher::forms::frmGateway *>()->close();
    setTimeCaption(QString());
    QCOMPARE(server->core().timeCaption(), QString());
#endif
}

void TestTeacherForms::closingTheProgramStopsTheGateway()
{
#if !OMBRA_GATEWAY
    QSKIP("built without the gateway");
#else
    teacher::forms::frmGateway::setPort(0);
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    fixture.window.findChild<QAction *>(u"mnuTablet"_s)->trigger();
    teacher::forms::frmGateway *gatewayWindow =
        fixture.window.findChild<teacher::forms::frmGateway *>();
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
    teacher::forms::frmGateway::setPort(0);
    QHash<quint64, QByteArray> sent;
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    fixture.window.findChild<QAction *>(u"mnuTablet"_s)->trigger();
    teacher::forms::frmGateway *window = fixture.window.findChild<teacher::forms::frmGateway *>();
    QVERIFY(window && window->isServing());
    gateway::GatewayCore &core = window->server().core();
    core.setSink(
        {[&sent](quint64 client, const QByteArray &message) { sent[client] += message; }, {}});
    const auto signIn = [&core](quint64 client, int seat, bool takeover) {
        core.clientConnected(client, u"127.0.0.%1"_s.arg(client));
        core.handleMessage(client,
                           uR"({"type":"signin","seat":"%1","code":"%2","takeover":%3})"_s.arg(seat)
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
    teacher::forms::MessageBoxPrompter prompter;
    lesson::Lesson lesson(prompter);
    teacher::forms::frmMain window(lesson);
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
    QTRY_COMPARE_WITH_TIMEOUT(lesson.session().lastTally().lvqSum, 1, 3000);

    int held = 2; // the first try and the quiet retry
    lesson.session().setFileWriter([&held](const QString &path, const QByteArray &bytes) {
        if (path == u"Data/LVQ7.ini"_s && held > 0) {
            --held;
            return exchange::FileStatus::failure(u"held"_s);
        }
        return exchange::writeWholeFile(path, bytes);
    });
    int ticks = 0;
    connect(&lesson.session(), &lesson::LessonSession::tickDue, this, [&ticks] { ++ticks; });
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
    QVERIFY(lesson.session().answering());

    window.close();
    const QByteArrayList lines = ClassroomFolder::read(u"Kiroku.csv"_s).split('\n');
    QCOMPARE(lines.value(3), exchange::encodeCp932(u" 3 番 , 2 , 0 \r"_s));
}

void TestTeacherForms::aboutDialog()
{
    teacher::forms::frmAbout about;
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
    lesson.session().setFileWriter([](const QString &path, const QByteArray &bytes) {
        QThread::msleep(20); // past the press action's animated click
        return exchange::writeWholeFile(path, bytes);
    });
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
