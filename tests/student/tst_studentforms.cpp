#include "PrivateSettings.h"
#include "SeatFolder.h"

#include "student/forms/AnswerButton.h"
#include "student/forms/frmLogin.h"
#include "student/forms/frmMain.h"
#include "student/forms/MessageSeam.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

class RecordingSeam : public student::forms::MessageSeam
{
public:
    struct Message
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };
    QList<Message> messages;
    QString shownNotice;

    void message(QWidget *, const QString &title, const QString &text,
                 QMessageBox::Icon icon) override
    {
        messages.append({title, text, icon});
    }
    void notice(QWidget *, const QString &, const QString &text) override { shownNotice = text; }
};

template <typename T> T *child(QWidget &form, const QString &name)
{
    T *widget = form.findChild<T *>(name);
    if (!widget)
        qFatal("no child %s", qPrintable(name));
    return widget;
}

QStringList savedPosition()
{
    QSettings settings(u"OmbraSeat"_s);
    return {settings.value(u"Settings/MainLeft"_s).toString(),
            settings.value(u"Settings/MainTop"_s).toString()};
}

} // namespace

class TestStudentForms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { usePrivateSettings(); }
    void init();
    void cleanup() { m_folder.reset(); }

    void signInEntries_data();
    void signInEntries();
    void keysOnButtons_data();
    void keysOnButtons();
    void loginLayout_data();
    void loginLayout();
    void panelAtStart();
    void answerThroughButtons();
    void answerCaptionsFit_data();
    void answerCaptionsFit();
    void endsAtOnce_data();
    void endsAtOnce();
    void position_data();
    void position();
    void timerPolls();
    void changeNotificationPolls_data();
    void changeNotificationPolls();

private:
    std::unique_ptr<SeatFolder> m_folder;
    student::Module1 m_module;
    RecordingSeam m_seam;

    std::unique_ptr<student::forms::frmMain> signedInPanel(bool stopTimer = true)
    {
        m_module.SeatNumber = 7;
        m_module.CommandFilePath = u"Data/LVQ7.ini"_s;
        m_module.AnswerFilePath = u"Data/LVQ7.txt"_s;
        auto panel = std::make_unique<student::forms::frmMain>(m_module, m_seam);
        if (stopTimer)
            child<QTimer>(*panel, u"LVQTimer"_s)->stop();
        return panel;
    }
};

void TestStudentForms::init()
{
    QSettings(u"OmbraSeat"_s).clear();
    m_folder = std::make_unique<SeatFolder>();
    QVERIFY(m_folder->isValid());
    m_module = student::Module1();
    m_seam = RecordingSeam();
}

void TestStudentForms::signInEntries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("seat"); // 0: refused

    QTest::newRow("50") << u"50"_s << 50;
    QTest::newRow("1") << u"1"_s << 1;
    QTest::newRow("blank before 7") << u" 7"_s << 7;
    QTest::newRow("7 followed by letters") << u"7abc"_s << 7;
    QTest::newRow("1 blank 2 is 12") << u"1 2"_s << 12;
    QTest::newRow("0") << u"0"_s << 0;
    QTest::newRow("51") << u"51"_s << 0;
    QTest::newRow("empty") << u""_s << 0;
    QTest::newRow("letters only") << u"abc"_s << 0;
    QTest::newRow("full-width digit") << u"１"_s << 0;
    QTest::newRow("not a whole number") << u"2.5"_s << 0;
}

void TestStudentForms::signInEntries()
{
    QFETCH(QString, entry);
    QFETCH(int, seat);

    student::forms::frmLogin login(m_module, m_seam);
    login.show();
    QVERIFY(QTest::qWaitForWindowActive(&login));
    auto *txtUserName = child<QLineEdit>(login, u"txtUserName"_s);
    QCOMPARE(QApplication::focusWidget(), txtUserName);
    txtUserName->setText(entry);                  // keyClicks types ASCII only
    QTest::keyClick(txtUserName, Qt::Key_Return); // presses the default button

    if (seat) {
        QVERIFY(login.OK);
        QCOMPARE(login.result(), int(QDialog::Accepted));
        QVERIFY(m_seam.messages.isEmpty());
        QCOMPARE(m_module.SeatNumber, seat);
        QCOMPARE(SeatFolder::read(u"Data/LVQ%1.txt"_s.arg(seat)), QByteArray(" 0 \r\n"));
    } else {
        QVERIFY(!login.OK);
        QVERIFY(login.isVisible());
        QCOMPARE(m_seam.messages.size(), 1);
        QCOMPARE(m_seam.messages[0].title, u"ﾛｸﾞｲﾝ"_s);
        QCOMPARE(m_seam.messages[0].text, u"入力が正しくありません。もう一度入力してください !\n"
                                          u"１～５０の数字を入力してください"_s);
        QCOMPARE(txtUserName->text(), QString());
        QCOMPARE(QApplication::focusWidget(), txtUserName);
        QVERIFY(QDir(u"Data"_s).isEmpty());
    }
}

