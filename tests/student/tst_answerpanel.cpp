#include "SeatFolder.h"
#include "SharedFolderFaults.h"

#include "exchange/ExchangeFiles.h"
#include "student/AnswerPanel.h"

#include <QTest>

using namespace Qt::StringLiterals;
using student::AnswerPanel;

namespace {

QStringList commandLines(const QString &mode, const QStringList &labels, int oneAnswerOnly = 0,
                         const QString &question = u"好きですか"_s)
{
    QStringList lines{mode, question};
    for (int i = 0; i < 5; ++i)
        lines << labels.value(i);
    return lines << u" %1 "_s.arg(oneAnswerOnly);
}

const QStringList kThreeLabels{u"はい"_s, u"いいえ"_s, u"どちらでもない"_s};

} // namespace

class TestAnswerPanel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layouts_data();
    void layouts();
    void fitAnswerFont_data();
    void fitAnswerFont();
    void firstPoll_data();
    void firstPoll();
    void unknownModeKeepsButtons_data();
    void unknownModeKeepsButtons();
    void failedReadKeepsModeAndCaptions_data();
    void failedReadKeepsModeAndCaptions();
    void ownWritesNeverFollow_data();
    void ownWritesNeverFollow();
    void modeThreeWithTwoLabelsKeepsOldCaption();
    void oneAnswerLock();
    void pendingAnswerIsRetried_data();
    void pendingAnswerIsRetried();
    void pendingLockKeepsButtonsHidden();
    void newQuestionDropsPendingWrites();
    void clickOnReplacedQuestionWritesNothing_data();
    void clickOnReplacedQuestionWritesNothing();
    void pendingLockMeetsNewQuestion_data();
    void pendingLockMeetsNewQuestion();
    void commandFileCutAtEveryByte();

private:
    std::unique_ptr<SeatFolder> m_folder;
    student::Module1 m_module;
    std::unique_ptr<AnswerPanel> m_panel;

    AnswerPanel::PollResult poll(const QStringList &lines)
    {
        SeatFolder::writeLines(m_module.CommandFilePath, lines);
        return m_panel->PollCommandFile();
    }
    int visibleButtons() const
    {
        return int(std::count_if(m_panel->view().buttons.begin(), m_panel->view().buttons.end(),
                                 [](const auto &b) { return b.visible; }));
    }
};

void TestAnswerPanel::init()
{
    m_folder = std::make_unique<SeatFolder>();
    QVERIFY(m_folder->isValid());
    m_module = student::Module1();
    m_module.SeatNumber = 7;
    m_module.CommandFilePath = exchange::commandFilePath(7);
    m_module.AnswerFilePath = exchange::answerFilePath(7);
    m_panel = std::make_unique<AnswerPanel>(m_module);
}

void TestAnswerPanel::cleanup()
{
    faults::releaseHeld();
    m_panel.reset();
    m_folder.reset();
}

void TestAnswerPanel::layouts_data()
{
    QTest::addColumn<int>("previousMode");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("lefts");
    QTest::addColumn<QList<int>>("widths");

    QTest::newRow("1 from the start")
        << 0 << 1 << QList{8, 120, 232, 344, 456} << QList{224, 97, 97, 97, 97};
    QTest::newRow("2") << 0 << 2 << QList{8, 290, 232, 344, 456} << QList{244, 244, 97, 97, 97};
    QTest::newRow("3") << 0 << 3 << QList{8, 198, 388, 344, 456} << QList{160, 160, 160, 97, 97};
    QTest::newRow("4") << 0 << 4 << QList{8, 149, 289, 429, 456} << QList{125, 125, 125, 125, 97};
    QTest::newRow("5") << 0 << 5 << QList{8, 120, 232, 344, 456} << QList{97, 97, 97, 97, 97};
    // hidden buttons are not moved
    QTest::newRow("1 after 4") << 4 << 1 << QList{8, 149, 289, 429, 456}
                               << QList{224, 125, 125, 125, 97};
    QTest::newRow("5 after 2 restores")
        << 2 << 5 << QList{8, 120, 232, 344, 456} << QList{97, 97, 97, 97, 97};
}

