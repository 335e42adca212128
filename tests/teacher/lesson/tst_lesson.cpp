#include "ClassroomFolder.h"
#include "LessonFixtures.h"
#include "ScriptedPrompter.h"
#include "SharedFolderFaults.h"

#include "exchange/Cp932.h"
#include "exchange/ExchangeFiles.h"
#include "exchange/NumberText.h"
#include "teacher/lesson/FolderLock.h"
#include "teacher/lesson/Lesson.h"

#include "SharedFolderFaults.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;
using lesson::Lesson;

namespace {

const QString kThreeQuestions = u"好きな色は？\n赤\n青\n\n"
                                u"/ コメント\n得意ですか？\nはい\nいいえ\nどちらでもない\n\n"
                                u"犬と猫\n犬\n猫\n"_s;
// The same with correct answers: 赤 for the first question, a mark that names
// no answer for the last.
const QString kMarkedQuestions = u"好きな色は？\n赤\n青\n/正解 1\n\n"
                                 u"/ コメント\n得意ですか？\nはい\nいいえ\nどちらでもない\n\n"
                                 u"犬と猫\n犬\n猫\n/正解 ３\n"_s;

QByteArray commandFile(int seat)
{
    return ClassroomFolder::read(exchange::commandFilePath(seat));
}

QByteArray cp932(const QString &text)
{
    return exchange::encodeCp932(text);
}

QByteArray expectedCommand(int mode, const QStringList &fields, int oneAnswer)
{
    QString text = exchange::numberFieldText(mode) + u"\r\n"_s;
    for (int i = 0; i < 6; ++i)
        text += fields.value(i) + u"\r\n"_s;
    text += exchange::numberFieldText(oneAnswer) + u"\r\n"_s;
    return cp932(text);
}

void answer(int seat, int value)
{
    ClassroomFolder::write(exchange::answerFilePath(seat), exchange::answerFileBytes(value));
}

// The record's header and seat 3's line, without their CR LF.
QByteArrayList recordHeaderAndSeat3(const QByteArray &record)
{
    const QByteArrayList lines = record.split('\n');
    return {lines.value(0).chopped(1), lines.value(3).chopped(1)};
}

// A heading of 100 (k - 1) + n is question n's vote k: 101 is " 1(2回目) ".
QByteArrayList expectedHeaderAndSeat3(const QList<int> &numbers, const QList<int> &cells)
{
    QString header = u"出席番号"_s;
    for (const int number : numbers) {
        header += u',' + exchange::numberFieldText(number % 100);
        if (number > 100)
            header = header.chopped(1) + u"(%1回目) "_s.arg(number / 100 + 1);
    }
    QString seat = u" 3 番 "_s;
    for (const int cell : cells)
        seat += u',' + exchange::numberFieldText(cell);
    return {cp932(header), cp932(seat)};
}

// A file an earlier lesson left, last written at 10:15 on 2026-12-07.
bool writeEarlier(const QString &name, const QByteArray &bytes)
{
    ClassroomFolder::write(name, bytes);
    QFile file(name);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime(QDate(2026, 12, 7), QTime(10, 15, 30)),
                            QFileDevice::FileModificationTime);
}

// Fails the writes of one file a given number of times, then writes for real.
struct FailingWrites
{
    QString path;
    int failuresLeft = 0;
    QStringList written;

    exchange::FileStatus operator()(const QString &file, const QByteArray &bytes)
    {
        written << file;
        if (file == path && failuresLeft > 0) {
            --failuresLeft;
            return exchange::FileStatus::failure(u"held by another program"_s);
        }
        return exchange::writeWholeFile(file, bytes);
    }
};

// Presses one of the lesson's answering controls by name; nothing for a
// name that is none of them.
void pressControl(Lesson &lesson, const QString &control)
{
    if (control == u"start")
        lesson.CmdStart_Click();
    else if (control == u"pause")
        lesson.CmdPause_Click();
    else if (control == u"clear")
        lesson.CmdLVQClear_Click();
    else if (control == u"back")
        lesson.cmdBack_Click();
    else if (control == u"vote")
        lesson.mnuVoteAgain_Click();
    else if (control == u"check")
        lesson.Check1_Click(false);
    else if (control == u"option")
        lesson.OptLVQ_Click(5);
    else if (control == u"end")
        lesson.cmdEnd_Click();
}

} // namespace

class TestLesson : public QObject
{
    Q_OBJECT

private slots:
    void startupPublishesPausedState();
    void startupReportsUnwritableData();
    void secondTeacher_data();
    void secondTeacher();
    void dataFolderLostDuringLesson();
    void fileHeldForAnInstantIsRetried();
    void navigationThroughThreeQuestions();
    void backAfterLastQuestion();
    void rowWithoutAnswersPausesInsteadOfEnding();
    void unencodableCharactersAreTold();
    void endQuestionnaireAsks_data();
    void endQuestionnaireAsks();
    void answerSets_data();
    void answerSets();
    void answeringControls_data();
    void answeringControls();
    void timeLimit_data();
    void timeLimit();
    void clearCountsAdHocQuestions();
    void restartWithQuestionnairePublishesQuestionOnScreen();
    void collectAndDraw();
    void answerWatcherCollectsLikeATick();
    void recordOfAdHocLesson();
    void recordOfQuestionnaire();
    void revealCorrect();
    void recordThatCannotBeWritten_data();
    void recordThatCannotBeWritten();
    void recordColumns_data();
    void recordColumns();
    void ticksWaitForPrompts_data();
    void ticksWaitForPrompts();
    void retryWritesOnlyFailedSeats_data();
    void retryWritesOnlyFailedSeats();
    void seatsShowingSomethingElse_data();
    void seatsShowingSomethingElse();
    void seatsLookedAfterBetweenTicks();
    void lessonOnASlowShare();
    void runningRecord();
    void earlierRecordKept_data();
    void earlierRecordKept();

private:
    static void loadQuestionnaire(Lesson &lesson, const ClassroomFolder &folder,
                                  const QString &text)
    {
        folder.writeQuestionnaire(u"q.txt"_s, text);
        lesson.document().setFileLocation(folder.path(), u"q.txt"_s);
        QVERIFY(lesson.document().SFileLoad());
    }
};

void TestLesson::startupPublishesPausedState()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;

    // ○ is 81 9B and × is 81 7E in code page 932.
    const QByteArray expected =
        QByteArray(" 100 \r\n\r\n\x81\x9b\r\n\x81\x7e\r\n\r\n\r\n\r\n 0 \r\n");
    for (int seat = 0; seat <= 50; ++seat) {
        QCOMPARE(commandFile(seat), expected);
        QCOMPARE(ClassroomFolder::read(exchange::answerFilePath(seat)), QByteArray(" 0 \r\n"));
    }
    QVERIFY(!QFile::exists(exchange::commandFilePath(51)));
    QCOMPARE(lesson.view().frameCaption, u"第 1問のアンケートの設定"_s);
    QCOMPARE(lesson.OneAnswerOnly, 1);
    QVERIFY(!lesson.session().answering());
    QVERIFY(lesson.view().optLvqVisible);
    QVERIFY(!lesson.view().nextVisible && !lesson.view().backVisible && !lesson.view().endVisible);
    QVERIFY(prompter.asked.isEmpty());
}

// A file named Data stands where the folder should be: nothing can be
// written, the teacher is told once per pass and decides.
void TestLesson::startupReportsUnwritableData()
{
    ClassroomFolder folder;
    ClassroomFolder::write(u"Data"_s, "not a folder");
    ScriptedPrompter prompter;
    prompter.publishChoices = {lesson::LessonPrompter::PublishChoice::Retry,
                               lesson::LessonPrompter::PublishChoice::Continue};
    Lesson lesson(prompter);
    lesson.Form_Load();

    QCOMPARE(prompter.asked.size(), 2);
    QVERIFY2(prompter.asked[0].contains(u"LVQ0.ini 102/102"_s), qPrintable(prompter.asked[0]));
    QCOMPARE(lesson.view().frameCaption, u"第 1問のアンケートの設定"_s);
}

// One teacher's program per classroom folder. A second one says which PC
// holds the folder and ends before it renames, publishes or writes anything;
// a lock left by a program that is gone is taken over, from another PC only
// when the teacher says so.
void TestLesson::secondTeacher_data()
{
    QTest::addColumn<QByteArray>("lock"); // "<running>": a lesson of this process holds it
    QTest::addColumn<bool>("takeOver");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("starts");

    const QByteArray program =
        QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
    // The name QLockFile writes for this PC (Windows: the computer's name, in
    // capitals).
    QString here;
    {
        QTemporaryDir dir;
        QLockFile probe(dir.filePath(u"probe"_s));
        QVERIFY(probe.tryLock(0) && probe.getLockInfo(nullptr, &here, nullptr));
    }
    // A process of this program that has ended.
    QProcess gone;
    gone.start(QCoreApplication::applicationFilePath(), {u"-functions"_s});
    QVERIFY(gone.waitForStarted());
    const QByteArray gonePid = QByteArray::number(gone.processId());
    QVERIFY(gone.waitForFinished());

    QTest::newRow("running on this PC")
        << QByteArray("<running>") << false << u"folder in use: "_s + here << false;
    QTest::newRow("left on this PC by a program gone")
        << gonePid + '\n' + program + '\n' + here.toUtf8() + '\n'
        << false << QString() << true;
    // This PC with its letters in the other case (as Windows writes it) is
    // judged by the process too: gone, or the id given to another program (a
    // process the test starts, "<other>"), the lock is taken over; only this
    // program alive (this test) holds it.
    QString otherCase;
    for (const QChar c : here)
        otherCase += c.isUpper() ? c.toLower() : c.toUpper();
    const QByteArray otherHere = '\n' + program + '\n' + otherCase.toUtf8() + '\n';
    QTest::newRow("this PC in other letters, the program gone")
        << gonePid + otherHere << false << QString() << true;
    QTest::newRow("this PC in other letters, the id given to another program")
        << "<other>" + otherHere << false << QString() << true;
    QTest::newRow("this PC in other letters, the program alive")
        << QByteArray::number(QCoreApplication::applicationPid()) + otherHere << false
        << u"folder in use: "_s + otherCase << false;
    QTest::newRow("another PC, taken over")
        << "4242\n" + program + "\nPC-ROOM2\n"
        << true << u"take over: PC-ROOM2 2026-12-07T10:15:30"_s << true;
    QTest::newRow("another PC, left alone")
        << "4242\n" + program + "\nPC-ROOM2\n"
        << false << u"take over: PC-ROOM2 2026-12-07T10:15:30"_s << false;
    QTest::newRow("no teacher's program: a live process of another")
        << "1\ninit\n" + here.toUtf8() + '\n'
        << false << QString() << true;
    QTest::newRow("garbage") << QByteArray("\xff\x00 garbage") << false << QString() << true;
    QTest::newRow("a pipe") << QByteArray("<pipe>") << false << QString() << true;
    QTest::newRow("a folder") << QByteArray("<dir>") << false << u"folder lock failed: <lock>"_s
                              << false;
}

