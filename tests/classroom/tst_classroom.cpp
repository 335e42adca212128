// A lesson with a full class: the teacher's own lesson code in this process,
// a seat process running the pupil's program's code for each honest seat,
// one shared folder, no locks. Every question is checked once all seats are
// done with it: the teacher's counts must be exactly what the seats last
// wrote. Beside them a hostile neighbour keeps replacing the files of the
// seats nobody uses with pipes, sockets, links (to a file outside the folder
// and to honest seats' files), folders and garbage: the teacher must never
// wait on one, never write through one, and still count the honest seats
// exactly. How long the teacher's ticks and publications took is logged.
#include "../teacher/lesson/ClassroomFolder.h"
#include "../teacher/lesson/ScriptedPrompter.h"
#include "../teacher/lesson/SoakQuestionnaire.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/NumberText.h"
#include "exchange/TextFile.h"
#include "teacher/lesson/Lesson.h"

#include "SharedFolderFaults.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSeats = exchange::kStudentsMax;
// Seats 1 to kHonestSeats have a pupil each; the files of seat 0 and of the
// seats above belong to the hostile neighbour.
#ifdef Q_OS_WIN
constexpr int kHonestSeats = kSeats; // no pipes or sockets to put in a folder
#else
constexpr int kHonestSeats = 45;
#endif
constexpr qint64 kSettleTimeoutMs = 30000;

void writeText(const QString &path, const QString &text)
{
    QVERIFY(exchange::writeWholeFile(path, text.toUtf8()).ok);
}

QString readText(const QString &path)
{
    const auto bytes = exchange::readFileHead(path, 4096);
    return bytes ? QString::fromUtf8(*bytes).trimmed() : QString();
}

QString durations(std::vector<qint64> nanoseconds)
{
    if (nanoseconds.empty())
        return u"none"_s;
    std::sort(nanoseconds.begin(), nanoseconds.end());
    const auto ms = [](qint64 ns) { return QString::number(double(ns) / 1e6, 'f', 2); };
    return u"%1 ms median, %2 ms at 99 %, %3 ms at most over %4"_s
        .arg(ms(nanoseconds[nanoseconds.size() / 2]))
        .arg(ms(nanoseconds[nanoseconds.size() * 99 / 100]))
        .arg(ms(nanoseconds.back()))
        .arg(nanoseconds.size());
}

// A pupil who wants to disrupt the lesson, with write access to the share:
// a thread that keeps replacing the files of the seats no pupil uses.
class HostileNeighbour
{
public:
    HostileNeighbour(unsigned seed, QString outsideFile)
        : m_seed(seed), m_outsideFile(std::move(outsideFile))
    {
    }
    ~HostileNeighbour() { stop(); }