void TestStudentForms::keysOnButtons_data()
{
    QTest::addColumn<QList<Qt::Key>>("keys"); // after typing 7 into the entry
    QTest::addColumn<bool>("ok");
    QTest::newRow("Esc cancels") << QList<Qt::Key>{Qt::Key_Escape} << false;
    // Enter presses the focused button; away from the buttons OK has it.
    QTest::newRow("Tab to OK, Enter") << QList<Qt::Key>{Qt::Key_Tab, Qt::Key_Return} << true;
    QTest::newRow("Tab to ｷｬﾝｾﾙ, Enter")
        << QList<Qt::Key>{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return} << false;
    QTest::newRow("Tab round to the entry, Enter")
        << QList<Qt::Key>{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return} << true;
}

void TestStudentForms::keysOnButtons()
{
    QFETCH(QList<Qt::Key>, keys);
    QFETCH(bool, ok);
    student::forms::frmLogin login(m_module, m_seam);
    login.show();
    QVERIFY(QTest::qWaitForWindowActive(&login));
    auto *txtUserName = child<QLineEdit>(login, u"txtUserName"_s);
    QTest::keyClicks(txtUserName, u"7"_s);
    for (Qt::Key key : keys)
        QTest::keyClick(QApplication::focusWidget(), key);
    QCOMPARE(login.OK, ok);
    QCOMPARE(login.result(), int(ok ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(QDir(u"Data"_s).isEmpty(), !ok);
    QVERIFY(m_seam.messages.isEmpty());
}

void TestStudentForms::loginLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("lblLabels 1") << u"lblLabels_1"_s << QRect(7, 8, 224, 17)
                                 << u"出席番号を入力してください。"_s;
    QTest::newRow("lblLabels 0") << u"lblLabels_0"_s << QRect(7, 32, 96, 17) << u"（１～５０）"_s;
    QTest::newRow("txtUserName") << u"txtUserName"_s << QRect(112, 32, 131, 24) << QString();
    QTest::newRow("cmdOK") << u"cmdOK"_s << QRect(33, 68, 76, 24) << u"OK"_s;
    QTest::newRow("cmdCancel") << u"cmdCancel"_s << QRect(140, 68, 76, 24) << u"ｷｬﾝｾﾙ"_s;
}

void TestStudentForms::loginLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    student::forms::frmLogin login(m_module, m_seam);
    QCOMPARE(login.windowTitle(), u"オンブラ集計　ログオン"_s);
    QCOMPARE(login.size(), QSize(250, 106));
    QCOMPARE(login.font().pointSizeF(), 9.75);
    QWidget *control = child<QWidget>(login, name);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(control->property("text").toString(), text);

    auto *cmdOK = child<QPushButton>(login, u"cmdOK"_s);
    QVERIFY(cmdOK->isDefault());
    QVERIFY(cmdOK->font().bold());
    QCOMPARE(cmdOK->font().pointSizeF(), 11.25);
}