void TestLesson::secondTeacher()
{
    QFETCH(QByteArray, lock);
    QFETCH(bool, takeOver);
    QFETCH(QString, asked);
    QFETCH(bool, starts);
#ifdef Q_OS_WIN
    if (lock == "<pipe>")
        QSKIP("pipes are made on POSIX systems only");
#endif
    ClassroomFolder folder;
    ScriptedPrompter firstPrompter;
    std::optional<Lesson> first;
    QProcess other;
    const auto endOther = qScopeGuard([&other] { other.kill(), other.waitForFinished(); });
    if (lock == "<running>") {
        first.emplace(firstPrompter);
        QVERIFY(first->Form_Load());
        answer(5, 2);
    } else if (faults::isMarker(lock)) {
        QVERIFY(faults::plant(lesson::FolderLock::fileName(), lock));
    } else {
        if (lock.startsWith("<other>")) {
#ifdef Q_OS_WIN
            other.start(u"cmd.exe"_s); // waits for commands on its input, as cat does
#else
            other.start(u"cat"_s);
#endif
            QVERIFY(other.waitForStarted());
            lock.replace("<other>", QByteArray::number(other.processId()));
        }
        ClassroomFolder::write(lesson::FolderLock::fileName(), lock);
        QFile file(lesson::FolderLock::fileName());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime(QDate(2026, 12, 7), QTime(10, 15, 30)),
                                 QFileDevice::FileModificationTime));
    }
    ClassroomFolder::write(u"Kiroku-running.csv"_s, "the running lesson's");

    ScriptedPrompter prompter;
    prompter.takeOver = takeOver;
    asked.replace(u"<lock>"_s,
                  QDir::toNativeSeparators(folder.filePath(lesson::FolderLock::fileName())));
    Lesson lesson(prompter);
    QCOMPARE(lesson.Form_Load(), starts);
    QCOMPARE(prompter.asked.filter(u"unfinished record"_s).isEmpty(), !starts);
    prompter.asked.removeIf([](const QString &a) { return a.startsWith(u"unfinished"_s); });
    QCOMPARE(prompter.asked, asked.isEmpty() ? QStringList() : QStringList{asked});
    // Renamed, published or written nothing: the running copy, the folder
    // Data and the answer the first lesson's pupil gave are as they were.
    QCOMPARE(QFileInfo::exists(u"Kiroku-running.csv"_s), !starts);
    QCOMPARE(QFileInfo::exists(u"Data"_s), starts || first.has_value());
    if (!first)
        return;
    QCOMPARE(ClassroomFolder::read(exchange::answerFilePath(5)), QByteArray(" 2 \r\n"));
    // Once the first has closed, the folder is free.
    first->Form_Unload();
    ScriptedPrompter later;
    QVERIFY(Lesson(later).Form_Load());
}

// Someone removes "Data" in the middle of a lesson: the teacher is told once
// for the whole pass, puts it back and retries; the publication then reaches
// every seat and nothing of the lesson is lost.
void TestLesson::dataFolderLostDuringLesson()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    QVERIFY(QDir(u"Data"_s).removeRecursively());
    ClassroomFolder::write(u"Data"_s, "in the way");

    prompter.publishChoices = {lesson::LessonPrompter::PublishChoice::Retry};
    prompter.beforeAnswer = [] {
        QFile::remove(u"Data"_s);
        QDir().mkdir(u"Data"_s);
    };
    lesson.OptLVQ_Click(3);
    lesson.CmdStart_Click();
    QCOMPARE(prompter.asked.size(), 1);
    QCOMPARE(commandFile(50), expectedCommand(3, {u""_s, u"１"_s, u"２"_s, u"３"_s}, 1));
    QVERIFY(lesson.session().answering());
    QCOMPARE(lesson.LVQMode, 3.0);
}

// A seat's file held by a pupil's program for an instant: the seat is tried
// again in the same publication, without troubling the teacher, and its
// command file still comes before its answer file.
void TestLesson::fileHeldForAnInstantIsRetried()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    QStringList writes;
    bool held = true;
    lesson.session().setFileWriter([&](const QString &path, const QByteArray &bytes) {
        if (path.contains(u"LVQ7."_s))
            writes << path;
        if (held && path == u"Data/LVQ7.ini"_s) {
            held = false;
            return exchange::FileStatus::failure(u"held"_s);
        }
        return exchange::writeWholeFile(path, bytes);
    });
    answer(7, 3);
    lesson.CmdPause_Click();
    QVERIFY(prompter.asked.isEmpty());
    // The answer file is not reset while the command file failed.
    QCOMPARE(writes, QStringList({u"Data/LVQ7.ini"_s, u"Data/LVQ7.ini"_s, u"Data/LVQ7.txt"_s}));
    QCOMPARE(commandFile(7), expectedCommand(100, {u""_s, u"○"_s, u"×"_s}, 1));
    QCOMPARE(ClassroomFolder::read(exchange::answerFilePath(7)), QByteArray(" 0 \r\n"));
}

void TestLesson::navigationThroughThreeQuestions()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    loadQuestionnaire(lesson, folder, kThreeQuestions);
    QCOMPARE(lesson.document().lastQuestion(), 2);
    lesson.mnuFileOpen_Click();
    QVERIFY(lesson.view().nextVisible);
    QVERIFY(!lesson.view().optLvqVisible);

    lesson.cmdNext_Click();
    QCOMPARE(lesson.view().frameCaption, u"第 1問目のアンケート"_s);
    QCOMPARE(lesson.view().enqeteText, u"好きな色は？"_s);
    QCOMPARE(lesson.CurrentQuestion, 1);
    QVERIFY(!lesson.view().backVisible);
    QVERIFY(lesson.view().nextVisible);
    QVERIFY(lesson.session().answering());
    QCOMPARE(commandFile(7), expectedCommand(2, {u"好きな色は？"_s, u"赤"_s, u"青"_s}, 1));
    QCOMPARE(lesson.view().itemCaptions[1], u"赤"_s);
    QCOMPARE(lesson.view().itemCaptions[3], u"青"_s);

    lesson.cmdNext_Click();
    QCOMPARE(lesson.view().frameCaption, u"第 2問目のアンケート"_s);
    QVERIFY(lesson.view().backVisible);
    QCOMPARE(
        commandFile(50),
        expectedCommand(3, {u"得意ですか？"_s, u"はい"_s, u"いいえ"_s, u"どちらでもない"_s}, 1));

    lesson.cmdNext_Click();
    QCOMPARE(lesson.view().frameCaption, u"第 3問目のアンケート"_s);
    QVERIFY(!lesson.view().nextVisible); // hidden at the press that shows the last row
    QCOMPARE(lesson.CurrentQuestion, 3);

    answer(3, 2);
    lesson.cmdBack_Click();
    QVERIFY(!lesson.session().answering());
    QCOMPARE(lesson.session().record().history().cell(3, 2), 2); // kept at もどる
    QCOMPARE(lesson.CurrentQuestion, 1);
    QCOMPARE(lesson.view().frameCaption, u"第 2問目のアンケート"_s);
    QVERIFY(!lesson.view().nextVisible);
    // "もどる" publishes nothing: the seats keep the last question.
    QVERIFY(commandFile(0).contains(cp932(u"犬と猫"_s)));

    lesson.cmdBack_Click();
    QCOMPARE(lesson.CurrentQuestion, 0);
    QCOMPARE(lesson.view().enqeteText, u"好きな色は？"_s);
    QVERIFY(lesson.view().nextVisible);
    lesson.cmdBack_Click();
    QCOMPARE(lesson.CurrentQuestion, 0);
}

void TestLesson::backAfterLastQuestion()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    loadQuestionnaire(lesson, folder, kThreeQuestions);
    lesson.mnuFileOpen_Click();
    lesson.cmdNext_Click();
    lesson.cmdNext_Click();
    QCOMPARE(lesson.CurrentQuestion, 2);
    lesson.cmdBack_Click();
    QCOMPARE(lesson.view().enqeteText, u"得意ですか？"_s);
    QVERIFY(!lesson.view().nextVisible);
    lesson.cmdBack_Click();
    QCOMPARE(lesson.view().enqeteText, u"好きな色は？"_s);
    QVERIFY(lesson.view().nextVisible);
}