void TestAnswerPanel::layouts()
{
    QFETCH(int, previousMode);
    QFETCH(int, mode);
    QFETCH(QList<int>, lefts);
    QFETCH(QList<int>, widths);

    const QStringList labels{u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s};
    if (previousMode)
        poll(commandLines(u" %1 "_s.arg(previousMode), labels));
    QCOMPARE(poll(commandLines(u" %1 "_s.arg(mode), labels)), AnswerPanel::PollResult::Continue);
    for (int i = 0; i < 5; ++i) {
        const student::AnswerButtonView &button = m_panel->view().buttons[i];
        QCOMPARE(button.visible, i < mode);
        QCOMPARE(button.left, lefts[i]);
        QCOMPARE(button.width, widths[i]);
    }
    QCOMPARE(m_panel->view().question, u"好きですか"_s);
}

void TestAnswerPanel::fitAnswerFont_data()
{
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<int>("pointSize");

    QTest::newRow("no labels") << QStringList{} << 24;
    QTest::newRow("○ ×, longest 1") << QStringList{u"○"_s, u"×"_s} << 24;
    QTest::newRow("longest 2") << QStringList{u"12"_s} << 24;
    QTest::newRow("はい いいえ, longest 3") << QStringList{u"はい"_s, u"いいえ"_s} << 20;
    QTest::newRow("longest 5") << QStringList{u"ああああ"_s, u"12345"_s} << 20;
    QTest::newRow("longest 6") << QStringList{u"123456"_s} << 16;
    QTest::newRow("どちらでもない, 7") << kThreeLabels << 16;
    QTest::newRow("longest 11 in label 5")
        << QStringList{u""_s, u""_s, u""_s, u""_s, u"12345678901"_s} << 16;
    QTest::newRow("longest 12") << QStringList{u"１２３４５６７８９０１２"_s} << 12;
}

void TestAnswerPanel::fitAnswerFont()
{
    QFETCH(QStringList, labels);
    QFETCH(int, pointSize);

    for (int i = 0; i < 5; ++i)
        m_module.ShownQuestion[i + 1] = labels.value(i);
    m_module.ShownQuestion[0] = u"a question far longer than any label"_s;
    m_panel->FitAnswerFont();
    QCOMPARE(m_panel->view().buttonPointSize, pointSize);
}

void TestAnswerPanel::firstPoll_data()
{
    QTest::addColumn<QByteArray>("file"); // "<none>": no command file at all
    QTest::addColumn<bool>("ends");
    QTest::addColumn<int>("visible");

    QTest::newRow("no command file yet") << QByteArray("<none>") << true << 0;
    QTest::newRow("empty command file") << QByteArray() << true << 0;
    QTest::newRow("mode 0") << QByteArray(" 0 \r\nQ\r\n\r\n\r\n\r\n\r\n\r\n 0 \r\n") << true << 0;
    QTest::newRow("mode 100") << QByteArray(" 100 \r\n\r\nA\r\nB\r\n\r\n\r\n\r\n 0 \r\n") << false
                              << 0;
    QTest::newRow("mode 2 written as 2.0") << QByteArray(" 2.0 \r\nQ\r\nA\r\nB\r\n") << false << 2;
    // a text never matches a mode, not even the empty mode's 0
    QTest::newRow("text mode") << QByteArray("abc\r\nQ\r\n") << false << 0;
    // as good as no command file, and read at once: no open waits on a writer
    QTest::newRow("pipe instead of a command file") << QByteArray("<pipe>") << true << 0;
}

void TestAnswerPanel::firstPoll()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, ends);
    QFETCH(int, visible);

    if (const char *reason = faults::cannotMake(file))
        QSKIP(reason);
    if (faults::isMarker(file))
        QVERIFY(faults::plant(m_module.CommandFilePath, file));
    else if (file != "<none>")
        QVERIFY(exchange::writeWholeFile(m_module.CommandFilePath, file).ok);
    const auto expected =
        ends ? AnswerPanel::PollResult::EndProgram : AnswerPanel::PollResult::Continue;
    QCOMPARE(m_panel->PollCommandFile(), expected);
    QCOMPARE(visibleButtons(), visible);
}

