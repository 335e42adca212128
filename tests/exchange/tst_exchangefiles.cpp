#include "exchange/ChangeWatch.h"
#include "exchange/Cp932.h"
#include "exchange/ExchangeFiles.h"
#include "exchange/FieldReader.h"
#include "exchange/NumberText.h"
#include "exchange/ShareRunner.h"
#include "exchange/TextFile.h"

#include "SharedFolderFaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <utility>

using namespace Qt::StringLiterals;

class TestExchangeFiles : public QObject
{
    Q_OBJECT

private slots:
    void paths();
    void startupCommandFile();
    void answerFile();
    void shortForm();
    void textLines_data();
    void textLines();
    void writeWholeFileReplaces();
    void writeNeverFollows_data();
    void writeNeverFollows();
    void writeFails_data();
    void writeFails();
    void guardedRewrite_data();
    void guardedRewrite();
    void changeWatchSettles_data();
    void changeWatchSettles();
    void shareRunner_data();
    void shareRunner();
};

namespace {

// A temporary folder made the working directory while the object lives.
class WorkingFolder
{
public:
    WorkingFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~WorkingFolder() { QDir::setCurrent(m_previous); }
    bool isValid() const { return m_dir.isValid(); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void putFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden, QDir::Name);
}

enum Writer { InPlace, Safely, Guarded };

// The guarded rewrite's outcome as a status: ok when written, the reason when
// failed, and no reason when it found nothing it was to write over.
exchange::FileStatus write(int writer, const QString &path, const QByteArray &bytes)
{
    if (writer == Safely)
        return exchange::saveFileSafely(path, bytes);
    if (writer == InPlace)
        return exchange::writeWholeFile(path, bytes);
    const exchange::GuardedRewrite result = exchange::guardedRewrite(
        path, 1 << 20, [](const QByteArray &) { return true; }, bytes);
    if (result.outcome == exchange::GuardedRewrite::Outcome::Written)
        return {};
    return exchange::FileStatus::failure(result.error);
}

QString outcomeName(exchange::GuardedRewrite::Outcome outcome)
{
    switch (outcome) {
    case exchange::GuardedRewrite::Outcome::Written:
        return u"written"_s;
    case exchange::GuardedRewrite::Outcome::NotExpected:
        return u"not expected"_s;
    case exchange::GuardedRewrite::Outcome::Failed:
        break;
    }
    return u"failed"_s;
}

} // namespace

void TestExchangeFiles::paths()
{
    QCOMPARE(exchange::commandFilePath(7), u"Data/LVQ7.ini"_s);
    QCOMPARE(exchange::answerFilePath(7), u"Data/LVQ7.txt"_s);
    QCOMPARE(exchange::commandFilePath(0), u"Data/LVQ0.ini"_s);
    QCOMPARE(exchange::answerFilePath(50), u"Data/LVQ50.txt"_s);
    QVERIFY(!exchange::commandFilePath(12).contains(u'\\'));
}

void TestExchangeFiles::startupCommandFile()
{
    const std::array<QString, 6> shown{u""_s, u"○"_s, u"×"_s, u""_s, u""_s, u""_s};
    const QByteArray expected = QByteArray(" 100 \r\n\r\n") + QByteArray::fromHex("819b") // ○
                                + "\r\n" + QByteArray::fromHex("817e")                    // ×
                                + "\r\n\r\n\r\n\r\n 0 \r\n";
    QCOMPARE(exchange::commandFileBytes(100, shown, 0), expected);
}

void TestExchangeFiles::answerFile()
{
    QCOMPARE(exchange::answerFileBytes(0), QByteArray(" 0 \r\n"));
    QCOMPARE(exchange::answerFileBytes(3), QByteArray(" 3 \r\n"));
    QTemporaryDir dir;
    const QString path = dir.filePath(u"LVQ1.txt"_s);
    QCOMPARE(exchange::readAnswerFile(path), std::nullopt);
    for (const double answer : {0.0, 3.0, -1.0, 2.5}) {
        QVERIFY(exchange::writeWholeFile(path, exchange::answerFileBytes(answer)).ok);
        QCOMPARE(exchange::readAnswerFile(path), std::optional(answer));
    }
    QVERIFY(exchange::writeWholeFile(path, "").ok);
    QCOMPARE(exchange::readAnswerFile(path), std::nullopt);
}