void TestLesson::rowWithoutAnswersPausesInsteadOfEnding()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    // Nothing loaded: "ファイルを開く", cancelled, then "つぎへ" on the empty row.
    lesson.mnuFileOpen_Click();
    lesson.cmdNext_Click();
    QCOMPARE(commandFile(3), expectedCommand(100, {}, 1));

    loadQuestionnaire(lesson, folder, u"質問だけ\n\n次の質問\nA\nB\n"_s);
    lesson.mnuFileOpen_Click();
    lesson.cmdNext_Click();
    QCOMPARE(lesson.LVQMode, 2.0); // the lone question shares its row with the next block
}

// A UTF-8 questionnaire loads whole; the teacher is told which of its
// characters the seats would show as "?".
void TestLesson::unencodableCharactersAreTold()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    // in the fifth answer, the last field that reaches the seats
    ClassroomFolder::write(u"q.txt"_s, u"好き？\n1\n2\n3\n4\nはい𠮷\n"_s.toUtf8());
    lesson.document().setFileLocation(folder.path(), u"q.txt"_s);
    QVERIFY(lesson.document().SFileLoad());
    QCOMPARE(prompter.asked,
             QStringList{u"unencodable: "_s +
                         QDir::toNativeSeparators(folder.filePath(u"q.txt"_s)) + u" 𠮷"_s});
}

void TestLesson::endQuestionnaireAsks_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes ends every seat") << true;
    QTest::newRow("no writes nothing") << false;
}

void TestLesson::endQuestionnaireAsks()
{
    QFETCH(bool, yes);
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    answer(4, 2);
    prompter.endQuestionnaire = yes;
    lesson.cmdEnd_Click();
    QCOMPARE(prompter.asked, QStringList{u"end questionnaire"_s});
    QCOMPARE(commandFile(4).left(5), yes ? QByteArray(" 0 \r\n") : QByteArray(" 100 "));
    QCOMPARE(ClassroomFolder::read(exchange::answerFilePath(4)),
             yes ? QByteArray(" 0 \r\n") : QByteArray(" 2 \r\n"));
}

void TestLesson::answerSets_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("mode");
    QTest::addColumn<QStringList>("labels");

    QTest::newRow("0 アンケート終了") << 0 << 0.0 << QStringList{};
    QTest::newRow("1 ○×") << 1 << 2.0 << QStringList{u"○"_s, u"×"_s};
    QTest::newRow("2 1２") << 2 << 2.0 << QStringList{u"１"_s, u"２"_s};
    QTest::newRow("3 １２３") << 3 << 3.0 << QStringList{u"１"_s, u"２"_s, u"３"_s};
    QTest::newRow("4 １２３４") << 4 << 4.0 << QStringList{u"１"_s, u"２"_s, u"３"_s, u"４"_s};
    QTest::newRow("5 １２３４５") << 5 << 5.0
                                  << QStringList{u"１"_s, u"２"_s, u"３"_s, u"４"_s, u"５"_s};
    QTest::newRow("6 はい、いいえ") << 6 << 2.0 << QStringList{u"はい"_s, u"いいえ"_s};
    QTest::newRow("7 はい、いいえ、どちらでもない")
        << 7 << 3.0 << QStringList{u"はい"_s, u"いいえ"_s, u"どちらでもない"_s};
}

// Choosing an answer set changes the lesson's texts only; "再集計" publishes.
void TestLesson::answerSets()
{
    QFETCH(int, index);
    QFETCH(double, mode);
    QFETCH(QStringList, labels);
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    const QByteArray before = commandFile(1);
    lesson.ShownQuestion[0] = u"質問"_s;
    lesson.ShownQuestion[5] = u"五"_s;
    lesson.OptLVQ_Click(index);
    QCOMPARE(lesson.LVQMode, mode);
    QVERIFY(lesson.ShownQuestion[0].isEmpty());
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(lesson.ShownQuestion[i + 1], labels.value(i));
        QVERIFY(lesson.view().itemCaptions[i].isEmpty());
        QCOMPARE(lesson.view().graph[i].height, 0.0);
        QCOMPARE(lesson.view().graph[i].top, 504.0);
    }
    QCOMPARE(commandFile(1), before);
    QVERIFY(!lesson.session().answering());
    // No button has these indexes: nothing changes.
    lesson.OptLVQ_Click(8);
    lesson.OptLVQ_Click(-1);
    QCOMPARE(lesson.answerSet(), index);
    QCOMPARE(lesson.LVQMode, mode);
}

// Each action of the control bar, from the state right after start with "○×"
// selected: timer, published mode (-1: nothing published), question
// cursor and frame caption afterwards.
void TestLesson::answeringControls_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("timer");
    QTest::addColumn<int>("published");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("caption");

    QTest::newRow("再集計, ad hoc")
        << u"start"_s << true << 2 << 0 << u"第 1問のアンケートの設定"_s;
    QTest::newRow("集計中断") << u"pause"_s << false << 100 << 0 << u"第 1問のアンケートの設定"_s;
    QTest::newRow("表示の消去") << u"clear"_s << false << 100 << 1 << u"第 2問のアンケートの設定"_s;
    QTest::newRow("回答は１回だけ")
        << u"check"_s << false << -1 << 0 << u"第 1問のアンケートの設定"_s;
    QTest::newRow("option button")
        << u"option"_s << false << -1 << 0 << u"第 1問のアンケートの設定"_s;
    QTest::newRow("ｱﾝｹｰﾄの終了") << u"end"_s << false << 0 << 0 << u"第 1問のアンケートの設定"_s;
}

// A time limit on an ad-hoc question: at zero answering pauses as 集計中断
// does, after the last answers are in; whatever the teacher publishes first
// (or もどる) cancels it. Time that runs out while a handler waits in its
// own event loop stops the polls at once and pauses right after.
void TestLesson::timeLimit_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("caption"); // after the time has run out
    QTest::addColumn<int>("mode");        // the seats' mode then
    QTest::newRow("time up") << u""_s << u"時間です"_s << 100;
    QTest::newRow("再集計 cancels") << u"start"_s << u""_s << 2;
    QTest::newRow("集計中断 cancels") << u"pause"_s << u""_s << 100;
    QTest::newRow("表示の消去 cancels") << u"clear"_s << u""_s << 100;
    QTest::newRow("もどる cancels") << u"back"_s << u""_s << 2;
    QTest::newRow("もう一度投票 cancels") << u"vote"_s << u""_s << 2;
    QTest::newRow("time up inside a handler's loop") << u"handler"_s << u"時間です"_s << 100;
}

void TestLesson::timeLimit()
{
    QFETCH(QString, action);
    QFETCH(QString, caption);
    QFETCH(int, mode);
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    qint64 now = 0;
    lesson.setTimeLimitClock([&now] { return now; });
    const lesson::TimeLimit &limit = lesson.timeLimit();

    QVERIFY(!lesson.startTimeLimit(30)); // nothing to answer yet
    lesson.CmdStart_Click();
    QVERIFY(!lesson.startTimeLimit(9) && !lesson.startTimeLimit(601));
    QVERIFY(lesson.startTimeLimit(65));
    QCOMPARE(limit.caption(), u"のこり 1:05"_s);
    QSignalSpy changed(&limit, &lesson::TimeLimit::changed);
    now = 6001;
    QTRY_COMPARE(limit.caption(), u"のこり 0:59"_s);
    QTest::qWait(300); // once a second shown, not at every look
    QCOMPARE(changed.size(), 1);
    answer(9, 2);
    pressControl(lesson, action);
    if (action == u"handler") {
        const lesson::LessonSession::HandlerScope scope(lesson.session());
        now = 65'000;
        QEventLoop loop;
        QTimer::singleShot(400, &loop, &QEventLoop::quit);
        loop.exec();
        QVERIFY(!lesson.session().answering());
        QCOMPARE(commandFile(9).left(3), QByteArray(" 2 "));
    } else {
        now = 65'000;
    }
    QTRY_COMPARE(commandFile(9).left(exchange::numberFieldText(mode).size()),
                 exchange::numberFieldText(mode).toLatin1());
    QCOMPARE(limit.caption(), caption);
    QCOMPARE(lesson.session().answering(), mode == 2 && action != u"back");
    // The answer given before the time was up is in the record, and on the
    // graph when time ran out outside a handler.
    QCOMPARE(lesson.session().record().history().cell(9, 0), 2);
    if (action.isEmpty())
        QCOMPARE(lesson.session().lastTally().answerCount[1], 1.0f);
    QCOMPARE(lesson.timeLimit().state() == lesson::TimeLimit::State::Off, caption.isEmpty());
}

void TestLesson::answeringControls()
{
    QFETCH(QString, action);
    QFETCH(bool, timer);
    QFETCH(int, published);
    QFETCH(int, cursor);
    QFETCH(QString, caption);

    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    answer(9, 1);
    pressControl(lesson, action);

    QCOMPARE(lesson.session().answering(), timer);
    QCOMPARE(lesson.CurrentQuestion, cursor);
    QCOMPARE(lesson.view().frameCaption, caption);
    const QByteArray answerFile = ClassroomFolder::read(exchange::answerFilePath(9));
    if (published < 0) {
        QCOMPARE(commandFile(9).left(5), QByteArray(" 100 "));
        QCOMPARE(answerFile, QByteArray(" 1 \r\n"));
    } else {
        QCOMPARE(commandFile(9).left(exchange::numberFieldText(published).size()),
                 exchange::numberFieldText(published).toLatin1());
        QCOMPARE(answerFile, QByteArray(" 0 \r\n"));
    }
    if (action == u"start")
        QCOMPARE(commandFile(9), expectedCommand(2, {u""_s, u"○"_s, u"×"_s}, 1));
    if (action == u"check")
        QCOMPARE(lesson.OneAnswerOnly, 0);
}