void TestAnswerPanel::unknownModeKeepsButtons_data()
{
    QTest::addColumn<QString>("mode");

    QTest::newRow("mode 6") << u" 6 "_s;
    QTest::newRow("mode 2.5") << u" 2.5 "_s;
    QTest::newRow("text") << u"abc"_s;
    QTest::newRow("number followed by text") << u"3abc"_s;
}

void TestAnswerPanel::unknownModeKeepsButtons()
{
    QFETCH(QString, mode);

    poll(commandLines(u" 4 "_s, {u"A"_s, u"B"_s, u"C"_s, u"D"_s}));
    const auto before = m_panel->view().buttons;
    QCOMPARE(poll(commandLines(mode, {u"A"_s, u"B"_s, u"C"_s, u"D"_s})),
             AnswerPanel::PollResult::Continue);
    QVERIFY(m_panel->view().buttons == before);
}

void TestAnswerPanel::failedReadKeepsModeAndCaptions_data()
{
    // what replaces the command file: "<missing>", contents, or a marker of
    // SharedFolderFaults.h
    QTest::addColumn<QByteArray>("replacement");

    QTest::newRow("file missing") << QByteArray("<missing>");
    QTest::newRow("file empty") << QByteArray();
    QTest::newRow("folder") << QByteArray("<dir>");
    QTest::newRow("pipe") << QByteArray("<pipe>");
    QTest::newRow("socket") << QByteArray("<socket>");
    QTest::newRow("link to a device") << QByteArray("<link:/dev/zero>");
    QTest::newRow("junction") << QByteArray("<junction:..>");
    QTest::newRow("held without sharing") << QByteArray("<held>");
}

void TestAnswerPanel::failedReadKeepsModeAndCaptions()
{
    QFETCH(QByteArray, replacement);
    if (const char *reason = faults::cannotMake(replacement))
        QSKIP(reason);

    poll(commandLines(u" 3 "_s, kThreeLabels, 1));
    const auto before = m_panel->view().buttons;
    if (replacement == "<missing>")
        QVERIFY(QFile::remove(m_module.CommandFilePath));
    else if (faults::isMarker(replacement))
        QVERIFY(faults::plant(m_module.CommandFilePath, replacement));
    else
        QVERIFY(exchange::writeWholeFile(m_module.CommandFilePath, replacement).ok);

    QCOMPARE(m_panel->PollCommandFile(), AnswerPanel::PollResult::Continue);
    QVERIFY(m_panel->view().buttons == before);
    QCOMPARE(m_panel->view().question, QString());
    QCOMPARE(m_panel->view().buttonPointSize, 24);
    QCOMPARE(m_module.OneAnswerOnly, 1);
}

void TestAnswerPanel::ownWritesNeverFollow_data()
{
    QTest::addColumn<bool>("commandFile"); // the one-answer lock, else the answer
    QTest::addColumn<QByteArray>("planted");

    for (const bool commandFile : {false, true}) {
        const char *file = commandFile ? "command file" : "answer file";
        QTest::addRow("%s: pipe", file) << commandFile << QByteArray("<pipe>");
        QTest::addRow("%s: socket", file) << commandFile << QByteArray("<socket>");
        QTest::addRow("%s: link to a file outside", file)
            << commandFile << QByteArray("<link:../outside.txt>");
        QTest::addRow("%s: link to another seat's file", file)
            << commandFile << QByteArray(commandFile ? "<link:LVQ8.ini>" : "<link:LVQ8.txt>");
        QTest::addRow("%s: junction to a folder outside", file)
            << commandFile << QByteArray("<junction:..>");
        QTest::addRow("%s: second name of another seat's file", file)
            << commandFile
            << QByteArray(commandFile ? "<hardlink:Data/LVQ8.ini>" : "<hardlink:Data/LVQ8.txt>");
    }
    QTest::newRow("command file: removed") << true << QByteArray("<missing>");
}