void TestStudentForms::panelAtStart()
{
    const auto panel = signedInPanel(false);
    QCOMPARE(panel->windowTitle(), u"オンブラ"_s);
    QCOMPARE(panel->size(), QSize(571, 191));
    // A window to assistive tools, named by its title.
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(panel.get());
    QCOMPARE(accessible->role(), QAccessible::Dialog);
    QCOMPARE(accessible->text(QAccessible::Name), u"オンブラ"_s);
    auto *timer = child<QTimer>(*panel, u"LVQTimer"_s);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 500);

    const QImage picture = child<QLabel>(*panel, u"Picture"_s)->pixmap().toImage();
    QCOMPARE(picture.size(), QSize(571, 191));
    QCOMPARE(picture.pixelColor(0, 0).name(), u"#ffff00"_s);   // yellow at the left
    QCOMPARE(picture.pixelColor(570, 0).name(), u"#00ffff"_s); // cyan at the right

    auto *LblEnqete = child<QLabel>(*panel, u"LblEnqete"_s);
    QCOMPARE(LblEnqete->geometry(), QRect(8, 8, 553, 97));
    QVERIFY(LblEnqete->wordWrap());
    QVERIFY(LblEnqete->text().isEmpty());
    QCOMPARE(LblEnqete->font().pointSizeF(), 20.25);
    // the logic tests check every button's start; this checks they reach the widgets
    auto *last = child<QPushButton>(*panel, u"Command1_4"_s);
    QVERIFY(last->isHidden());
    QCOMPARE(last->geometry(), QRect(456, 112, 97, 70));
    QCOMPARE(last->text(), u"5"_s);
    QVERIFY(last->font().bold());
    QCOMPARE(last->font().pointSizeF(), 20.25);
}

void TestStudentForms::answerThroughButtons()
{
    const auto panel = signedInPanel();
    QVERIFY(SeatFolder::writeLines(
        m_module.CommandFilePath,
        {u" 3 "_s, u"Q"_s, u"はい"_s, u"いいえ"_s, u"どちらでもない"_s, u""_s, u""_s, u" 1 "_s}));
    panel->show();
    panel->PollCommandFile();
    for (int i = 0; i < 5; ++i)
        QCOMPARE(child<QPushButton>(*panel, u"Command1_%1"_s.arg(i))->isVisible(), i < 3);
    auto *third = child<QPushButton>(*panel, u"Command1_2"_s);
    QCOMPARE(third->geometry(), QRect(388, 112, 160, 70));
    QCOMPARE(third->font().pointSizeF(), 16);
    QCOMPARE(third->text(), u"どちらでもない"_s);
    QCOMPARE(child<QLabel>(*panel, u"LblEnqete"_s)->text(), u"Q"_s);
    const QString shots = qEnvironmentVariable("OMBRA_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        panel->grab().save(shots + u"/student-panel.png"_s);

    QTest::mouseClick(third, Qt::LeftButton);
    QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), QByteArray(" 3 \r\n"));
    QCOMPARE(SeatFolder::read(m_module.CommandFilePath), QByteArray(" 100 \r\nQ\r\n"));
    for (int i = 0; i < 5; ++i)
        QVERIFY(child<QPushButton>(*panel, u"Command1_%1"_s.arg(i))->isHidden());
    QVERIFY(child<QTimer>(*panel, u"LVQTimer"_s)->isActive()); // restarted by the click
}

void TestStudentForms::answerCaptionsFit_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<double>("chosen"); // FitAnswerFont's size, kept on the buttons
    QTest::addColumn<double>("shown");  // the size the first caption is drawn at
    QTest::addColumn<bool>("elided");

    QTest::newRow("five points, 9 characters at 16 pt step down")
        << 5
        << QStringList{u"とてもよく分かった"_s, u"よく分かった"_s, u"ふつう"_s,
                       u"あまり分からない"_s, u"全く分からない"_s}
        << 16.0 << 12.0 << false;
    QTest::newRow("mode 4, agreement")
        << 4
        << QStringList{u"とてもそう思う"_s, u"そう思う"_s, u"そう思わない"_s, u"全くそう思わない"_s}
        << 16.0 << 16.0 << false;
    QTest::newRow("○× at 24 pt") << 2 << QStringList{u"○"_s, u"×"_s} << 24.0 << 24.0 << false;
    QTest::newRow("twelve characters at 12 pt")
        << 5 << QStringList{u"とてもとてもよく分かりました"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}
        << 12.0 << 12.0 << false;
    QTest::newRow("a long latin word breaks inside")
        << 5 << QStringList{u"Understandable"_s, u"no"_s, u"?"_s, u"4"_s, u"5"_s} << 12.0 << 12.0
        << false;
    QTest::newRow("too long for any size: cut short")
        << 5 << QStringList{QString(80, QChar(u'分')), u"2"_s, u"3"_s, u"4"_s, u"5"_s} << 12.0
        << 7.0 << true;
}