void TestLesson::clearCountsAdHocQuestions()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    lesson.OptLVQ_Click(5);
    lesson.CmdLVQClear_Click();
    // fields 0 to 4 emptied, field 5 kept
    QCOMPARE(commandFile(2), expectedCommand(100, {u""_s, u""_s, u""_s, u""_s, u""_s, u"５"_s}, 1));
    lesson.CmdLVQClear_Click();
    lesson.CmdLVQClear_Click();
    QCOMPARE(lesson.view().frameCaption, u"第 4問のアンケートの設定"_s);
    for (int i = 0; i < 40; ++i)
        lesson.CmdLVQClear_Click();
    QCOMPARE(lesson.view().frameCaption, u"第 31問のアンケートの設定"_s);
    QCOMPARE(lesson.CurrentQuestion, 30);

    lesson.mnuNew_Click();
    QCOMPARE(lesson.CurrentQuestion, 1);
    QCOMPARE(lesson.view().frameCaption, u"第 2問のアンケートの設定"_s);
    QVERIFY(lesson.view().optLvqVisible);
}

// After the last question "再集計" publishes that question again with its own
// answer count and number; the seats are not ended.
void TestLesson::restartWithQuestionnairePublishesQuestionOnScreen()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    loadQuestionnaire(lesson, folder, kThreeQuestions);
    lesson.mnuFileOpen_Click();
    // Right after opening, the first question is shown and published.
    lesson.CmdStart_Click();
    QCOMPARE(commandFile(1), expectedCommand(2, {u"好きな色は？"_s, u"赤"_s, u"青"_s}, 1));
    QCOMPARE(lesson.view().enqeteText, u"好きな色は？"_s);
    QCOMPARE(lesson.CurrentQuestion, 0);
    for (int i = 0; i < 3; ++i)
        lesson.cmdNext_Click();
    lesson.CmdPause_Click();
    lesson.CmdStart_Click();
    QCOMPARE(lesson.view().frameCaption, u"第 3問目の集計"_s);
    QCOMPARE(commandFile(1), expectedCommand(2, {u"犬と猫"_s, u"犬"_s, u"猫"_s}, 1));
    QCOMPARE(lesson.CurrentQuestion, 3);
    QVERIFY(lesson.session().answering());

    lesson.cmdBack_Click();
    lesson.CmdStart_Click();
    QCOMPARE(lesson.view().frameCaption, u"第 2問目の集計"_s);
    QCOMPARE(commandFile(1).left(5), QByteArray(" 3 \r\n"));
}

void TestLesson::collectAndDraw()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    lesson.CmdStart_Click(); // ○×
    for (int seat = 1; seat <= 12; ++seat)
        answer(seat, 1);
    for (int seat = 13; seat <= 19; ++seat)
        answer(seat, 2);
    lesson.session().Timer1_Timer();
    QCOMPARE(lesson.session().lastTally().lvqSum, 19);
    QCOMPARE(lesson.view().graph[1].caption, u"12人"_s);
    QCOMPARE(lesson.view().graph[1].height, 96.0);
    QCOMPARE(lesson.view().graph[3].caption, u"7人"_s);
    QCOMPARE(lesson.view().graph[3].top, 448.0);
    QCOMPARE(lesson.view().graph[0].caption, QString());

    // The display switch redraws the last tally without reading the files.
    for (int seat = 1; seat <= 19; ++seat)
        answer(seat, 0);
    lesson.OptDisplay_Click(1);
    QCOMPARE(lesson.view().graph[1].caption, u"63.%"_s);
    QCOMPARE(lesson.view().graph[3].caption, u"36.%"_s);
    lesson.mnuDisplayNumber_Click();
    QCOMPARE(lesson.view().graph[1].caption, u"12人"_s);
    QCOMPARE(lesson.displayIndex(), 0);

    // In percent, a tick without any answer leaves the picture.
    lesson.mnuDisplayPercent_Click();
    lesson.session().Timer1_Timer();
    QCOMPARE(lesson.session().lastTally().lvqSum, 0);
    QCOMPARE(lesson.view().graph[1].caption, u"63.%"_s);
}

// The lesson has no timer of its own here: every collection below comes from
// the watcher.
void TestLesson::answerWatcherCollectsLikeATick()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    QVERIFY(lesson.session().startAnswerWatch());
    const exchange::ChangeWatch &watch = *lesson.session().answerWatch();
    QCOMPARE(watch.watchedFiles().size(), 51);
    QSignalSpy collected(&lesson.session(), &lesson::LessonSession::changed);

    // Timer1 off: a change collects nothing.
    answer(4, 1);
    QTest::qWait(100);
    QCOMPARE(collected.count(), 0);
    QCOMPARE(lesson.session().lastTally().lvqSum, 0);

    lesson.CmdStart_Click(); // ○×, Timer1 on; its own publication collects once at most
    QTest::qWait(100);
#ifdef Q_OS_WIN
    // Windows' watcher reports the writes from a thread of its own, at times
    // in two batches.
    QVERIFY(collected.count() <= 2);
#else
    QVERIFY(collected.count() <= 1);
#endif
    QCOMPARE(lesson.session().lastTally().lvqSum, 0);
    collected.clear();

    answer(4, 2);
    QVERIFY(collected.wait(3000));
    QCOMPARE(lesson.session().lastTally().lvqSum, 1);
    QCOMPARE(lesson.view().graph[3].caption, u"1人"_s);
    QCOMPARE(lesson.session().record().history().cell(4, lesson.CurrentQuestion), 2);

    // A file replaced by another (a rename over it) stays watched.
    ClassroomFolder::write(u"Data/LVQ9.tmp"_s, exchange::answerFileBytes(1));
    QVERIFY(QFile::remove(exchange::answerFilePath(9)));
    QVERIFY(QFile::rename(u"Data/LVQ9.tmp"_s, exchange::answerFilePath(9)));
    QTRY_COMPARE_WITH_TIMEOUT(lesson.session().lastTally().lvqSum, 2, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(watch.watchedFiles().size(), 51, 3000);
    collected.clear();
    answer(9, 2);
    QVERIFY(collected.wait(3000));
    QCOMPARE(lesson.session().lastTally().answerCount[1], 2.0f);

    // Data lost and made again: the watch takes it up again. (wine tells
    // nothing when a watched folder goes; Timer1's tick still collects.)
    if (!faults::underWine()) {
        QVERIFY(QDir(u"Data"_s).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(!watch.isWatching(), 3000);
        QVERIFY(QDir().mkdir(u"Data"_s));
        for (int seat = 0; seat <= 50; ++seat)
            answer(seat, 0);
        QTRY_COMPARE_WITH_TIMEOUT(watch.watchedFiles().size(), 51, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(lesson.session().lastTally().lvqSum, 0, 3000);
        collected.clear();
        answer(30, 1);
        QVERIFY(collected.wait(3000));
        QCOMPARE(lesson.session().lastTally().lvqSum, 1);
    }

    // Paused: changes collect nothing again.
    lesson.CmdPause_Click();
    QTest::qWait(100);
    collected.clear();
    answer(4, 1);
    QTest::qWait(100);
    QCOMPARE(collected.count(), 0);
}

void TestLesson::recordOfAdHocLesson()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    // Three ad-hoc questions, each answered by seat 3 with 1, 2 and 3.
    for (int q = 1; q <= 3; ++q) {
        lesson.CmdStart_Click();
        answer(3, q);
        answer(50, 1);
        lesson.session().Timer1_Timer();
        lesson.CmdLVQClear_Click();
    }
    QCOMPARE(lesson.Form_Unload(), u"Kiroku.csv"_s);
    QCOMPARE(commandFile(3).left(5), QByteArray(" 0 \r\n"));

    const QList<QByteArray> lines = ClassroomFolder::read(u"Kiroku.csv"_s).split('\n');
    QCOMPARE(lines.size(), 52); // header, 50 seats, nothing after the last CR LF
    QCOMPARE(lines[0], cp932(u"出席番号, 1 , 2 , 3 \r"_s));
    QCOMPARE(lines[1], cp932(u" 1 番 , 0 , 0 , 0 \r"_s));
    QCOMPARE(lines[3], cp932(u" 3 番 , 1 , 2 , 3 \r"_s));
    QCOMPARE(lines[50], cp932(u" 50 番 , 1 , 1 , 1 \r"_s));
}

void TestLesson::recordOfQuestionnaire()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    loadQuestionnaire(lesson, folder, kMarkedQuestions);
    QCOMPARE(prompter.asked.value(0).section(u' ', 2).left(5), u"15行目："_s);
    lesson.mnuFileOpen_Click();
    for (int q = 1; q <= 3; ++q) {
        lesson.cmdNext_Click();
        answer(3, q);
        lesson.session().Timer1_Timer();
    }
    lesson.Form_Unload();
    const QList<QByteArray> lines = ClassroomFolder::read(u"Kiroku.csv"_s).split('\n');
    QCOMPARE(lines[0], cp932(u"出席番号, 1 , 2 , 3 \r"_s));
    QCOMPARE(lines[3], cp932(u" 3 番 , 1 , 2 , 3 \r"_s));
    QCOMPARE(lines[4], cp932(u" 4 番 , 0 , 0 , 0 \r"_s));
    // The results keep each question with its answers and counts.
    QCOMPARE(ClassroomFolder::read(u"Kekka.csv"_s).split('\n').mid(1, 3),
             cp932(u" 1 ,好きな色は？,赤,青,,,,1,0,0,0,0,1,1,100\r\n"
                   u" 2 ,得意ですか？,はい,いいえ,どちらでもない,,,0,1,0,0,0,1,,\r\n"
                   u" 3 ,犬と猫,犬,猫,,,,0,0,1,0,0,1,,\r"_s)
                 .split('\n'));
}

