#include "teacher/tally/AnswerRecord.h"
#include "teacher/tally/Collect.h"

#include "exchange/ExchangeFiles.h"

#include "SharedFolderFaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// Every test runs in a fresh working directory whose folder Data holds the 51
// answer files with 0, as a publication leaves them.
class TestTallyCollect : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void collect_data();
    void collect();
    void hugeGarbageFile();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
};

namespace {

using Files = QMap<int, QByteArray>;
using Seats = QMap<int, float>;

// content "<missing>" removes the file; the markers of SharedFolderFaults.h
// ("<dir>", "<pipe>", ...) put that in its place
void putAnswerFile(int seat, const QByteArray &content)
{
    const QString path = exchange::answerFilePath(seat);
    if (faults::isMarker(content)) {
        QVERIFY(faults::plant(path, content));
        return;
    }
    QFile::remove(path);
    if (content == "<missing>")
        return;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

} // namespace

void TestTallyCollect::init()
{
    m_previousDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid() && QDir::setCurrent(m_dir->path()) && QDir().mkdir(u"Data"_s));
    for (int seat = 0; seat <= exchange::kStudentsMax; ++seat)
        putAnswerFile(seat, " 0 \r\n");
    // a file outside Data for the links of the fault rows
    QFile outside(u"outside.txt"_s);
    QVERIFY(outside.open(QIODevice::WriteOnly) && outside.write(" 4 \r\n") == 5);
}