void TestExchangeFiles::shortForm()
{
    const QByteArray lock = exchange::shortCommandFileBytes(u"Q"_s);
    QCOMPARE(lock, QByteArray(" 100 \r\nQ\r\n"));
    QVERIFY(exchange::isWholeCommandFile(exchange::commandFields(lock)));
    for (const QByteArray &other : {QByteArray(" 100 \r\nQ"), QByteArray(" 1 \r\nQ\r\n"),
                                    QByteArray(" 100 \r\nQ\r\nR\r\n")})
        QCOMPARE(exchange::shortFormQuestion(other), std::nullopt);
}

void TestExchangeFiles::textLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");

    QTest::newRow("plain") << u"はい"_s << u"はい"_s;
    QTest::newRow("empty") << u""_s << u""_s;
    QTest::newRow("ascii comma") << u"A,B"_s << u"\"A,B\""_s;
    QTest::newRow("leading blank") << u" A"_s << u"\" A\""_s;
    QTest::newRow("full-width comma") << u"A、B"_s << u"A、B"_s;
    QTest::newRow("comma and quote stay as they are") << u"say \"a,b\""_s << u"say \"a,b\""_s;
    QTest::newRow("line break becomes blank") << u"a\r\nb"_s << u"a b"_s;
}

// Every text written is read back whole by the field reader unless it holds a
// double quote and needs quoting.
void TestExchangeFiles::textLines()
{
    QFETCH(QString, text);
    QFETCH(QString, line);
    QCOMPARE(exchange::textFieldLine(text), line);

    // Round trips through the files as the programs write and read them.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"LVQ1.ini"_s);
    std::array<QString, 6> shown{text, u"L1"_s, u""_s, u""_s, u""_s, u""_s};
    const QByteArray full = exchange::commandFileBytes(3, shown, 1);
    QVERIFY(exchange::writeWholeFile(path, full).ok);
    const exchange::CommandFileRead read = exchange::readCommandFile(path);
    QVERIFY(read.opened);
    QCOMPARE(exchange::readNumber(read.fields[0].value_or(u"x"_s)), 3.0);
    if (!text.contains(u'"') && !text.contains(u'\n'))
        QCOMPARE(read.fields[1], std::optional(text));
    if (!text.contains(u'"')) {
        QCOMPARE(read.fields[2], std::optional<QString>(u"L1"_s));
        QCOMPARE(exchange::readNumber(read.fields[7].value_or(u"x"_s)), 1.0);
        QVERIFY(exchange::isWholeCommandFile(read.fields));
        QCOMPARE(exchange::shortFormQuestion(exchange::shortCommandFileBytes(text)),
                 std::optional(read.fields[1]));
    }
    QVERIFY(!exchange::shortFormQuestion(full));
    // A file caught while it is rewritten reads short.
    QVERIFY(!exchange::isWholeCommandFile(exchange::commandFields(full.left(full.indexOf("L1")))));
}

void TestExchangeFiles::writeWholeFileReplaces()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"LVQ3.txt"_s);
    QVERIFY(exchange::writeWholeFile(path, "0123456789").ok);
    QVERIFY(exchange::writeWholeFile(path, exchange::answerFileBytes(2)).ok);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray(" 2 \r\n"));
}

void TestExchangeFiles::writeNeverFollows_data()
{
    QTest::addColumn<bool>("safely");       // saveFileSafely rather than writeWholeFile
    QTest::addColumn<QByteArray>("before"); // a marker of SharedFolderFaults.h or contents

    const std::pair<const char *, QByteArray> rows[] = {
        {"plain file", "old contents"},
        {"pipe", "<pipe>"},
        {"socket", "<socket>"},
        {"link to a file outside", "<link:../outside/secret.txt>"},
        {"link to another seat's file", "<link:LVQ8.ini>"},
        {"link to a file not there yet", "<link:../outside/new.txt>"},
        {"link to a device", "<link:/dev/null>"},
        {"junction to a folder outside", "<junction:../outside>"},
        {"second name of another seat's file", "<hardlink:Data/LVQ8.ini>"},
    };
    for (const bool safely : {false, true}) {
        for (const auto &[name, before] : rows)
            QTest::addRow("%s, %s", safely ? "through a temporary" : "in place", name)
                << safely << before;
    }
}