// "正解を表示": only for a question with a correct answer, off again at every
// publication and whenever another question comes on screen.
void TestLesson::revealCorrect()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    loadQuestionnaire(lesson, folder, kMarkedQuestions);
    lesson.mnuRevealCorrect_Toggled(true);
    QVERIFY(!lesson.revealCorrect());
    lesson.mnuFileOpen_Click();
    lesson.cmdNext_Click();
    QCOMPARE(lesson.shownCorrect(), 1);
    QVERIFY(!lesson.revealCorrect());
    QCOMPARE(lesson.correctMark().position, -1);
    answer(50, 1);
    answer(4, 2);
    answer(0, 1); // no pupil's seat
    lesson.session().Timer1_Timer();
    lesson.mnuRevealCorrect_Toggled(true);
    QCOMPARE(lesson.correctMark().position, 1);
    QCOMPARE(lesson.correctMark().caption, u"正答 1人（50%）"_s);
    lesson.mnuRevealCorrect_Toggled(false);
    QCOMPARE(lesson.correctMark().caption, QString());

    lesson.mnuRevealCorrect_Toggled(true);
    lesson.cmdNext_Click(); // a question without one
    QCOMPARE(lesson.shownCorrect(), 0);
    lesson.mnuRevealCorrect_Toggled(true);
    QVERIFY(!lesson.revealCorrect());
    lesson.cmdBack_Click();
    lesson.cmdBack_Click();
    QCOMPARE(lesson.shownCorrect(), 1);
    lesson.mnuRevealCorrect_Toggled(true);
    lesson.CmdStart_Click(); // published again
    QVERIFY(!lesson.revealCorrect());
    lesson.mnuRevealCorrect_Toggled(true);
    lesson.cmdBack_Click(); // shown anew, without a publication
    QVERIFY(!lesson.revealCorrect());
    lesson.mnuRevealCorrect_Toggled(true);
    lesson.CmdLVQClear_Click();
    QCOMPARE(lesson.shownCorrect(), 0);
    QVERIFY(!lesson.revealCorrect());
}

// Kiroku.csv and Kekka.csv are a pair: written side by side, or neither
// stays, while the running copies keep every answer until both are written;
// every question says how the files stand. Put in the way once the lesson
// runs: "name=<dir>" and the other markers, or "name=earlier", an earlier
// lesson's file. The script answers retry, end (end? is declined) or
// elsewhere:path. files: "name=record", "results", "earlier" or "absent".
void TestLesson::recordThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("inTheWay");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QString>("recordPath");
    QTest::addColumn<QString>("files");

    const QString notWritten = u"; written: ; not: Kiroku.csv Kekka.csv"_s;
    const QString recordWritten = u"; written: Kiroku.csv; not: Kekka.csv"_s;
    const QString running = u"; kept: Kiroku-running.csv Kekka-running.csv"_s;
    const QString none = notWritten + running;
    const QString kiroku = u"record: Kiroku.csv"_s + none;
    const QString kekka = u"record: Kekka.csv"_s + recordWritten + running;
    const QString end = u"end without record"_s;
    const QString choose = u"choose record path"_s;
    const QString kept = u" Kiroku-running.csv=record Kekka-running.csv=results"_s;
    const QString gone = u" Kiroku-running.csv=absent Kekka-running.csv=absent"_s;
    QTest::newRow("record in the way: retried, not ended, saved elsewhere, results beside it")
        << u"Kiroku.csv=<dir>"_s << u"retry end? elsewhere:record.csv"_s
        << QStringList{kiroku, kiroku, end + none, kiroku, choose} << u"record.csv"_s
        << u"record.csv=record Kekka.csv=results"_s + gone;
    QTest::newRow("results in the way, ended without: the record written is taken back")
        << u"Kiroku.csv=earlier Kekka.csv=<dir>"_s << u"end"_s << QStringList{kekka, end + none}
        << QString() << u"Kiroku.csv=absent Kiroku-2026-12-07-1015.csv=earlier"_s + kept;
    QTest::newRow("results in the way, saved elsewhere: the record goes beside them")
        << u"Kekka.csv=<dir> elsewhere/Kiroku.csv=earlier"_s << u"elsewhere:elsewhere/2組.csv"_s
        << QStringList{kekka, choose} << u"elsewhere/Kiroku.csv"_s
        << u"elsewhere/2組.csv=results elsewhere/Kiroku.csv=record Kiroku.csv=absent "
           u"elsewhere/Kiroku-2026-12-07-1015.csv=earlier"_s +
               gone;
    QTest::newRow("names the other file or a running copy needs are refused")
        << u"Kiroku.csv=<dir>"_s
        << u"elsewhere:elsewhere/Kekka.csv elsewhere:Kekka-running.csv elsewhere:elsewhere/r.csv"_s
        << QStringList{kiroku, choose, kiroku, choose, kiroku, choose} << u"elsewhere/r.csv"_s
        << u"elsewhere/r.csv=record elsewhere/Kekka.csv=results"_s + gone;
    QTest::newRow("results and their running copy in the way: the record's copy keeps the answers")
        << u"Kekka.csv=<dir> Kekka-running.csv=<dir>"_s << u"end"_s
        << QStringList{u"record: Kekka.csv"_s + recordWritten + u"; kept: Kiroku-running.csv"_s,
                       end + notWritten + u"; kept: Kiroku-running.csv"_s}
        << QString() << u"Kiroku.csv=absent Kiroku-running.csv=record"_s;
    QTest::newRow("earlier results held open: neither written, the earlier pair left together")
        << u"Kiroku.csv=earlier Kekka.csv=<held>"_s << u"end"_s
        << QStringList{u"record: Kekka.csv"_s + none, end + none} << QString()
        << u"Kiroku.csv=earlier Kiroku-2026-12-07-1015.csv=absent"_s + kept;
}

void TestLesson::recordThatCannotBeWritten()
{
    QFETCH(QString, inTheWay);
    QFETCH(QString, script);
    QFETCH(QStringList, asked);
    QFETCH(QString, recordPath);
    QFETCH(QString, files);
    for (const QString &entry : inTheWay.split(u' ')) {
        if (const char *reason = faults::cannotMake(entry.section(u'=', 1).toUtf8()))
            QSKIP(reason);
    }
    ClassroomFolder folder;
    QVERIFY(QDir().mkdir(u"elsewhere"_s));
    ScriptedPrompter prompter;
    using Choice = lesson::LessonPrompter::RecordChoice;
    for (const QString &step : script.split(u' ')) {
        const QString choice = step.section(u':', 0, 0);
        prompter.recordChoices << (choice == u"retry"_s       ? Choice::Retry
                                   : choice == u"elsewhere"_s ? Choice::SaveElsewhere
                                                              : Choice::EndWithout);
        if (choice == u"elsewhere"_s)
            prompter.recordPaths << folder.filePath(step.section(u':', 1));
        prompter.endWithoutRecord = prompter.endWithoutRecord && choice != u"end?"_s;
    }
    Lesson lesson(prompter);
    QVERIFY(lesson.Form_Load());
    lesson.CmdStart_Click();
    const auto release = qScopeGuard(&faults::releaseHeld);
    for (const QString &entry : inTheWay.split(u' ')) {
        const QString name = entry.section(u'=', 0, 0);
        const QByteArray what = entry.section(u'=', 1).toUtf8();
        QVERIFY(what == "earlier" ? writeEarlier(name, what) : faults::plant(name, what));
    }

    QCOMPARE(QDir::current().relativeFilePath(lesson.Form_Unload()), recordPath);
    QCOMPARE(prompter.asked, asked);
    for (const QString &entry : files.split(u' ')) {
        const QString what = entry.section(u'=', 1);
        const auto file = what == u"record"_s ? tally::RecordKeeper::LessonFile::Record
                                              : tally::RecordKeeper::LessonFile::Results;
        QCOMPARE(ClassroomFolder::read(entry.section(u'=', 0, 0)),
                 what == u"absent"_s    ? QByteArray("<missing>")
                 : what == u"earlier"_s ? QByteArray("earlier")
                                        : lesson.session().record().bytes(file));
    }
    // The seats were told before the record was attempted.
    QCOMPARE(commandFile(1).left(5), QByteArray(" 0 \r\n"));
}