void TestTallyCollect::cleanup()
{
    faults::releaseHeld();
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

void TestTallyCollect::collect_data()
{
    // files: seat -> content for the seats not holding 0; previous: seatAnswer
    // before the poll; seats: seatAnswer after it and the history cell it gives.
    QTest::addColumn<Files>("files");
    QTest::addColumn<Seats>("previous");
    QTest::addColumn<QList<float>>("answerCount");
    QTest::addColumn<int>("lvqSum");
    QTest::addColumn<Seats>("seats");
    QTest::addColumn<QList<int>>("history");  // cells of the seats above, in seat order
    QTest::addColumn<QList<int>>("answered"); // pupils' seats counted in "回答 n人"

    QTest::newRow("all files hold 0") << Files{} << Seats{{4, 3}} << QList<float>{0, 0, 0, 0, 0}
                                      << 0 << Seats{{4, 0}} << QList<int>{0} << QList<int>{};
    QTest::newRow("seats 5 and 9 hold 2")
        << Files{{5, " 2 \r\n"}, {9, " 2 \r\n"}} << Seats{} << QList<float>{0, 2, 0, 0, 0} << 2
        << Seats{{5, 2}, {9, 2}} << QList<int>{2, 2} << QList<int>{5, 9};
    QTest::newRow("7, -1 and 2.5 count nowhere, and 2.5 is no answer 2 in the record")
        << Files{{1, " 7 \r\n"}, {2, "-1 \r\n"}, {3, " 2.5 \r\n"}} << Seats{}
        << QList<float>{0, 0, 0, 0, 0} << 0 << Seats{{1, 7}, {2, -1}, {3, 2.5}}
        << QList<int>{7, -1, 0} << QList<int>{};
    QTest::newRow("every answer, seat 0 and 50 too")
        << Files{{0, " 1 \r\n"}, {2, " 2 \r\n"}, {3, " 3 \r\n"},
                 {4, " 4 \r\n"}, {5, " 5"},      {50, " 5 \r\n"}}
        << Seats{} << QList<float>{1, 1, 1, 1, 2} << 6 << Seats{{0, 1}, {50, 5}} << QList<int>{1, 5}
        << QList<int>{2, 3, 4, 5, 50};
    QTest::newRow("missing file keeps the previous answer")
        << Files{{6, "<missing>"}} << Seats{{6, 3}} << QList<float>{0, 0, 1, 0, 0} << 1
        << Seats{{6, 3}} << QList<int>{3} << QList<int>{6};
    QTest::newRow("empty file keeps the previous answer")
        << Files{{6, ""}} << Seats{{6, 4}} << QList<float>{0, 0, 0, 1, 0} << 1 << Seats{{6, 4}}
        << QList<int>{4} << QList<int>{6};
    QTest::newRow("file cut before its digits keeps the previous answer")
        << Files{{6, " "}} << Seats{{6, 4}} << QList<float>{0, 0, 0, 1, 0} << 1 << Seats{{6, 4}}
        << QList<int>{4} << QList<int>{6};
    // 0x82 0x20 is no code page 932 pair, 0x80 no character: the field is not a number
    QTest::newRow("invalid code page 932 bytes read as no answer")
        << Files{{6, QByteArray::fromHex("82208041") + "\r\n"}} << Seats{{6, 2}}
        << QList<float>{0, 0, 0, 0, 0} << 0 << Seats{{6, 0}} << QList<int>{0} << QList<int>{};
    QTest::newRow("directory keeps the previous answer")
        << Files{{6, "<dir>"}} << Seats{{6, 1}} << QList<float>{1, 0, 0, 0, 0} << 1 << Seats{{6, 1}}
        << QList<int>{1} << QList<int>{6};
    // A pipe would hold a blocking open for good: the poll must not wait on it.
    QTest::newRow("pipe keeps the previous answer")
        << Files{{6, "<pipe>"}} << Seats{{6, 3}} << QList<float>{0, 0, 1, 0, 0} << 1
        << Seats{{6, 3}} << QList<int>{3} << QList<int>{6};
    QTest::newRow("socket keeps the previous answer")
        << Files{{6, "<socket>"}} << Seats{{6, 2}} << QList<float>{0, 1, 0, 0, 0} << 1
        << Seats{{6, 2}} << QList<int>{2} << QList<int>{6};
    QTest::newRow("junction keeps the previous answer")
        << Files{{6, "<junction:..>"}} << Seats{{6, 2}} << QList<float>{0, 1, 0, 0, 0} << 1
        << Seats{{6, 2}} << QList<int>{2} << QList<int>{6};
    // Another PC in the middle of writing the file, sharing nothing: busy,
    // read again at the next poll.
    QTest::newRow("file held without sharing keeps the previous answer")
        << Files{{6, "<held>"}} << Seats{{6, 3}} << QList<float>{0, 0, 1, 0, 0} << 1
        << Seats{{6, 3}} << QList<int>{3} << QList<int>{6};
    QTest::newRow("link to a device keeps the previous answer")
        << Files{{6, "<link:/dev/zero>"}} << Seats{{6, 5}} << QList<float>{0, 0, 0, 0, 1} << 1
        << Seats{{6, 5}} << QList<int>{5} << QList<int>{6};
    // Reading through a link reaches nothing it should not: what is read is
    // counted like any other file's contents.
    QTest::newRow("link to a file outside is read")
        << Files{{6, "<link:../outside.txt>"}} << Seats{} << QList<float>{0, 0, 0, 1, 0} << 1
        << Seats{{6, 4}} << QList<int>{4} << QList<int>{6};
    QTest::newRow("link to another seat's file reads that seat's answer")
        << Files{{5, " 2 \r\n"}, {6, "<link:LVQ5.txt>"}} << Seats{} << QList<float>{0, 2, 0, 0, 0}
        << 2 << Seats{{5, 2}, {6, 2}} << QList<int>{2, 2} << QList<int>{5, 6};
}

void TestTallyCollect::collect()
{
    QFETCH(Files, files);
    QFETCH(Seats, previous);
    QFETCH(QList<float>, answerCount);
    QFETCH(int, lvqSum);
    QFETCH(Seats, seats);
    QFETCH(QList<int>, history);
    QFETCH(QList<int>, answered);

    for (const QByteArray &content : files) {
        if (const char *reason = faults::cannotMake(content))
            QSKIP(reason);
    }
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        putAnswerFile(it.key(), it.value());
    tally::Tally tally;
    tally.answerCount = {9, 9, 9, 9, 9}; // stale counts of an earlier poll
    tally.lvqSum = 45;
    for (auto it = previous.cbegin(); it != previous.cend(); ++it)
        tally.seatAnswer[it.key()] = it.value();

    tally::collectAnswers(tally, exchange::kStudentsMax);
    tally::AnswerHistory answers;
    answers.store({7, false, 8, {}, {}}, tally.seatAnswer, exchange::kStudentsMax);

    QCOMPARE(QList<float>(tally.answerCount.begin(), tally.answerCount.end()), answerCount);
    QCOMPARE(tally.lvqSum, lvqSum);
    QList<int> cells;
    for (auto it = seats.cbegin(); it != seats.cend(); ++it) {
        QCOMPARE(tally.seatAnswer[it.key()], it.value());
        cells << answers.cell(it.key(), 0);
    }
    QCOMPARE(cells, history);

    const tally::AnsweredSeats seatsIn = tally::answeredSeats(tally, exchange::kStudentsMax);
    QList<int> answeredList;
    for (int seat = 0; seat < tally::kHistorySeats; ++seat) {
        if (seatsIn.seat[seat])
            answeredList << seat;
    }
    QCOMPARE(answeredList, answered);
    QCOMPARE(seatsIn.count, answered.size());
}

void TestTallyCollect::hugeGarbageFile()
{
    // A runaway writer or a stray file must not stall the poll: only the head
    // of a file is read.
    constexpr qsizetype tenMegabytes = 10 * 1024 * 1024;
    putAnswerFile(8, QByteArray(tenMegabytes, '\x9f'));
    putAnswerFile(9, " 4 \r\n" + QByteArray(tenMegabytes, 'Z'));

    tally::Tally tally;
    tally.seatAnswer[8] = 2;
    // How long a tick takes is the lesson benchmark's business; here only the
    // answers read from the heads count.
    tally::collectAnswers(tally, exchange::kStudentsMax);
    QCOMPARE(tally.seatAnswer[8], 0.0f);
    QCOMPARE(tally.seatAnswer[9], 4.0f);
    QCOMPARE(tally.lvqSum, 1);
}

QTEST_GUILESS_MAIN(TestTallyCollect)
#include "tst_tallycollect.moc"