    void start()
    {
#ifndef Q_OS_WIN
        m_thread = std::thread([this] { run(); });
#endif
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int replacements() const
    {
        return m_replacements;
    }

private:
    unsigned m_seed;
    QString m_outsideFile;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_replacements{0};

    void run()
    {
        std::mt19937 random(m_seed ^ 0x5eedu);
        auto between = [&random](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        QStringList paths;
        for (int seat = 0; seat <= kSeats; ++seat) {
            if (seat == 0 || seat > kHonestSeats)
                paths << exchange::commandFilePath(seat) << exchange::answerFilePath(seat);
        }
        // Folders are the rarest, at most one at a time and only for a
        // moment: each one the teacher meets costs its publication a pause
        // and a second try.
        QString folder;
        while (!m_stop) {
            if (!folder.isEmpty()) {
                faults::plant(folder, "<link:" + QFile::encodeName(m_outsideFile) + '>');
                folder.clear();
            }
            const QString path = paths[between(0, int(paths.size()) - 1)];
            const bool command = path.endsWith(u".ini"_s);
            QByteArray marker;
            const int pick = between(0, 19);
            if (pick < 3) {
                marker = "<pipe>";
            } else if (pick < 6) {
                marker = "<socket>";
            } else if (pick < 9) {
                marker = "<link:" + QFile::encodeName(m_outsideFile) + '>';
            } else if (pick < 12) { // an honest seat's file of the same kind
                marker = "<link:LVQ" + QByteArray::number(between(1, kHonestSeats)) +
                         (command ? ".ini>" : ".txt>");
            } else if (pick < 14) { // a file not there yet, beside the one outside
                marker = "<link:" + QFile::encodeName(m_outsideFile) + ".new>";
            } else if (pick < 15) {
                marker = "<dir>";
                folder = path;
            }
            if (marker.isEmpty())
                plantGarbage(path, random);
            else
                faults::plant(path, marker);
            ++m_replacements;
            QThread::usleep(between(1000, 5000));
        }
        if (!folder.isEmpty())
            QDir().rmdir(folder);
    }

    // Bytes of every kind, now and then far more than an answer file holds.
    static void plantGarbage(const QString &path, std::mt19937 &random)
    {
        QFile::remove(path);
        QDir().rmdir(path);
        QByteArray block(std::uniform_int_distribution<int>(0, 300)(random), '\0');
        for (char &byte : block)
            byte = char(std::uniform_int_distribution<int>(0, 255)(random));
        if (std::uniform_int_distribution<int>(0, 99)(random) < 2)
            block = block.repeated(4096);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(block);
    }
};

} // namespace

class TestClassroom : public QObject
{
    Q_OBJECT

private slots:
    void fullClassLesson();
};

void TestClassroom::fullClassLesson()
{
    const int questions = qEnvironmentVariableIsSet("OMBRA_SOAK_QUESTIONS")
                              ? qEnvironmentVariableIntValue("OMBRA_SOAK_QUESTIONS")
                              : 200;
    const unsigned seed = qEnvironmentVariableIsSet("OMBRA_SOAK_SEED")
                              ? unsigned(qEnvironmentVariableIntValue("OMBRA_SOAK_SEED"))
                              : 20261207u;
    std::mt19937 random(seed);

    // A file of the teacher's outside the classroom folder that links point at.
    QTemporaryDir outside;
    QVERIFY(outside.isValid());
    const QString outsideFile = outside.filePath(u"own.txt"_s);
    const QByteArray outsideBytes = "the teacher's own file\n";
    QVERIFY(exchange::writeWholeFile(outsideFile, outsideBytes).ok);

    ClassroomFolder folder;
    ScriptedPrompter prompter;
    lesson::Lesson lesson(prompter);
    lesson.Form_Load();
    // Change notification is on, as in the program: while the lesson waits
    // for the seats, every change to an answer file collects at once. With
    // OMBRA_SOAK_NOTIFY=every it collects at every single notice.
    const bool everyNotice = qEnvironmentVariable("OMBRA_SOAK_NOTIFY") == u"every"_s;
    QVERIFY(everyNotice ? lesson.session().startAnswerWatch(-1, 0)
                        : lesson.session().startAnswerWatch());
    // Every collection that is no tick, the test's own or Timer1's, was set
    // off by the watch.
    int collections = 0;
    int ticks = 0;
    connect(&lesson.session(), &lesson::LessonSession::changed, this,
            [&collections] { ++collections; });
    connect(&lesson.session(), &lesson::LessonSession::tickDue, this, [&ticks] { ++ticks; });
    HostileNeighbour neighbour(seed, outsideFile);
    // OMBRA_SOAK_NO_NEIGHBOUR=1 runs the lesson without it, for comparing
    // the logged durations.
    if (!qEnvironmentVariableIsSet("OMBRA_SOAK_NO_NEIGHBOUR"))
        neighbour.start();
    std::vector<qint64> tickNs;
    std::vector<qint64> publishNs;

    std::vector<std::unique_ptr<QProcess>> seats;
    for (int seat = 1; seat <= kHonestSeats; ++seat) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        // Fifty leak checks at once at the end would only slow the closing
        // down; the pupil's code is leak-checked by its own tests.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"ASAN_OPTIONS"_s,
                           environment.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(SEAT_DRIVER), {QString::number(seat), QString::number(seed)});
        QVERIFY2(process->waitForStarted(10000), qPrintable(process->errorString()));
        seats.push_back(std::move(process));
    }
    auto seatsAlive = [&seats]() {
        QCoreApplication::processEvents();
        for (std::size_t i = 0; i < seats.size(); ++i) {
            if (seats[i]->state() != QProcess::Running) {
                qWarning("seat %d ended with status %d", int(i) + 1, seats[i]->exitCode());
                return false;
            }
        }
        return true;
    };

    // Every seat has signed in and read the start-up publication before the
    // first question is published.
    {
        QElapsedTimer waiting;
        waiting.start();
        for (int seat = 1; seat <= kHonestSeats; ++seat) {
            while (!QFileInfo::exists(u"soak-ready%1.txt"_s.arg(seat))) {
                QVERIFY2(seatsAlive(), "a seat program ended while starting");
                QVERIFY2(waiting.elapsed() < kSettleTimeoutMs,
                         qPrintable(u"seat %1 never started"_s.arg(seat)));
                QThread::msleep(1);
            }
        }
    }

    struct Published
    {
        int number;
        std::array<int, kSeats + 1> finals{};
        std::array<bool, kSeats + 1> lockedOut{};
        // A click on the question before, made after the teacher counted it
        // and before this one was published (0: none), and whether the
        // pupil's program took it.
        std::array<int, kSeats + 1> late{};
        std::array<bool, kSeats + 1> lateTaken{};
    };
    std::vector<Published> history;
    int lockOuts = 0;

    for (int k = 0; k < questions; ++k) {
        const int row = k % kRowsPerQuestionnaire;
        QVERIFY(openSoakQuestionnaire(k, folder, lesson, random));
        lesson.Check1_Click(std::uniform_int_distribution<int>(0, 1)(random) == 1);
        QElapsedTimer publishing;
        publishing.start();
        lesson.cmdNext_Click();
        publishNs.push_back(publishing.nsecsElapsed());
        QCOMPARE(lesson.shownRow(), row);
        writeText(u"soak-published.txt"_s, u"%1 %2"_s.arg(k).arg(lesson.ShownQuestion[0]));

        // Wait until every seat is done with question k.
        Published published{row + 1, {}};
        QElapsedTimer waiting;
        waiting.start();
        for (int seat = 1; seat <= kHonestSeats; ++seat) {
            for (;;) {
                const QStringList status = readText(u"soak-seat%1.txt"_s.arg(seat)).split(u' ');
                if (status.size() == 5 && status[0].toInt() == k) {
                    published.finals[seat] = status[1].toInt();
                    published.lockedOut[seat] = status[2] == u"1";
                    published.late[seat] = status[3].toInt();
                    published.lateTaken[seat] = status[4] == u"1";
                    lockOuts += status[2].toInt();
                    break;
                }
                QVERIFY2(seatsAlive(), "a seat program ended during the lesson");
                QVERIFY2(waiting.elapsed() < kSettleTimeoutMs,
                         qPrintable(u"seat %1 never finished question %2"_s.arg(seat).arg(k)));
                QThread::msleep(1);
            }
        }

        QElapsedTimer ticking;
        ticking.start();
        ++ticks;
        lesson.session().Timer1_Timer();
        tickNs.push_back(ticking.nsecsElapsed());
        // Seats click late on a question only once it is collected. After
        // the last one such a click would still be an answer given before
        // the close, which the closing collection records; the seats' logs
        // could not tell, so the last question gets no late clicks.
        if (k + 1 < questions)
            writeText(u"soak-collected.txt"_s, QString::number(k));

        // The neighbour's seats count whatever the teacher read there.
        std::array<float, 5> expectedCount{};
        int expectedSum = 0;
        for (int seat = 0; seat <= kSeats; ++seat) {
            if (seat == 0 || seat > kHonestSeats) {
                for (int answer = 1; answer <= 5; ++answer) {
                    if (lesson.session().lastTally().seatAnswer[seat] == float(answer)) {
                        ++expectedCount[answer - 1];
                        ++expectedSum;
                    }
                }
                continue;
            }
            // A late one-answer lock that hid this question from the seat
            // left its answer to the question before: the teacher's program
            // puts it there and publishes this question to the seat again.
            const int final = published.lockedOut[seat] ? 0 : published.finals[seat];
            QVERIFY2(lesson.session().lastTally().seatAnswer[seat] == float(final),
                     qPrintable(u"question %1 seat %2: teacher read %3, seat wrote %4"_s.arg(k)
                                    .arg(seat)
                                    .arg(lesson.session().lastTally().seatAnswer[seat])
                                    .arg(final)));
            if (final >= 1 && final <= 5) {
                ++expectedCount[final - 1];
                ++expectedSum;
            }
        }
#ifdef Q_OS_WIN
        QCOMPARE(lesson.session().lastTally().seatAnswer[0], 0.0f);
#endif
        QCOMPARE(lesson.session().lastTally().answerCount, expectedCount);
        QCOMPARE(lesson.session().lastTally().lvqSum, expectedSum);
        history.push_back(published);
    }

    // Closing ends every seat program. A seat whose one-answer lock was
    // written in the same instant as the teacher's last publication can have
    // hidden that publication from itself: it still shows its own lock and
    // never reads mode 0. That is the one race the pupil's program cannot
    // close without a lock; such a seat is counted, and ended here.
    const int watcherCollections = collections - ticks;
    QVERIFY(watcherCollections > 0);
    qInfo("collections set off by change notification: %d", watcherCollections);