// Every collected question has a column of its own, in the order first
// collected, headed with the number the screen showed for it, holding the
// latest answer given to it in any round. Seat 3 answers 1, 2, 3, ... at
// each "adhoc", "start", "next" and "late" in turn; "again" and "ask" put a
// question (再集計, つぎへ) that nobody answers anew.
void TestLesson::recordColumns_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QList<int>>("header");
    QTest::addColumn<QList<int>>("cells");

    QTest::newRow("two ad-hoc questions, then a questionnaire of two")
        << QStringList{u"adhoc"_s, u"clear"_s, u"adhoc"_s, u"clear"_s,
                       u"open2"_s, u"next"_s,  u"next"_s}
        << QList<int>{1, 2, 1, 2} << QList<int>{1, 2, 3, 4};
    QTest::newRow("もどる and 再集計 replace that question's column only")
        << QStringList{u"open3"_s, u"next"_s, u"next"_s, u"back"_s, u"start"_s} << QList<int>{1, 2}
        << QList<int>{1, 3};
    QTest::newRow("つぎへ three times, もどる, close: all three kept")
        << QStringList{u"open3"_s, u"next"_s, u"next"_s, u"next"_s, u"back"_s}
        << QList<int>{1, 2, 3} << QList<int>{1, 2, 3};
    QTest::newRow("アンケート新規作成 after a questionnaire")
        << QStringList{u"open3"_s, u"next"_s, u"next"_s, u"next"_s, u"new"_s, u"adhoc"_s}
        << QList<int>{1, 2, 3, 2} << QList<int>{1, 2, 3, 4};
    QTest::newRow("answer given after the last tick")
        << QStringList{u"adhoc"_s, u"late"_s} << QList<int>{1} << QList<int>{2};
    QTest::newRow("ｱﾝｹｰﾄの終了 keeps the last question")
        << QStringList{u"open3"_s, u"next"_s, u"end"_s} << QList<int>{1} << QList<int>{1};
    QTest::newRow("もどる and つぎへ ask again: the first answers stay")
        << QStringList{u"open3"_s, u"next"_s, u"back"_s, u"ask"_s} << QList<int>{1}
        << QList<int>{1};
    QTest::newRow("集計中断 and 再集計: the first answers stay")
        << QStringList{u"adhoc"_s, u"pause"_s, u"again"_s} << QList<int>{1} << QList<int>{1};
    QTest::newRow("ｱﾝｹｰﾄの終了 and 再集計: the first answers stay")
        << QStringList{u"adhoc"_s, u"end"_s, u"again"_s} << QList<int>{1} << QList<int>{1};
    QTest::newRow("an answer in the new round replaces")
        << QStringList{u"adhoc"_s, u"pause"_s, u"start"_s} << QList<int>{1} << QList<int>{2};
    QTest::newRow("a click taken back as the next publication reaches the seat")
        << QStringList{u"adhoc"_s, u"late"_s, u"withdrawn"_s, u"pause"_s} << QList<int>{1}
        << QList<int>{1};
    QTest::newRow("last-moment answer kept by つぎへ")
        << QStringList{u"open3"_s, u"next"_s, u"late"_s, u"ask"_s} << QList<int>{1, 2}
        << QList<int>{2, 0};
    QTest::newRow("last-moment answer kept by 集計中断")
        << QStringList{u"adhoc"_s, u"late"_s, u"pause"_s} << QList<int>{1} << QList<int>{2};
    QTest::newRow("last-moment answer kept by 表示の消去")
        << QStringList{u"adhoc"_s, u"late"_s, u"clear"_s} << QList<int>{1} << QList<int>{2};
    QTest::newRow("answers around もどる kept by it and by the next つぎへ")
        << QStringList{u"open3"_s, u"next"_s, u"next"_s, u"late"_s, u"back"_s, u"late"_s, u"ask"_s}
        << QList<int>{1, 2} << QList<int>{1, 4};
    QTest::newRow("アンケート終了 with 再集計 leaves the question before")
        << QStringList{u"adhoc"_s, u"set0"_s, u"again"_s, u"late"_s} << QList<int>{1}
        << QList<int>{1};
    QTest::newRow("other labels with 再集計 are a new question, same number")
        << QStringList{u"adhoc"_s, u"set3"_s, u"start"_s} << QList<int>{1, 1} << QList<int>{1, 2};
    QTest::newRow("the same labels again are the same question")
        << QStringList{u"adhoc"_s, u"set1"_s, u"again"_s} << QList<int>{1} << QList<int>{1};
    QTest::newRow("five answers open answering too")
        << QStringList{u"set5"_s, u"start"_s} << QList<int>{1} << QList<int>{1};
    QTest::newRow("表示の消去 and 再集計 ask a blank question: a column of its own")
        << QStringList{u"open3"_s, u"next"_s, u"clear"_s, u"start"_s, u"next"_s}
        << QList<int>{1, 1, 2} << QList<int>{1, 2, 3};
    QTest::newRow("the same file opened again: its questions keep their columns")
        << QStringList{u"open3"_s, u"next"_s, u"next"_s, u"open3"_s, u"next"_s} << QList<int>{1, 2}
        << QList<int>{3, 2};
    QTest::newRow("an edited question is another question")
        << QStringList{u"open3"_s, u"next"_s, u"openEdited"_s, u"next"_s} << QList<int>{1, 1}
        << QList<int>{1, 2};
    QTest::newRow("もう一度投票: its column right after the question's, the first kept")
        << QStringList{u"open3"_s, u"next"_s, u"next"_s, u"back"_s, u"back"_s, u"ask"_s, u"vote"_s}
        << QList<int>{1, 101, 2} << QList<int>{1, 3, 2};
    QTest::newRow("a seat that does not vote again keeps its first vote")
        << QStringList{u"adhoc"_s, u"pause"_s, u"revote"_s, u"revote"_s} << QList<int>{1, 101, 201}
        << QList<int>{1, 0, 0};
    QTest::newRow("再集計 after a second vote goes on with it")
        << QStringList{u"adhoc"_s, u"vote"_s, u"pause"_s, u"again"_s, u"late"_s}
        << QList<int>{1, 101} << QList<int>{1, 3};
    QTest::newRow("a questionnaire of one question voted on again")
        << QStringList{u"open1"_s, u"next"_s, u"vote"_s} << QList<int>{1, 101} << QList<int>{1, 2};
    QTest::newRow("another question cannot be voted on again")
        << QStringList{u"adhoc"_s, u"set3"_s, u"vote"_s} << QList<int>{1} << QList<int>{2};
    QStringList many;
    QList<int> numbers;
    QList<int> values;
    for (int q = 1; q <= 33; ++q) {
        many << u"adhoc"_s << u"clear"_s;
        numbers << std::min(q, 31);
        values << q;
    }
    QTest::newRow("33 ad-hoc questions: the caption stops at 31, the columns do not")
        << many << numbers << values;
}

void TestLesson::recordColumns()
{
    QFETCH(QStringList, script);
    QFETCH(QList<int>, header);
    QFETCH(QList<int>, cells);
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    const QString kTwoQuestions = u"朝ごはんは？\n食べた\n食べない\n\n眠い？\nはい\nいいえ\n"_s;

    int value = 0;
    auto answerAndTick = [&] {
        answer(3, ++value);
        lesson.session().Timer1_Timer();
    };
    for (const QString &step : std::as_const(script)) {
        if (step == u"adhoc" || step == u"start") {
            lesson.CmdStart_Click();
            answerAndTick();
        } else if (step == u"next") {
            lesson.cmdNext_Click();
            answerAndTick();
        } else if (step == u"again") {
            lesson.CmdStart_Click();
            lesson.session().Timer1_Timer();
        } else if (step == u"vote") {
            lesson.mnuVoteAgain_Click();
            answerAndTick();
        } else if (step == u"revote") {
            lesson.mnuVoteAgain_Click();
            lesson.session().Timer1_Timer();
        } else if (step == u"ask") {
            lesson.cmdNext_Click();
            lesson.session().Timer1_Timer();
        } else if (step == u"pause") {
            lesson.CmdPause_Click();
        } else if (step == u"withdrawn") {
            // Seat 3's program sees the next publication's question the
            // moment its command file is written and takes its click back.
            lesson.session().setFileWriter([](const QString &path, const QByteArray &bytes) {
                const exchange::FileStatus status = exchange::writeWholeFile(path, bytes);
                if (path == exchange::commandFilePath(3))
                    answer(3, 0);
                return status;
            });
        } else if (step.startsWith(u"set")) {
            lesson.OptLVQ_Click(step.mid(3).toInt());
        } else if (step == u"clear") {
            lesson.CmdLVQClear_Click();
        } else if (step == u"back") {
            lesson.cmdBack_Click();
        } else if (step == u"new") {
            lesson.mnuNew_Click();
        } else if (step == u"late") {
            answer(3, ++value);
        } else if (step == u"end") {
            lesson.cmdEnd_Click();
            QVERIFY(!lesson.session().answering());
            QTest::qWait(700); // no tick may follow
        } else {
            QString text = step == u"open2" ? kTwoQuestions : kThreeQuestions;
            if (step == u"open1")
                text = u"犬と猫\n犬\n猫\n"_s;
            if (step == u"openEdited")
                text.replace(u"好きな色は？"_s, u"好きな色は何？"_s);
            loadQuestionnaire(lesson, folder, text);
            lesson.mnuFileOpen_Click();
        }
    }
    QCOMPARE(lesson.Form_Unload(), u"Kiroku.csv"_s);
    QCOMPARE(recordHeaderAndSeat3(ClassroomFolder::read(u"Kiroku.csv"_s)),
             expectedHeaderAndSeat3(header, cells));
    // Every column keeps what its question was first asked with: only the
    // blank question has no labels, and Kekka.csv names every other one.
    const tally::AnswerHistory &history = lesson.session().record().history();
    for (int column = 0; column < history.columnCount(); ++column) {
        const bool blank = history.texts(column) == tally::QuestionTexts{};
        QCOMPARE(history.texts(column)[1].isEmpty(), blank);
    }
}

// A publication fails and its message waits in a real nested event loop with
// Timer1 running behind it. No tick may run there: it would write the reset
// answer files over the question that was being answered.
void TestLesson::ticksWaitForPrompts_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("timerRunsBehindPrompt");
    QTest::addColumn<QList<int>>("header");
    QTest::addColumn<QList<int>>("cells");
    QTest::newRow("つぎへ") << u"next"_s << true << QList<int>{1, 2} << QList<int>{2, 0};
    QTest::newRow("集計中断") << u"pause"_s << false << QList<int>{1} << QList<int>{2};
    QTest::newRow("表示の消去") << u"clear"_s << false << QList<int>{1} << QList<int>{2};
    QTest::newRow("ｱﾝｹｰﾄの終了") << u"end"_s << false << QList<int>{1} << QList<int>{2};
}