// The click's writes go to this seat's own regular files, never through
// whatever a neighbour put at their names: the lock replaces it with a file
// of its own. A command file that is gone holds no question to lock: the
// click writes nothing, and the pupil is told which file is missing.
void TestAnswerPanel::ownWritesNeverFollow()
{
    QFETCH(bool, commandFile);
    QFETCH(QByteArray, planted);
    if (const char *reason = faults::cannotMake(planted))
        QSKIP(reason);
    // The files linked to hold the question on screen, so that reading the
    // command file through a link finds nothing new and the click goes on.
    const QStringList published = commandLines(u" 3 "_s, kThreeLabels, commandFile ? 1 : 0);
    const QByteArray untouched = exchange::cp932Lines(published);
    const QStringList others{u"outside.txt"_s, u"Data/LVQ8.ini"_s, u"Data/LVQ8.txt"_s};
    for (const QString &other : others)
        QVERIFY(exchange::writeWholeFile(other, untouched).ok);

    poll(published);
    const QString path = commandFile ? m_module.CommandFilePath : m_module.AnswerFilePath;
    const bool removed = planted == "<missing>";
    if (removed)
        QVERIFY(QFile::remove(path));
    else
        QVERIFY(faults::plant(path, planted));
    QCOMPARE(m_panel->Command1_Click(2), !removed);
    QVERIFY(!m_panel->answerPending());
    QVERIFY(!m_panel->lockPending());

    if (removed) {
        QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), QByteArray("<missing>"));
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(m_panel->notice().startsWith(u"回答 3 は届いていません。"_s));
        QVERIFY(m_panel->notice().contains(path));
    } else {
        QVERIFY(faults::isPlainFile(m_module.AnswerFilePath));
        QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), QByteArray(" 3 \r\n"));
        if (commandFile) {
            QVERIFY(faults::isPlainFile(m_module.CommandFilePath));
            QVERIFY(SeatFolder::read(m_module.CommandFilePath).startsWith(" 100 \r\n"));
        }
    }
    for (const QString &other : others)
        QCOMPARE(SeatFolder::read(other), untouched);
}

void TestAnswerPanel::modeThreeWithTwoLabelsKeepsOldCaption()
{
    poll(commandLines(u" 3 "_s, {u"はい"_s, u"いいえ"_s}));
    QCOMPARE(m_panel->view().buttons[2].caption, u"3"_s);
    poll(commandLines(u" 5 "_s, {u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s}));
    poll(commandLines(u" 3 "_s, {u"はい"_s, u"いいえ"_s}));
    QVERIFY(m_panel->view().buttons[2].visible);
    QCOMPARE(m_panel->view().buttons[2].caption, u"C"_s);
    QCOMPARE(m_panel->view().buttons[1].caption, u"いいえ"_s);
}

void TestAnswerPanel::oneAnswerLock()
{
    // A flag beyond the 16-bit range reads as a failed read: the flag stays.
    poll(commandLines(u" 3 "_s, kThreeLabels, 70000));
    QCOMPARE(m_module.OneAnswerOnly, 0);
    poll(commandLines(u" 3 "_s, kThreeLabels, 1));
    m_panel->Command1_Click(2);
    QCOMPARE(visibleButtons(), 0);
    QCOMPARE(m_panel->LVQMode(), student::ModeValue(100.0));
    QCOMPARE(SeatFolder::read(m_module.CommandFilePath),
             QByteArray(" 100 \r\n") + QByteArray::fromHex("8d4482ab82c582b782a9") // 好きですか
                 + "\r\n");

    m_panel->PollCommandFile(); // reads its own lock back
    QCOMPARE(visibleButtons(), 0);
    QCOMPARE(m_panel->view().question, u"好きですか"_s);

    poll(commandLines(u" 2 "_s, {u"○"_s, u"×"_s}, 1, u"次の質問"_s));
    QCOMPARE(visibleButtons(), 2);
}