// Anybody on the share can put these at a seat file's name: the write must
// land in a regular file of that name and nowhere else.
void TestExchangeFiles::writeNeverFollows()
{
    QFETCH(bool, safely);
    QFETCH(QByteArray, before);
    if (const char *reason = faults::cannotMake(before))
        QSKIP(reason);
    WorkingFolder folder;
    QVERIFY(folder.isValid() && QDir().mkdir(u"Data"_s) && QDir().mkdir(u"outside"_s));
    putFile(u"outside/secret.txt"_s, "secret");
    putFile(u"Data/LVQ8.ini"_s, "seat 8");
    const QString path = u"Data/LVQ7.ini"_s;
    if (faults::isMarker(before))
        QVERIFY(faults::plant(path, before));
    else
        putFile(path, before);

    const exchange::FileStatus status = write(safely ? Safely : InPlace, path, "new");
    QVERIFY2(status.ok, qPrintable(status.error));
    QVERIFY(faults::isPlainFile(path));
    QCOMPARE(readAll(path), QByteArray("new"));
    QCOMPARE(readAll(u"outside/secret.txt"_s), QByteArray("secret"));
    QCOMPARE(readAll(u"Data/LVQ8.ini"_s), QByteArray("seat 8"));
    QCOMPARE(entries(u"outside"_s), QStringList{u"secret.txt"_s});
    QCOMPARE(entries(u"Data"_s), (QStringList{u"LVQ7.ini"_s, u"LVQ8.ini"_s})); // no temporary
}

void TestExchangeFiles::writeFails_data()
{
    QTest::addColumn<int>("writer");
    QTest::addColumn<QString>("fault");

    QTest::newRow("folder missing, in place") << int(InPlace) << u"folder missing"_s;
    QTest::newRow("folder missing, through a temporary") << int(Safely) << u"folder missing"_s;
    QTest::newRow("folder missing, guarded") << int(Guarded) << u"folder missing"_s;
    QTest::newRow("folder in the way, in place") << int(InPlace) << u"folder in the way"_s;
    QTest::newRow("folder in the way, through a temporary")
        << int(Safely) << u"folder in the way"_s;
    // The seat files go into the folder Data itself, never where a link at
    // its name points (questionnaires and the record may be kept in a linked
    // folder on purpose).
    QTest::newRow("folder Data replaced by a link, in place")
        << int(InPlace) << u"<link:elsewhere>"_s;
    QTest::newRow("folder Data replaced by a junction, in place")
        << int(InPlace) << u"<junction:elsewhere>"_s;
    // elsewhere/LVQ1.ini is there to be written if the link were followed
    QTest::newRow("folder Data replaced by a link, guarded")
        << int(Guarded) << u"<link:elsewhere>"_s;
    QTest::newRow("folder Data replaced by a junction, guarded")
        << int(Guarded) << u"<junction:elsewhere>"_s;
}