void TestLesson::ticksWaitForPrompts()
{
    QFETCH(QString, action);
    QFETCH(bool, timerRunsBehindPrompt);
    QFETCH(QList<int>, header);
    QFETCH(QList<int>, cells);
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    loadQuestionnaire(lesson, folder, kThreeQuestions);
    lesson.mnuFileOpen_Click();
    lesson.cmdNext_Click();
    answer(3, 2);
    lesson.session().Timer1_Timer();

    FailingWrites writes{u"Data/LVQ7.ini"_s, 2, {}};
    lesson.session().setFileWriter(std::ref(writes));
    int timeouts = 0;
    QObject::connect(&lesson.session(), &lesson::LessonSession::tickDue, [&] { ++timeouts; });
    prompter.beforeAnswer = [] {
        QEventLoop loop;
        QTimer::singleShot(1300, &loop, &QEventLoop::quit);
        loop.exec();
    };
    if (action == u"next")
        lesson.cmdNext_Click();
    else if (action == u"pause")
        lesson.CmdPause_Click();
    else if (action == u"clear")
        lesson.CmdLVQClear_Click();
    else
        lesson.cmdEnd_Click();
    QCOMPARE(prompter.asked.filter(u"publish: "_s).size(), 1);
    QCOMPARE(timeouts > 0, timerRunsBehindPrompt);

    lesson.Form_Unload();
    QCOMPARE(recordHeaderAndSeat3(ClassroomFolder::read(u"Kiroku.csv"_s)),
             expectedHeaderAndSeat3(header, cells));
}

// While the message about a failed seat is up, pupils answer and lock their
// answers. "再試行" writes only the seat that failed, after reading what it
// answered meanwhile; "続行" leaves it out: a seat without the new question
// still answers the old one, into the old question's column and never on
// the graph, while one that has the question but whose answer file could not
// be reset answers the new one, and its old answer counts nowhere until its
// file changes. Seat 7 answered 2 to ○× before; the new question is １２３.
void TestLesson::retryWritesOnlyFailedSeats_data()
{
    QTest::addColumn<bool>("retry");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("told");
    QTest::addColumn<QStringList>("writesAfterPrompt");
    QTest::addColumn<int>("seat7InBox"); // what seat 7 answers while the box is up
    QTest::addColumn<QByteArray>("seat7Answer");
    QTest::addColumn<float>("seat7Counted");    // on the graph, before it answers again
    QTest::addColumn<bool>("seat7Counts");      // its answer given afterwards
    QTest::addColumn<QList<int>>("seat7Cells"); // in the record: ○×, １２３
    QTest::newRow("再試行") << true << u"Data/LVQ7.ini"_s << u"LVQ7.ini 2/102"_s
                            << QStringList{u"Data/LVQ7.ini"_s, u"Data/LVQ7.txt"_s} << 4
                            << QByteArray(" 0 \r\n") << 0.0f << true << QList<int>{4, 1};
    QTest::newRow("続行") << false << u"Data/LVQ7.ini"_s << u"LVQ7.ini 2/102"_s << QStringList{}
                          << 4 << QByteArray(" 4 \r\n") << 0.0f << false << QList<int>{1, 0};
    QTest::newRow("続行, the answer file held")
        << false << u"Data/LVQ7.txt"_s << u"LVQ7.txt 1/102"_s << QStringList{} << 0
        << QByteArray(" 2 \r\n") << 0.0f << true << QList<int>{2, 1};
    QTest::newRow("続行, the answer file held, answered in the box")
        << false << u"Data/LVQ7.txt"_s << u"LVQ7.txt 1/102"_s << QStringList{} << 3
        << QByteArray(" 3 \r\n") << 3.0f << true << QList<int>{2, 1};
}

void TestLesson::retryWritesOnlyFailedSeats()
{
    QFETCH(bool, retry);
    QFETCH(QString, failing);
    QFETCH(QString, told);
    QFETCH(QStringList, writesAfterPrompt);
    QFETCH(int, seat7InBox);
    QFETCH(QByteArray, seat7Answer);
    QFETCH(float, seat7Counted);
    QFETCH(bool, seat7Counts);
    QFETCH(QList<int>, seat7Cells);
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    lesson.CmdStart_Click();
    answer(7, 2);
    lesson.session().Timer1_Timer();

    FailingWrites writes{failing, 2, {}};
    lesson.session().setFileWriter(std::ref(writes));
    const QByteArray lock = " 100 \r\n 1 \r\n";
    qsizetype writesBeforePrompt = 0;
    prompter.beforeAnswer = [&] {
        writesBeforePrompt = writes.written.size();
        answer(5, 3);
        ClassroomFolder::write(exchange::commandFilePath(5), lock);
        if (seat7InBox)
            answer(7, seat7InBox);
    };
    using Choice = lesson::LessonPrompter::PublishChoice;
    prompter.publishChoices = {retry ? Choice::Retry : Choice::Continue};
    lesson.OptLVQ_Click(3);
    lesson.CmdStart_Click();

    QCOMPARE(prompter.asked.size(), 1);
    QVERIFY2(prompter.asked[0].endsWith(told), qPrintable(prompter.asked[0]));
    QCOMPARE(writes.written.mid(writesBeforePrompt), writesAfterPrompt);
    QCOMPARE(ClassroomFolder::read(exchange::commandFilePath(5)), lock);
    QCOMPARE(ClassroomFolder::read(exchange::answerFilePath(7)), seat7Answer);
    lesson.session().Timer1_Timer();
    QCOMPARE(lesson.session().lastTally().seatAnswer[7], seat7Counted);
    answer(7, 1);
    lesson.session().Timer1_Timer();
    QCOMPARE(lesson.session().lastTally().answerCount[2], 1.0f); // seat 5's answer
    QCOMPARE(lesson.session().lastTally().answerCount[0], seat7Counts ? 1.0f : 0.0f);
    QCOMPARE(lesson.session().lastTally().lvqSum, seat7Counts ? 2 : 1);

    lesson.session().setFileWriter(exchange::writeWholeFile);
    lesson.Form_Unload();
    const tally::AnswerHistory &history = lesson.session().record().history();
    QCOMPARE(history.columnCount(), 2);
    QCOMPARE((QList<int>{history.cell(7, 0), history.cell(7, 1)}), seat7Cells);
    QCOMPARE(history.cell(5, 1), 3);
}

// Once a second, and at every new answer, the seats are looked at: a seat
// whose command file holds neither the current publication nor the pupil's
// lock of it is published to again. The second question of kThreeQuestions
// is being answered; seat 3's file is then made to hold something else.
void TestLesson::seatsShowingSomethingElse_data()
{
    QTest::addColumn<QByteArray>("seat3Command"); // what seat 3's file is made to hold
    QTest::addColumn<int>("seat3Answer");         // then written to its answer file
    QTest::addColumn<int>("looks");               // looks at the seats before the tick
    QTest::addColumn<bool>("republished");
    QTest::addColumn<QList<int>>("cells"); // seat 3 in the record: questions 1 and 2

    const QByteArray lockOfFirst = exchange::shortCommandFileBytes(u"好きな色は？"_s);
    const QByteArray lockOfSecond = exchange::shortCommandFileBytes(u"得意ですか？"_s);
    QTest::newRow("locked on the question before as it arrived, then answered")
        << lockOfFirst << 2 << 0 << true << QList<int>{2, 0};
    QTest::newRow("locked on the question before, seen by the look")
        << lockOfFirst << 0 << 1 << true << QList<int>{0, 0};
    QTest::newRow("the pupil's lock of the question asked stays")
        << lockOfSecond << 3 << 2 << false << QList<int>{0, 3};
    QTest::newRow("a file caught being rewritten is left for the next look")
        << QByteArray(" 100 \r\n") << 3 << 1 << false << QList<int>{0, 3};
    QTest::newRow("a file that stays wrong is published to again")
        << QByteArray(" 100 \r\n") << 0 << 2 << true << QList<int>{0, 0};
}

void TestLesson::seatsShowingSomethingElse()
{
    QFETCH(QByteArray, seat3Command);
    QFETCH(int, seat3Answer);
    QFETCH(int, looks);
    QFETCH(bool, republished);
    QFETCH(QList<int>, cells);
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    loadQuestionnaire(lesson, folder, kThreeQuestions);
    lesson.mnuFileOpen_Click();
    lesson.cmdNext_Click();
    lesson.cmdNext_Click();
    const QByteArray asked = commandFile(0);

    ClassroomFolder::write(exchange::commandFilePath(3), seat3Command);
    if (seat3Answer)
        answer(3, seat3Answer);
    for (int look = 0; look < looks; ++look)
        lesson.session().checkSeats();
    lesson.session().Timer1_Timer();

    QCOMPARE(commandFile(3), republished ? asked : seat3Command);
    const bool counted = !republished && seat3Answer;
    QCOMPARE(lesson.session().lastTally().lvqSum, counted ? 1 : 0);
    lesson.Form_Unload();
    const tally::AnswerHistory &history = lesson.session().record().history();
    QCOMPARE((QList<int>{history.cell(3, 0), history.cell(3, 1)}), cells);
}