void TestAnswerPanel::pendingAnswerIsRetried_data()
{
    QTest::addColumn<QByteArray>("fault");

    // as root no permission stops a write; a folder in the file's place does
    QTest::newRow("folder in the way") << QByteArray("<dir>");
    // another PC in the middle of writing it, sharing nothing
    QTest::newRow("held without sharing") << QByteArray("<held>");
}

void TestAnswerPanel::pendingAnswerIsRetried()
{
    QFETCH(QByteArray, fault);
    if (const char *reason = faults::cannotMake(fault))
        QSKIP(reason);
    poll(commandLines(u" 3 "_s, kThreeLabels));
    QVERIFY(faults::plant(m_module.AnswerFilePath, fault));
    m_panel->Command1_Click(1);
    QVERIFY(m_panel->answerPending());
    QCOMPARE(m_panel->notice(), QString()); // one failure may be a passing hiccup

    m_panel->PollCommandFile();
    QVERIFY(m_panel->answerPending());
    QVERIFY(m_panel->notice().contains(m_module.AnswerFilePath));

    faults::releaseHeld();
    QDir().rmdir(m_module.AnswerFilePath);
    m_panel->PollCommandFile();
    QVERIFY(!m_panel->answerPending());
    QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), QByteArray(" 2 \r\n"));
    QCOMPARE(m_panel->notice(), QString());
}

void TestAnswerPanel::pendingLockKeepsButtonsHidden()
{
    bool lockFails = true;
    m_panel->setFileWriter([&](const QString &path, const QByteArray &bytes) {
        if (lockFails && path == m_module.CommandFilePath)
            return exchange::FileStatus::failure(u"busy"_s);
        return exchange::writeWholeFile(path, bytes);
    });
    const QStringList published = commandLines(u" 3 "_s, kThreeLabels, 1);
    poll(published);
    m_panel->Command1_Click(0);
    QVERIFY(m_panel->lockPending());
    QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), QByteArray(" 1 \r\n"));

    // the teacher's full form of the answered question must not reopen answering
    QCOMPARE(m_panel->PollCommandFile(), AnswerPanel::PollResult::Continue);
    QCOMPARE(visibleButtons(), 0);
    QVERIFY(m_panel->notice().contains(m_module.CommandFilePath));

    lockFails = false;
    m_panel->PollCommandFile();
    QVERIFY(!m_panel->lockPending());
    QVERIFY(SeatFolder::read(m_module.CommandFilePath).startsWith(" 100 \r\n"));
    m_panel->PollCommandFile();
    QCOMPARE(visibleButtons(), 0);
    QCOMPARE(m_panel->notice(), QString());
}

void TestAnswerPanel::newQuestionDropsPendingWrites()
{
    m_panel->setFileWriter([](const QString &, const QByteArray &) {
        return exchange::FileStatus::failure(u"busy"_s);
    });
    poll(commandLines(u" 3 "_s, kThreeLabels, 1));
    m_panel->Command1_Click(2);
    QVERIFY(m_panel->lockPending() && m_panel->answerPending());

    // the teacher moves on (and resets the answer file) before either write got through
    m_panel->setFileWriter(exchange::writeWholeFile);
    QVERIFY(exchange::writeWholeFile(m_module.AnswerFilePath, exchange::answerFileBytes(0)).ok);
    const QStringList next = commandLines(u" 2 "_s, {u"○"_s, u"×"_s}, 1, u"次の質問"_s);
    poll(next);
    QVERIFY(!m_panel->lockPending() && !m_panel->answerPending());
    QCOMPARE(visibleButtons(), 2);
    QVERIFY(m_panel->notice().contains(u"届いていません"_s));
    m_panel->PollCommandFile();
    QCOMPARE(SeatFolder::read(m_module.CommandFilePath), exchange::cp932Lines(next));
    QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), QByteArray(" 0 \r\n"));
}