#ifndef Q_OS_WIN
    // The record is written through a temporary and a rename: a link put at
    // its name is replaced, not written through.
    QVERIFY(faults::plant(u"Kiroku.csv"_s, "<link:" + QFile::encodeName(outsideFile) + '>'));
#endif
    const QString recordPath = lesson.Form_Unload();
    QCOMPARE(recordPath, u"Kiroku.csv"_s);
    neighbour.stop();
    QVERIFY(faults::isPlainFile(u"Kiroku.csv"_s));
    QElapsedTimer closing;
    closing.start();
    int lockedAtEnd = 0;
    for (int seat = 1; seat <= kHonestSeats; ++seat) {
        QProcess &process = *seats[seat - 1];
        const qint64 left = std::max<qint64>(1000, 60000 - closing.elapsed());
        if (!process.waitForFinished(int(left))) {
            const QByteArray command = ClassroomFolder::read(exchange::commandFilePath(seat));
            // The lock stands whole, or over the start of the closing
            // publication when the two writes crossed; either way the seat
            // reads mode 100 and never sees the end.
            QVERIFY2(command.startsWith(" 100 \r\n"),
                     qPrintable(
                         u"seat %1 did not end after mode 0; its command file: %2"_s.arg(seat).arg(
                             QString::fromLatin1(command.toHex(' ')))));
            ++lockedAtEnd;
            process.kill();
            process.waitForFinished(5000);
            continue;
        }
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
    lockOuts += lockedAtEnd;

    // Each seat's own log agrees with what the teacher was compared against.
    for (int seat = 1; seat <= kHonestSeats; ++seat) {
        const QStringList lines =
            QString::fromUtf8(ClassroomFolder::read(u"soak-seat%1.log"_s.arg(seat)))
                .split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), questions);
        for (int k = 0; k < questions; ++k) {
            QCOMPARE(lines[k], u"%1 %2 %3 %4"_s.arg(k)
                                   .arg(history[k].finals[seat])
                                   .arg(history[k].late[seat])
                                   .arg(history[k].lateTaken[seat] ? 1 : 0));
        }
    }

    // The record: one column per question, in the order they were asked,
    // each headed by its number in its questionnaire, holding the answer
    // each seat last gave to that question. A late click on question k
    // (after the teacher counted k, before k + 1 was published) is collected
    // by the publication of k + 1 into k's column, each seat's just before
    // its file is reset:
    //  - a click the pupil's program took (and no late lock of its own hid
    //    k + 1 from the seat) was written before the teacher's program wrote
    //    that seat's command file, so it was read: it must be in the record;
    //  - a click it did not take either wrote nothing, the program having
    //    seen k + 1 first (the earlier answer stands), or was written and
    //    taken back on seeing k + 1, and the teacher's program may have read
    //    it in between. Right is the late answer: the pupil gave it with
    //    question k on the screen. The earlier one stands when the write came
    //    after the teacher's read of that seat, an instant the exchange files
    //    cannot tell apart;
    //  - a late lock that hid k + 1 from the seat shows its click was taken
    //    for k: it is in k's column, and k + 1's holds nothing of it.
    QString heading = u"出席番号"_s;
    for (const Published &published : history)
        heading += u","_s + exchange::numberFieldText(published.number);
    // The neighbour's seats hold whatever was read there.
    const QStringList record =
        exchange::decodeCp932(ClassroomFolder::read(u"Kiroku.csv"_s)).split(u"\r\n"_s);
    QCOMPARE(record.size(), kSeats + 2);
    QCOMPARE(record[0], heading);
    int lateRecorded = 0;
    int lateNotTaken = 0;
    for (int seat = 1; seat <= kHonestSeats; ++seat) {
        const QStringList cells = record[seat].split(u',');
        QCOMPARE(cells.size(), questions + 1);
        QCOMPARE(cells[0], exchange::numberFieldText(seat) + u"番 "_s);
        for (int k = 0; k < questions; ++k) {
            const int final = history[k].lockedOut[seat] ? 0 : history[k].finals[seat];
            const bool lateClick = k + 1 < questions && history[k + 1].late[seat] != 0;
            const int late = lateClick ? history[k + 1].late[seat] : final;
            const bool surely = !lateClick || history[k + 1].lateTaken[seat];
            const int cell = exchange::readNumber(cells[k + 1]);
            QVERIFY2(cell == late || (!surely && cell == final),
                     qPrintable(u"question %1 seat %2: recorded %3, the seat's answer %4, "
                                u"a late click %5 (%6)"_s.arg(k)
                                    .arg(seat)
                                    .arg(cell)
                                    .arg(final)
                                    .arg(late)
                                    .arg(surely ? u"taken"_s : u"not taken"_s)));
            lateRecorded += lateClick && cell == late ? 1 : 0;
            lateNotTaken += lateClick && !surely ? 1 : 0;
        }
    }
    QCOMPARE(record[kSeats + 1], QString());

    // Nothing outside the classroom folder changed or appeared.
    QCOMPARE(ClassroomFolder::read(outsideFile), outsideBytes);
    QCOMPARE(QDir(outside.path())
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden),
             QStringList{u"own.txt"_s});

    qInfo("%d questions, %d late locks that hid a publication from a seat (%d of them the end)",
          questions, lockOuts, lockedAtEnd);
    qInfo("late clicks recorded for their question: %d; not taken by the pupil's program: %d",
          lateRecorded, lateNotTaken);
    qInfo("%d honest seats; the neighbour replaced files of the other seats %d times", kHonestSeats,
          neighbour.replacements());
    qInfo("teacher's ticks (51 answer files read and counted): %s", qPrintable(durations(tickNs)));
    qInfo("teacher's publications (102 files written): %s", qPrintable(durations(publishNs)));
}

QTEST_GUILESS_MAIN(TestClassroom)
#include "tst_classroom.moc"