// A seat the publication could not reach gets it at a later look (a write
// that fails there makes the next look leave the seats alone), and what the
// seats answer after もどる reaches the running copy within a second.
void TestLesson::seatsLookedAfterBetweenTicks()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    loadQuestionnaire(lesson, folder, kThreeQuestions);
    lesson.mnuFileOpen_Click();
    lesson.session().setFileWriter(FailingWrites{u"Data/LVQ7.ini"_s, 3, {}});
    lesson.cmdNext_Click();
    QCOMPARE(prompter.asked.size(), 1);
    for (const bool reached : {false, false, true}) {
        QVERIFY(commandFile(7) != commandFile(0));
        lesson.session().checkSeats();
        QCOMPARE(commandFile(7) == commandFile(0), reached);
    }
    // A seat whose writes keep failing holds up no other seat for long.
    lesson.session().setFileWriter(FailingWrites{u"Data/LVQ2.ini"_s, 1000, {}});
    ClassroomFolder::write(exchange::commandFilePath(2), "x");
    ClassroomFolder::write(exchange::commandFilePath(50), "x");
    for (int look = 0; look < 4; ++look)
        lesson.session().checkSeats();
    QCOMPARE(commandFile(50), commandFile(0));
    lesson.session().setFileWriter(exchange::writeWholeFile);

    lesson.cmdBack_Click();
    answer(3, 2);
    const QString running =
        tally::RecordKeeper::runningFileName(tally::RecordKeeper::LessonFile::Record);
    QTRY_VERIFY_WITH_TIMEOUT(ClassroomFolder::read(running).contains(" 3 \x94\xd4 , 2 \r\n"), 5000);

    // A seat the end cannot reach answers while the teacher is asked: kept.
    lesson.session().setFileWriter(FailingWrites{u"Data/LVQ5.ini"_s, 1000, {}});
    prompter.beforeAnswer = [] { answer(5, 3); };
    lesson.Form_Unload();
    QCOMPARE(lesson.session().record().history().cell(5, 0), 3);
}

// The running copy follows the record while the lesson runs and goes away
// once Kiroku.csv is written.
// Through the programs' runner on a share that takes a moment per file: the
// seats are written on other threads while the event loop turns, and what
// the loop runs meanwhile (ticks, looks at the seats, the watch) waits for
// the work under way instead of running inside it.
void TestLesson::lessonOnASlowShare()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    lesson::LessonSession &session = lesson.session();
    exchange::BackgroundShareRunner runner;
    session.setShareRunner(runner);
    session.setFileWriter([](const QString &path, const QByteArray &bytes) {
        QThread::msleep(3);
        return exchange::writeWholeFile(path, bytes);
    });
    int meddled = 0;
    int collectedInside = 0;
    QObject::connect(&session, &lesson::LessonSession::changed,
                     [&] { collectedInside += runner.waiting() > 0; });
    QTimer meddler;
    QObject::connect(&meddler, &QTimer::timeout, [&] {
        if (runner.waiting() == 0)
            return;
        ++meddled;
        session.Timer1_Timer();
        session.collectNow();
        session.checkSeats();
    });
    meddler.start(1);

    lesson.CmdStart_Click(); // ○×
    QVERIFY(meddled > 0);
    QCOMPARE(commandFile(50), commandFile(0));
    for (int seat = 1; seat <= 50; ++seat)
        answer(seat, seat % 2 + 1);
    session.Timer1_Timer();
    QCOMPARE(session.lastTally().lvqSum, 50);
    lesson.CmdStart_Click(); // asked again: the answers stay in the record
    answer(4, 2);
    // A tick that came during a handler or a look runs right after it, not
    // a period later.
    meddler.stop();
    session.startAnswering(3'600'000);
    int collections = 0;
    QObject::connect(&session, &lesson::LessonSession::changed, [&] { ++collections; });
    {
        const lesson::LessonSession::HandlerScope busy(session);
        session.Timer1_Timer();
    }
    QCOMPARE(collections, 0);
    QTRY_COMPARE(collections, 1);
    QCOMPARE(session.lastTally().lvqSum, 1);
    QCOMPARE(lesson.Form_Unload(), u"Kiroku.csv"_s);
    QCOMPARE(collectedInside, 0);
    const tally::AnswerHistory &history = session.record().history();
    QCOMPARE(history.cell(3, 0), 2);
    QCOMPARE(history.cell(4, 0), 2);
    QCOMPARE(history.cell(50, 0), 1);
    QVERIFY(prompter.asked.isEmpty());
}

void TestLesson::runningRecord()
{
    StartedLesson started;
    auto &[folder, prompter, lesson] = started;
    const QString running =
        tally::RecordKeeper::runningFileName(tally::RecordKeeper::LessonFile::Record);
    QVERIFY(!QFileInfo::exists(running)); // nothing collected yet
    auto record = [&] { return tally::answerRecordBytes(lesson.session().record().history(), 50); };

    lesson.CmdStart_Click();
    answer(3, 2);
    lesson.session().Timer1_Timer();
    QCOMPARE(ClassroomFolder::read(running), record());
    const QByteArray first = record();
    answer(3, 4);
    lesson.session().Timer1_Timer(); // within the second: not rewritten yet
    QCOMPARE(ClassroomFolder::read(running), first);
    lesson.CmdPause_Click(); // every publication brings it up to date
    QCOMPARE(ClassroomFolder::read(running), record());
    QVERIFY(record() != first);

    const QString runningResults =
        tally::RecordKeeper::runningFileName(tally::RecordKeeper::LessonFile::Results);
    QCOMPARE(ClassroomFolder::read(runningResults),
             tally::resultsBytes(lesson.session().record().history(), 50));

    const QByteArray last = record();
    QCOMPARE(lesson.Form_Unload(), u"Kiroku.csv"_s);
    QCOMPARE(ClassroomFolder::read(u"Kiroku.csv"_s), last);
    QVERIFY(!QFileInfo::exists(running));
    QVERIFY(!QFileInfo::exists(runningResults));
    QVERIFY(QFileInfo::exists(u"Kekka.csv"_s));
    QVERIFY(prompter.asked.isEmpty());
}

// A running copy found at start-up, or a record an earlier lesson left, is
// kept under its time and never overwritten; the teacher is told once where
// the running copies went. A lesson that collected nothing writes nothing.
void TestLesson::earlierRecordKept_data()
{
    QTest::addColumn<QString>("at"); // "start", "close", "close, nothing collected"
    QTest::addColumn<bool>("nameTaken");
    QTest::addColumn<QStringList>("earlier");
    QTest::addColumn<QStringList>("keptAs");
    const QString time = u"2026-12-07-1015"_s;
    QTest::newRow("running copy kept under its time")
        << u"start"_s << false << QStringList{u"Kiroku-running.csv"_s}
        << QStringList{u"Kiroku-%1.csv"_s.arg(time)};
    QTest::newRow("that name taken") << u"start"_s << true << QStringList{u"Kiroku-running.csv"_s}
                                     << QStringList{u"Kiroku-%1-2.csv"_s.arg(time)};
    QTest::newRow("record and results, told once")
        << u"start"_s << false << QStringList{u"Kiroku-running.csv"_s, u"Kekka-running.csv"_s}
        << QStringList{u"Kiroku-%1.csv"_s.arg(time), u"Kekka-%1.csv"_s.arg(time)};
    QTest::newRow("an earlier lesson's files kept at the close")
        << u"close"_s << false << QStringList{u"Kiroku.csv"_s, u"Kekka.csv"_s}
        << QStringList{u"Kiroku-%1.csv"_s.arg(time), u"Kekka-%1.csv"_s.arg(time)};
    QTest::newRow("an earlier record, that name taken")
        << u"close"_s << true << QStringList{u"Kiroku.csv"_s}
        << QStringList{u"Kiroku-%1-2.csv"_s.arg(time)};
    QTest::newRow("nothing collected: nothing written")
        << u"close, nothing collected"_s << false << QStringList{u"Kiroku.csv"_s, u"Kekka.csv"_s}
        << QStringList{u"Kiroku.csv"_s, u"Kekka.csv"_s};
}

void TestLesson::earlierRecordKept()
{
    QFETCH(QString, at);
    QFETCH(bool, nameTaken);
    QFETCH(QStringList, earlier);
    QFETCH(QStringList, keptAs);
    ClassroomFolder folder;
    for (const QString &name : std::as_const(earlier))
        QVERIFY(writeEarlier(name, name.toUtf8()));
    if (nameTaken)
        ClassroomFolder::write(u"Kiroku-2026-12-07-1015.csv"_s, "an earlier one");

    ScriptedPrompter prompter;
    Lesson lesson(prompter);
    lesson.Form_Load();
    QStringList told;
    for (const QString &name : std::as_const(keptAs))
        told << QDir::toNativeSeparators(folder.filePath(name));
    if (at == u"start") {
        QCOMPARE(prompter.asked, QStringList{u"unfinished record: "_s + told.join(u' ')});
    } else {
        if (at == u"close")
            lesson.CmdStart_Click();
        QCOMPARE(lesson.Form_Unload(), at == u"close" ? u"Kiroku.csv"_s : QString());
        QCOMPARE(prompter.asked, QStringList());
    }
    for (int i = 0; i < keptAs.size(); ++i) {
        QCOMPARE(ClassroomFolder::read(keptAs[i]), earlier[i].toUtf8());
        if (keptAs[i] != earlier[i])
            QCOMPARE(QFileInfo::exists(earlier[i]), at == u"close");
    }
    if (nameTaken)
        QCOMPARE(ClassroomFolder::read(u"Kiroku-2026-12-07-1015.csv"_s), "an earlier one");
}

QTEST_GUILESS_MAIN(TestLesson)
#include "tst_lesson.moc"