void TestStudentForms::answerCaptionsFit()
{
    QFETCH(int, mode);
    QFETCH(QStringList, labels);
    QFETCH(double, chosen);
    QFETCH(double, shown);
    QFETCH(bool, elided);
    const auto panel = signedInPanel();
    QStringList lines{u" %1 "_s.arg(mode), u"Q"_s};
    for (int i = 0; i < 5; ++i)
        lines << labels.value(i);
    lines << u" 0 "_s;
    QVERIFY(SeatFolder::writeLines(m_module.CommandFilePath, lines));
    panel->show();
    panel->PollCommandFile();

    for (int i = 0; i < mode; ++i) {
        auto *button = child<student::forms::AnswerButton>(*panel, u"Command1_%1"_s.arg(i));
        QVERIFY(button->isVisible());
        QCOMPARE(button->font().pointSizeF(), chosen);
        // The whole label stays the button's text for the keyboard, the
        // tooltip and assistive tools, however it is drawn.
        QCOMPARE(button->text(), labels[i]);
        QCOMPARE(button->toolTip(), labels[i]);
        QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), labels[i]);

        const widgets::FittedCaption fitted = button->fitted();
        QVERIFY(fitted.font.pointSizeF() <= chosen);
        QVERIFY(fitted.font.bold());
        QVERIFY2(widgets::linesFit(fitted.lines, fitted.font, button->captionRect().size()),
                 qPrintable(fitted.lines.join(u'|')));
        if (i == 0) {
            QCOMPARE(fitted.font.pointSizeF(), shown);
            QCOMPARE(fitted.elided, elided);
        }
        if (!fitted.elided)
            QCOMPARE(fitted.lines.join(QString()), labels[i]);
        // Not smaller than needed: one step up it would not fit.
        const QList<qreal> sizes = widgets::captionSizes(chosen);
        const qsizetype step = sizes.indexOf(fitted.font.pointSizeF());
        if (step > 0 && !fitted.elided) {
            QFont larger = fitted.font;
            larger.setPointSizeF(sizes[step - 1]);
            const QSizeF room = button->captionRect().size();
            QVERIFY(!widgets::linesFit(widgets::wrapCaption(labels[i], larger, room.width()),
                                       larger, room));
        }
    }
    const QString shots = qEnvironmentVariable("OMBRA_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        panel->grab().save(shots + u"/student-captions-"_s + QString::number(mode) + u".png"_s);
}

void TestStudentForms::endsAtOnce_data()
{
    QTest::addColumn<bool>("answeredBefore");

    QTest::newRow("no command file at the first poll") << false;
    QTest::newRow("mode 0 after a question") << true;
}

void TestStudentForms::endsAtOnce()
{
    QFETCH(bool, answeredBefore);

    const auto panel = signedInPanel();
    QSignalSpy ended(panel.get(), &student::forms::frmMain::endRequested);
    panel->show();
    if (answeredBefore) {
        QVERIFY(SeatFolder::writeLines(m_module.CommandFilePath, {u" 2 "_s, u"Q"_s}));
        panel->PollCommandFile();
        QCOMPARE(ended.count(), 0);
        QVERIFY(SeatFolder::writeLines(m_module.CommandFilePath, {u" 0 "_s, u""_s}));
    }
    panel->PollCommandFile();
    QCOMPARE(ended.count(), 1);
    QVERIFY(panel->isEnding());
    QVERIFY(!child<QTimer>(*panel, u"LVQTimer"_s)->isActive());
    panel->close(); // whatever happens to the window now, nothing is saved
    QCOMPARE(savedPosition(), QStringList({QString(), QString()}));
}

void TestStudentForms::position_data()
{
    QTest::addColumn<QStringList>("saved"); // empty: nothing saved yet
    QTest::addColumn<QPoint>("opensAt");
    QTest::addColumn<QPoint>("moveTo"); // (-1, -1): not moved
    QTest::addColumn<bool>("minimize");
    QTest::addColumn<QStringList>("savedAfter");

    const QPoint unmoved(-1, -1);
    const QStringList nothing{QString(), QString()};
    QTest::newRow("default 1000 twips")
        << QStringList() << QPoint(67, 67) << unmoved << false << QStringList{u"1000"_s, u"1000"_s};
    QTest::newRow("restored, then moved")
        << QStringList{u"3000"_s, u"1500"_s} << QPoint(200, 100) << QPoint(300, 150) << false
        << QStringList{u"4500"_s, u"2250"_s};
    QTest::newRow("off every screen") << QStringList{u"-150000"_s, u"90000000"_s} << QPoint(67, 67)
                                      << unmoved << false << QStringList{u"1000"_s, u"1000"_s};
    QTest::newRow("not a number") << QStringList{u"left"_s, u"1500"_s} << QPoint(67, 100) << unmoved
                                  << false << QStringList{u"1000"_s, u"1500"_s};
    QTest::newRow("minimized saves nothing")
        << QStringList() << QPoint(67, 67) << QPoint(300, 150) << true << nothing;
}