void TestExchangeFiles::writeFails()
{
    QFETCH(int, writer);
    QFETCH(QString, fault);
    const bool dataLink = fault.startsWith(u'<');
    if (const char *reason = faults::cannotMake(fault.toLatin1()))
        QSKIP(reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Data/LVQ1.ini"_s);
    if (fault == u"folder in the way")
        QVERIFY(QDir().mkpath(path));
    const QString beyondLink = dir.filePath(u"elsewhere/LVQ1.ini"_s);
    if (dataLink) {
        QVERIFY(QDir().mkpath(dir.filePath(u"elsewhere"_s)));
        QVERIFY(faults::plant(dir.filePath(u"Data"_s), fault.toLatin1()));
        if (writer == Guarded)
            putFile(beyondLink, "elsewhere");
    }
    const exchange::FileStatus status = write(writer, path, "x");
    QVERIFY(!status.ok);
    QVERIFY(!status.error.isEmpty());
    QCOMPARE(QFileInfo(path).isDir(), fault == u"folder in the way");
    if (fault == u"folder in the way") {
        QCOMPARE(entries(path), QStringList());
        QCOMPARE(entries(dir.filePath(u"Data"_s)), QStringList{u"LVQ1.ini"_s}); // no temporary
    }
    if (dataLink) {
        QVERIFY(status.error.contains(u"Data"_s));
        if (writer == Guarded)
            QCOMPARE(readAll(beyondLink), QByteArray("elsewhere"));
        else
            QCOMPARE(entries(dir.filePath(u"elsewhere"_s)), QStringList());
    }
}

void TestExchangeFiles::guardedRewrite_data()
{
    QTest::addColumn<QByteArray>("before"); // contents, "<missing>" or a marker
    QTest::addColumn<bool>("accepts");      // what the caller's check answers
    QTest::addColumn<qint64>("readLimit");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QByteArray>("seen");  // what the check was given; "<not asked>"
    QTest::addColumn<QByteArray>("after"); // the file's contents after, for a plain file

    constexpr qint64 big = 1 << 20;
    QTest::newRow("accepted: cut and written")
        << QByteArray("0123456789") << true << big << u"written"_s << QByteArray("0123456789")
        << QByteArray("new");
    QTest::newRow("empty file accepted")
        << QByteArray() << true << big << u"written"_s << QByteArray() << QByteArray("new");
    QTest::newRow("refused: left as it is")
        << QByteArray("old contents") << false << big << u"not expected"_s
        << QByteArray("old contents") << QByteArray("old contents");
    QTest::newRow("the check is given no more than the limit")
        << QByteArray("0123456789") << true << qint64(4) << u"written"_s << QByteArray("0123")
        << QByteArray("new");
    // The write goes into the file judged: a file put at the name by a
    // rename once the check has run is not the one written.
    QTest::newRow("<replaced after the check>")
        << QByteArray("<replaced after the check>") << true << big << u"written"_s
        << QByteArray("judged") << QByteArray("put there later");
    // Nothing that is not this name's own regular file is judged or written,
    // and nothing is made where there was no file.
    const char *untouchable[] = {
        "<missing>",
        "<dir>",
        "<pipe>",
        "<socket>",
        "<link:../outside/secret.txt>",
        "<link:LVQ8.ini>",
        "<link:../outside/new.txt>",
        "<link:/dev/null>",
        "<junction:../outside>",
        "<hardlink:Data/LVQ8.ini>",
    };
    for (const char *marker : untouchable)
        QTest::newRow(marker) << QByteArray(marker) << true << big << u"not expected"_s
                              << QByteArray("<not asked>") << QByteArray(marker);
    // held by another PC that shares nothing: worth trying again later
    QTest::newRow("<held>") << QByteArray("<held>") << true << big << u"failed"_s
                            << QByteArray("<not asked>") << QByteArray();
}

// The lock a pupil's program puts in its command file must go only over the
// file it judged, and never anywhere else.
void TestExchangeFiles::guardedRewrite()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, accepts);
    QFETCH(qint64, readLimit);
    QFETCH(QString, outcome);
    QFETCH(QByteArray, seen);
    QFETCH(QByteArray, after);
    const bool replaced = before == "<replaced after the check>";
#ifdef Q_OS_WIN
    if (replaced)
        QSKIP("a file held open is not replaced by a rename on Windows");
#endif
    if (const char *reason = faults::cannotMake(before))
        QSKIP(reason);
    WorkingFolder folder;
    QVERIFY(folder.isValid() && QDir().mkdir(u"Data"_s) && QDir().mkdir(u"outside"_s));
    putFile(u"outside/secret.txt"_s, "secret");
    putFile(u"Data/LVQ8.ini"_s, "seat 8");
    const QString path = u"Data/LVQ7.ini"_s;
    if (before == "<held>")
        putFile(path, "held");
    if (faults::isMarker(before))
        QVERIFY(faults::plant(path, before));
    else if (replaced)
        putFile(path, "judged");
    else if (before != "<missing>")
        putFile(path, before);

    QByteArray given("<not asked>");
    const exchange::GuardedRewrite result = exchange::guardedRewrite(
        path, readLimit,
        [&](const QByteArray &bytes) {
            given = bytes;
            if (replaced)
                exchange::saveFileSafely(path, "put there later");
            return accepts;
        },
        "new");
    faults::releaseHeld();
    QCOMPARE(outcomeName(result.outcome), outcome);
    QCOMPARE(result.error.isEmpty(), outcome != u"failed");
    QCOMPARE(given, seen);
    if (!faults::isMarker(before))
        QCOMPARE(readAll(path), after);
    QCOMPARE(faults::isLink(path), before.startsWith("<link:") || before.startsWith("<junction:"));
    QCOMPARE(readAll(u"outside/secret.txt"_s), QByteArray("secret"));
    QCOMPARE(readAll(u"Data/LVQ8.ini"_s), QByteArray("seat 8"));
    QCOMPARE(entries(u"outside"_s), QStringList{u"secret.txt"_s});
}

