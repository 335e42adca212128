#include "teacher/tally/AnswerRecord.h"

#include "exchange/Cp932.h"

#include <QTest>

using namespace Qt::StringLiterals;
using tally::AnswerHistory;

namespace {

// " n " as the record writes a number; "-n " for a negative one.
QByteArray numberForm(int value)
{
    return (value < 0 ? "" : " ") + QByteArray::number(value) + ' ';
}

} // namespace

class TestAnswerRecord : public QObject
{
    Q_OBJECT

private slots:
    void record_data();
    void record();
    void recordBytes();
    void results();
};

void TestAnswerRecord::record_data()
{
    // stores: "question number [rN] seat=value seat=value ..." (other seats
    // hold 0), a question standing for one question key, each store a round
    // of its own unless rN names one; header: the numbers over
    // the recorded columns; cells: seat -> its cells for the seats whose
    // cells are not all 0.
    QTest::addColumn<QStringList>("stores");
    QTest::addColumn<QList<int>>("header");
    QTest::addColumn<QMap<int, QList<int>>>("cells");

    using Cells = QMap<int, QList<int>>;
    QTest::newRow("ad-hoc lesson of three questions")
        << QStringList{u"0 1 3=2 5=1"_s, u"1 2 3=1"_s, u"2 3 3=2 7=4"_s} << QList<int>{1, 2, 3}
        << Cells{{3, {2, 1, 2}}, {5, {1, 0, 0}}, {7, {0, 0, 4}}};
    QTest::newRow("questionnaire walked with つぎへ")
        << QStringList{u"1 1 1=1 50=2"_s, u"2 2 1=2"_s, u"3 3 1=3 50=1"_s} << QList<int>{1, 2, 3}
        << Cells{{1, {1, 2, 3}}, {50, {2, 0, 1}}};
    QTest::newRow("question collected again writes its own column only")
        << QStringList{u"1 1 3=1 4=1"_s, u"2 2 3=2"_s, u"1 1 3=3"_s} << QList<int>{1, 2}
        << Cells{{3, {3, 2}}, {4, {1, 0}}};
    QTest::newRow("rounds: an answer replaces, nothing else replaces an answer")
        << QStringList{u"1 1 3=2 4=1 5=7 6=4"_s, u"1 1 3=0 4=3 5=0 6=2.5"_s, u"1 1 5=2.5 6=-1"_s}
        << QList<int>{1} << Cells{{3, {2}}, {4, {3}}, {5, {2}}, {6, {4}}};
    QTest::newRow("within a round the latest reading counts, else an earlier answer")
        << QStringList{u"1 1 r1 3=2 4=2 5=3"_s, u"1 1 r2 3=4 4=4"_s, u"1 1 r2 3=0 4=5"_s}
        << QList<int>{1} << Cells{{3, {2}}, {4, {5}}, {5, {3}}};
    QTest::newRow("columns in the order first collected, same numbers kept apart")
        << QStringList{u"9 1 2=1"_s, u"4 2 2=2"_s, u"12 1 2=3"_s, u"9 1 2=4"_s}
        << QList<int>{1, 2, 1} << Cells{{2, {4, 2, 3}}};
    QTest::newRow("more than 32 columns") <<
        [] {
            QStringList stores;
            for (int q = 0; q < 40; ++q)
                stores << QString::number(q) + u' ' + QString::number(q + 1) + u" 1=1"_s;
            return stores;
        }() <<
        [] {
            QList<int> numbers;
            for (int q = 1; q <= 40; ++q)
                numbers << q;
            return numbers;
        }() << Cells{{1, QList<int>(40, 1)}};
    QTest::newRow("nothing collected") << QStringList{} << QList<int>{} << Cells{};
    QTest::newRow("negative, rounded half to even, clamped, NaN; seat 0 not written")
        << QStringList{u"0 1 0=3 2=-1 3=2.5 4=40000 5=-inf 6=nan 7=3.7 8=1.5"_s} << QList<int>{1}
        << Cells{{2, {-1}}, {3, {2}}, {4, {32767}}, {5, {-32768}}, {6, {0}}, {7, {4}}, {8, {2}}};
}