// The teacher publishes the next question (and resets the answer file)
// between the panel's poll and the pupil's click, or while the click writes
// its lock and answer: the lock must not hide the new question, and the
// answer must not be counted for it.
void TestAnswerPanel::clickOnReplacedQuestionWritesNothing_data()
{
    QTest::addColumn<int>("oneAnswer");
    QTest::addColumn<QString>("publishedBefore"); // the write of the click it comes just before
    QTest::newRow("before the click") << 1 << QString();
    QTest::newRow("just before the answer is written") << 0 << exchange::answerFilePath(7);
    QTest::newRow("after the lock, before the answer") << 1 << exchange::answerFilePath(7);
    // the lock's open takes seconds on a slow share
    QTest::newRow("while the lock's open is under way") << 1 << exchange::commandFilePath(7);
}

void TestAnswerPanel::clickOnReplacedQuestionWritesNothing()
{
    QFETCH(int, oneAnswer);
    QFETCH(QString, publishedBefore);
    poll(commandLines(u" 3 "_s, kThreeLabels, oneAnswer));
    const QStringList next = commandLines(u" 2 "_s, {u"○"_s, u"×"_s}, 1, u"次の質問"_s);
    auto publish = [&] {
        SeatFolder::writeLines(m_module.CommandFilePath, next);
        QVERIFY(exchange::writeWholeFile(m_module.AnswerFilePath, exchange::answerFileBytes(0)).ok);
    };
    if (publishedBefore.isEmpty())
        publish();
    auto publishBefore = [&](const QString &path) {
        if (path == publishedBefore) {
            publishedBefore.clear();
            publish();
        }
    };
    m_panel->setFileWriter([&](const QString &path, const QByteArray &bytes) {
        publishBefore(path);
        return exchange::writeWholeFile(path, bytes);
    });
    m_panel->setLockWriter([&](const QString &path, qint64 readLimit,
                               const exchange::ContentCheck &expected, const QByteArray &bytes) {
        publishBefore(path);
        return exchange::guardedRewrite(path, readLimit, expected, bytes);
    });

    QVERIFY(!m_panel->Command1_Click(2));
    QCOMPARE(SeatFolder::read(m_module.CommandFilePath), exchange::cp932Lines(next));
    QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), QByteArray(" 0 \r\n"));
    QVERIFY(!m_panel->lockPending() && !m_panel->answerPending());

    m_panel->PollCommandFile();
    QCOMPARE(visibleButtons(), 2);
    QVERIFY(m_panel->Command1_Click(1)); // the new question is answered as usual
    QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), QByteArray(" 2 \r\n"));
    // No button has these numbers: nothing is written.
    for (const int index : {-1, student::kAnswerButtonCount})
        m_panel->Command1_Click(index);
    QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), QByteArray(" 2 \r\n"));
}

void TestAnswerPanel::pendingLockMeetsNewQuestion_data()
{
    QTest::addColumn<bool>("removed");      // the command file removed, else the next question
    QTest::addColumn<bool>("answerFails");  // the click's answer is left pending too
    QTest::addColumn<int>("failedRetries"); // polls whose retry fails before the one raced
    QTest::addColumn<QByteArray>("answerFile");
    QTest::addColumn<QString>("notice");   // how it begins; empty: no notice
    QTest::addColumn<int>("visibleAfter"); // buttons at the poll after

    const QString lost = u"回答 3 をファイル \"Data/LVQ7.txt\" に書き込めないうちに"_s;
    QTest::newRow("published at the first retry")
        << false << false << 0 << QByteArray(" 0 \r\n") << QString() << 2;
    QTest::newRow("published at the first retry, answer pending")
        << false << true << 0 << QByteArray(" 0 \r\n") << lost << 2;
    QTest::newRow("published at the second retry, answer pending")
        << false << true << 1 << QByteArray(" 0 \r\n") << lost << 2;
    // no lock ever makes the file anew
    const QString missing = u"ファイル \"Data/LVQ7.ini\" が見つからないか"_s;
    QTest::newRow("removed at the first retry")
        << true << false << 0 << QByteArray(" 3 \r\n") << missing << 0;
    QTest::newRow("removed at the first retry, answer pending")
        << true << true << 0 << QByteArray("<missing>") << u"回答 3 は届いていません。"_s + missing
        << 0;
}