void TestStudentForms::position()
{
    QFETCH(QStringList, saved);
    QFETCH(QPoint, opensAt);
    QFETCH(QPoint, moveTo);
    QFETCH(bool, minimize);
    QFETCH(QStringList, savedAfter);

    if (!saved.isEmpty()) {
        QSettings settings(u"OmbraSeat"_s);
        settings.setValue(u"Settings/MainLeft"_s, saved[0]);
        settings.setValue(u"Settings/MainTop"_s, saved[1]);
    }
    const auto panel = signedInPanel();
    QCOMPARE(panel->pos(), opensAt);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
    if (moveTo != QPoint(-1, -1))
        panel->move(moveTo);
    if (minimize)
        panel->showMinimized();
    QSettings(u"OmbraSeat"_s).clear();
    panel->close();
    QCOMPARE(savedPosition(), savedAfter);
}

void TestStudentForms::timerPolls()
{
    QVERIFY(SeatFolder::writeLines(u"Data/LVQ7.ini"_s, {u" 2 "_s, u"Q"_s, u"○"_s, u"×"_s}));
    const auto panel = signedInPanel(false);
    panel->show();
    QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*panel, u"Command1_1"_s)->isVisible(), 3000);
    QCOMPARE(child<QPushButton>(*panel, u"Command1_1"_s)->text(), u"×"_s);
}

void TestStudentForms::changeNotificationPolls_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("rewritten in place") << u"rewrite"_s;
    QTest::newRow("replaced by a rename") << u"rename"_s;
    QTest::newRow("removed, then written anew") << u"remove"_s;
}

// LVQTimer is stopped: only the change notification can poll here.
void TestStudentForms::changeNotificationPolls()
{
    QFETCH(QString, how);
    const QStringList next = {u" 3 "_s, u"R"_s, u"1"_s, u"2"_s, u"3"_s, u""_s, u""_s, u" 0 "_s};
    QVERIFY(SeatFolder::writeLines(u"Data/LVQ7.ini"_s, {u" 2 "_s, u"Q"_s, u"○"_s, u"×"_s}));
    const auto panel = signedInPanel();
    panel->show();
    auto *question = child<QLabel>(*panel, u"LblEnqete"_s);

    // Before a tick has read a mode, a change does not poll: the first poll
    // stays the timer's, a full period after the window opened.
    QVERIFY(SeatFolder::writeLines(u"Data/LVQ7.ini"_s, {u" 2 "_s, u"Q"_s, u"○"_s, u"×"_s}));
    QTest::qWait(100);
    QCOMPARE(question->text(), QString());
    QVERIFY(!panel->isEnding());

    panel->PollCommandFile();
    QCOMPARE(question->text(), u"Q"_s);
    if (how == u"rewrite") {
        QVERIFY(SeatFolder::writeLines(u"Data/LVQ7.ini"_s, next));
    } else if (how == u"rename") {
        QVERIFY(SeatFolder::writeLines(u"Data/LVQ7.new"_s, next));
        QVERIFY(QFile::remove(u"Data/LVQ7.ini"_s));
        QVERIFY(QFile::rename(u"Data/LVQ7.new"_s, u"Data/LVQ7.ini"_s));
    } else {
        QVERIFY(QFile::remove(u"Data/LVQ7.ini"_s));
        QTRY_COMPARE_WITH_TIMEOUT(question->text(), QString(), 3000);
        QVERIFY(SeatFolder::writeLines(u"Data/LVQ7.ini"_s, next));
    }
    QTRY_COMPARE_WITH_TIMEOUT(question->text(), u"R"_s, 3000);
    QVERIFY(child<QPushButton>(*panel, u"Command1_2"_s)->isVisible());

    // and goes on watching the file after it was replaced
    QVERIFY(SeatFolder::writeLines(u"Data/LVQ7.ini"_s, {u" 100 "_s, u"S"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(question->text(), u"S"_s, 3000);
    QVERIFY(!child<QPushButton>(*panel, u"Command1_0"_s)->isVisible());
}

QTEST_MAIN(TestStudentForms)
#include "tst_studentforms.moc"