void TestAnswerRecord::record()
{
    QFETCH(QStringList, stores);
    QFETCH(QList<int>, header);
    using Cells = QMap<int, QList<int>>;
    QFETCH(Cells, cells);

    AnswerHistory history;
    for (int i = 0; i < stores.size(); ++i) {
        const QStringList parts = stores[i].split(u' ');
        std::array<float, tally::kHistorySeats> seatAnswer{};
        int round = i;
        for (const QString &entry : parts.mid(2)) {
            if (entry.startsWith(u'r'))
                round = 100 + entry.mid(1).toInt();
            else
                seatAnswer[entry.section(u'=', 0, 0).toInt()] = entry.section(u'=', 1).toFloat();
        }
        history.store({0, parts[0].toInt(), false}, parts[1].toInt(), seatAnswer, 50, {}, round);
    }

    QByteArray expected = QByteArray::fromHex("8f6f90c894d48d86"); // 出席番号
    for (const int number : header)
        expected += ',' + numberForm(number);
    expected += "\r\n";
    for (int seat = 1; seat <= 50; ++seat) {
        expected += numberForm(seat) + QByteArray::fromHex("94d4") + ' '; // 番
        for (const int value : cells.value(seat, QList<int>(header.size(), 0)))
            expected += ',' + numberForm(value);
        expected += "\r\n";
    }
    QCOMPARE(tally::answerRecordBytes(history, 50), expected);
}

void TestAnswerRecord::recordBytes()
{
    AnswerHistory history;
    std::array<float, tally::kHistorySeats> seatAnswer{};
    seatAnswer[3] = 2;
    QVERIFY(history.store({0, 0, true}, 1, seatAnswer, 50));
    QVERIFY(history.store({0, 1, true}, 2, {}, 50));
    // The same answers again change nothing: the running copy is not rewritten.
    QVERIFY(!history.store({0, 0, true}, 1, seatAnswer, 50));
    // Outside the table: nothing.
    QCOMPARE(history.cell(3, 2) + history.cell(52, 0) + history.questionNumber(2), 0);
    QCOMPARE(history.texts(2), tally::QuestionTexts{});

    const QList<QByteArray> lines = tally::answerRecordBytes(history, 3).split('\n');
    QCOMPARE(lines.size(), 5); // header, seats 1 to 3, nothing after the last CR LF
    // 出席番号, 1 , 2 CR
    QCOMPARE(lines[0], QByteArray::fromHex("8f6f90c894d48d86 2c2031202c2032200d"));
    //  3 番 , 2 , 0 CR
    QCOMPARE(lines[3], QByteArray::fromHex("20332094d420 2c2032202c2030200d"));
}

// Kekka.csv: texts as collected, counts of the record's answers 1 to 5 of
// seats 1 to 50, cells with a comma or a quote quoted.
void TestAnswerRecord::results()
{
    AnswerHistory history;
    std::array<float, tally::kHistorySeats> seatAnswer{};
    seatAnswer[1] = 1;
    seatAnswer[2] = 3;
    seatAnswer[3] = 3;
    seatAnswer[4] = 2.5f; // the record holds 2
    seatAnswer[0] = 1;    // no pupil's seat: not in the record
    history.store({0, 0, true}, 1, seatAnswer, 50,
                  {u""_s, u"はい"_s, u"いいえ"_s, u"どちらでもない"_s});
    history.store({1, 1, false}, 2, {}, 50,
                  {u"赤, 青, \"黄\"のどれ？"_s, u"赤"_s, u"青"_s, u"黄"_s, u""_s, u""_s});
    QCOMPARE(
        tally::resultsBytes(history, 50),
        QByteArray::fromHex("94d48d86") + // 番号
            exchange::encodeCp932(
                u",質問,答え1,答え2,答え3,答え4,答え5,人数1,人数2,人数3,人数4,人数5,回答人数\r\n"
                u" 1 ,,はい,いいえ,どちらでもない,,,1,1,2,0,0,4\r\n"
                u" 2 ,\"赤, 青, \"\"黄\"\"のどれ？\",赤,青,黄,,,0,0,0,0,0,0\r\n"_s));
}

QTEST_APPLESS_MAIN(TestAnswerRecord)
#include "tst_answerrecord.moc"