// A lock that failed at the click is retried at a poll that has just read the
// answered question; the teacher publishes (or the file goes) while the
// retry's open is under way. Neither the lock nor the answer may be written.
void TestAnswerPanel::pendingLockMeetsNewQuestion()
{
    QFETCH(bool, removed);
    QFETCH(bool, answerFails);
    QFETCH(int, failedRetries);
    QFETCH(QByteArray, answerFile);
    QFETCH(QString, notice);
    QFETCH(int, visibleAfter);
    const QStringList next = commandLines(u" 2 "_s, {u"○"_s, u"×"_s}, 1, u"次の質問"_s);
    m_panel->setFileWriter([&](const QString &path, const QByteArray &bytes) {
        if (answerFails)
            return exchange::FileStatus::failure(u"busy"_s);
        return exchange::writeWholeFile(path, bytes);
    });
    int lockFailures = 1 + failedRetries;
    m_panel->setLockWriter([&](const QString &path, qint64 readLimit,
                               const exchange::ContentCheck &expected, const QByteArray &bytes) {
        if (lockFailures-- > 0)
            return exchange::GuardedRewrite{exchange::GuardedRewrite::Outcome::Failed, u"busy"_s};
        if (removed) {
            QFile::remove(path);
        } else {
            SeatFolder::writeLines(path, next);
            exchange::writeWholeFile(m_module.AnswerFilePath, exchange::answerFileBytes(0));
        }
        return exchange::guardedRewrite(path, readLimit, expected, bytes);
    });
    poll(commandLines(u" 3 "_s, kThreeLabels, 1));
    QVERIFY(m_panel->Command1_Click(2));
    for (int retry = 0; retry < failedRetries; ++retry)
        m_panel->PollCommandFile();
    QVERIFY(m_panel->lockPending());
    QCOMPARE(m_panel->answerPending(), answerFails);

    QCOMPARE(m_panel->PollCommandFile(), AnswerPanel::PollResult::Continue);
    QVERIFY(!m_panel->lockPending() && !m_panel->answerPending());
    QCOMPARE(visibleButtons(), 0); // the question read before the open stays closed
    QCOMPARE(SeatFolder::read(m_module.CommandFilePath),
             removed ? QByteArray("<missing>") : exchange::cp932Lines(next));
    QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), answerFile);
    QVERIFY2(m_panel->notice().startsWith(notice), qPrintable(m_panel->notice()));
    QCOMPARE(m_panel->notice().isEmpty(), notice.isEmpty());

    m_panel->PollCommandFile();
    QCOMPARE(visibleButtons(), visibleAfter);
    QCOMPARE(SeatFolder::read(m_module.AnswerFilePath), answerFile);
}

// The teacher's program may be caught halfway through rewriting the file:
// whatever prefix is read, the panel keeps running, and the next good read
// shows the question again.
void TestAnswerPanel::commandFileCutAtEveryByte()
{
    const QStringList full = commandLines(u" 3 "_s, kThreeLabels, 1, u"問題,コンマ"_s);
    const QByteArray bytes = exchange::cp932Lines(full);
    poll(commandLines(u" 2 "_s, {u"○"_s, u"×"_s}));
    for (qsizetype cut = 0; cut < bytes.size(); ++cut) {
        QVERIFY(exchange::writeWholeFile(m_module.CommandFilePath, bytes.left(cut)).ok);
        QCOMPARE(m_panel->PollCommandFile(), AnswerPanel::PollResult::Continue);
        QVERIFY(exchange::writeWholeFile(m_module.CommandFilePath, bytes).ok);
        QCOMPARE(m_panel->PollCommandFile(), AnswerPanel::PollResult::Continue);
        QCOMPARE(m_panel->view().question, u"問題"_s); // the comma splits, as always
        QCOMPARE(visibleButtons(), 3);
    }
}

QTEST_GUILESS_MAIN(TestAnswerPanel)
#include "tst_answerpanel.moc"