// A file rewritten every 50 ms: the watch tells of it once the writes have
// been quiet for the settle time, or, if they never are, after the longest
// wait.
void TestExchangeFiles::changeWatchSettles_data()
{
    QTest::addColumn<int>("settleMs");
    QTest::addColumn<int>("maxWaitMs");
    QTest::addColumn<int>("writes");
    QTest::newRow("told once quiet") << 300 << 10'000 << 6;
    QTest::newRow("told during a burst that never settles") << 10'000 << 200 << 40;
}

void TestExchangeFiles::changeWatchSettles()
{
    QFETCH(int, settleMs);
    QFETCH(int, maxWaitMs);
    QFETCH(int, writes);
    QTemporaryDir dir;
    const QString file = dir.filePath(u"LVQ1.ini"_s);
    QVERIFY(exchange::writeWholeFile(file, "0"_ba).ok);
    exchange::ChangeWatch watch(settleMs, 0);
    watch.setMaxWait(maxWaitMs);
    QVERIFY(watch.watch({file}));
    QElapsedTimer clock;
    clock.start();
    qint64 lastWrite = 0;
    QList<qint64> afterWrite; // how long after the last write each notice came
    connect(&watch, &exchange::ChangeWatch::changed, this,
            [&] { afterWrite << clock.elapsed() - lastWrite; });
    for (int i = 0; i < writes; ++i) {
        lastWrite = clock.elapsed();
        QVERIFY(exchange::writeWholeFile(file, QByteArray::number(i)).ok);
        QTest::qWait(50);
    }
    if (maxWaitMs < settleMs)
        QVERIFY(!afterWrite.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!afterWrite.isEmpty(), 15'000);
    for (const qint64 gap : std::as_const(afterWrite)) {
        if (maxWaitMs > settleMs)
            QVERIFY2(gap >= settleMs, qPrintable(QString::number(gap)));
    }
}

// The runner's jobs run on threads of their own, all at once, while the
// caller's event loop goes on; jobs that outlast the slow mark tell that the
// share does not answer, and that it answers again once they end.
void TestExchangeFiles::shareRunner_data()
{
    QTest::addColumn<int>("jobMs");
    QTest::addColumn<QList<bool>>("told");
    QTest::newRow("quick") << 100 << QList<bool>{};
    QTest::newRow("past the slow mark")
        << exchange::BackgroundShareRunner::kSlowMs + 300 << QList<bool>{true, false};
}

void TestExchangeFiles::shareRunner()
{
    QFETCH(int, jobMs);
    QFETCH(QList<bool>, told);
    exchange::BackgroundShareRunner runner;
    QList<bool> stalls;
    connect(&runner, &exchange::BackgroundShareRunner::stalled, this,
            [&](bool notAnswering) { stalls << notAnswering; });
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] { ticks += runner.waiting(); });
    timer.start(5);

    constexpr int kJobs = 4;
    std::atomic<int> started = 0;
    std::atomic<int> together = 0;
    std::atomic<int> onCaller = 0;
    const Qt::HANDLE caller = QThread::currentThreadId();
    std::vector<std::function<void()>> jobs;
    for (int i = 0; i < kJobs; ++i) {
        jobs.emplace_back([&] {
            onCaller += QThread::currentThreadId() == caller;
            ++started;
            QElapsedTimer waited;
            waited.start();
            while (started < kJobs && waited.elapsed() < 5000)
                QThread::msleep(1);
            together += started == kJobs;
            QThread::msleep(jobMs);
        });
    }
    runner.runAll(jobs);
    QCOMPARE(onCaller.load(), 0);
    QCOMPARE(together.load(), kJobs);
    QVERIFY(ticks > 0);
    QCOMPARE(runner.waiting(), 0);
    QCOMPARE(stalls, told);
    QCOMPARE(runner.run([] { return 7; }), 7);
    // Asked from another thread, the work runs there.
    Qt::HANDLE asker = nullptr;
    Qt::HANDLE ranOn = nullptr;
    std::unique_ptr<QThread> other(QThread::create([&] {
        asker = QThread::currentThreadId();
        runner.run([&] { ranOn = QThread::currentThreadId(); });
    }));
    other->start();
    QVERIFY(other->wait(5000));
    QCOMPARE(ranOn, asker);
}

QTEST_GUILESS_MAIN(TestExchangeFiles)
#include "tst_exchangefiles.moc"
