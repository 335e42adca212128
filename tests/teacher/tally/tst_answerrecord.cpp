#include "teacher/tally/AnswerRecord.h"
#include "teacher/tally/LessonReport.h"
#include "teacher/tally/ReportBars.h"

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
    void votes();
    void formulaCells_data();
    void formulaCells();
    void roundedPercent_data();
    void roundedPercent();
    void lessonReport();
    void reportBars_data();
    void reportBars();
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
        << QList<int>{1} << Cells{{3, {2}}, {4, {3}}, {6, {4}}};
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
    QTest::newRow("negative, rounded half to even, clamped, NaN; no fraction an answer")
        << QStringList{u"0 1 0=3 2=-1 3=2.5 4=40000 5=-inf 6=nan 7=3.7 8=1.5 9=6.5 10=0.5 11=6.7"_s}
        << QList<int>{1} << Cells{{2, {-1}}, {4, {32767}}, {5, {-32768}}, {9, {6}}, {11, {7}}};
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
        history.store({parts[0].toInt(), false, parts[1].toInt(), {}, {}}, seatAnswer, 50, round);
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
    QVERIFY(history.store({0, true, 1, {}, {}}, seatAnswer, 50));
    QVERIFY(history.store({1, true, 2, {}, {}}, {}, 50));
    // The same answers again change nothing: the running copy is not rewritten.
    QVERIFY(!history.store({0, true, 1, {}, {}}, seatAnswer, 50));
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
    seatAnswer[4] = 2.5f; // no answer: the record holds 0
    seatAnswer[0] = 1;    // no pupil's seat: not in the record
    seatAnswer[50] = 2;   // the last seat is
    history.store({0, true, 1, {u""_s, u"はい"_s, u"いいえ"_s, u"どちらでもない"_s}, {3, 1}},
                  seatAnswer, 50);
    history.store({1,
                   false,
                   2,
                   {u"赤, 青, \"黄\"のどれ？"_s, u"赤"_s, u"青"_s, u"黄"_s, u""_s, u""_s},
                   {3, 1}},
                  {}, 50);
    seatAnswer[1] = 2;
    history.store({2, false, 3, {u"Q"_s, u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s}, {5, 5}},
                  seatAnswer, 50);
    QCOMPARE(tally::resultsBytes(history, 50),
             QByteArray::fromHex("94d48d86") + // 番号
                 exchange::encodeCp932(
                     u",質問,答え1,答え2,答え3,答え4,答え5,人数1,人数2,人数3,人数4,人数5,回答人数,"
                     u"正解,正答率\r\n"
                     u" 1 ,,はい,いいえ,どちらでもない,,,1,1,2,0,0,4,1,25\r\n"
                     u" 2 ,\"赤, 青, \"\"黄\"\"のどれ？\",赤,青,黄,,,0,0,0,0,0,0,1,\r\n"
                     u" 3 ,Q,A,B,C,D,E,0,2,2,0,0,4,5,0\r\n"_s));
}

// Every vote on a question has its own column right after the question's
// earlier votes, headed with the vote in both files; a later vote replaces
// no earlier answer.
void TestAnswerRecord::votes()
{
    AnswerHistory history;
    int round = 0;
    auto store = [&history, &round](int question, int vote, int seat, float answer) {
        std::array<float, tally::kHistorySeats> seatAnswer{};
        seatAnswer[seat] = answer;
        tally::AskedQuestion asked{question, false, question + 1, {u"Q"_s, u"A"_s, u"B"_s}, {2, 0}};
        asked.vote = vote;
        history.store(asked, seatAnswer, 3, ++round);
        return asked;
    };
    const tally::AskedQuestion first = store(0, 1, 3, 1);
    store(1, 1, 3, 2);
    store(0, 2, 3, 2);
    store(0, 3, 2, 1);
    store(1, 2, 2, 2);
    store(0, 1, 1, 2); // the first vote still takes answers
    QCOMPARE(history.latestVote(first), 3);
    QCOMPARE(history.latestVote({5, false, 6, {}, {}}), 0);
    QCOMPARE(QList<int>({history.vote(0), history.vote(1), history.vote(-1), history.vote(5)}),
             QList<int>({1, 2, 0, 0}));

    const QList<QByteArray> record = tally::answerRecordBytes(history, 3).split('\n');
    QCOMPARE(record[0],
             exchange::encodeCp932(u"出席番号, 1 , 1(2回目) , 1(3回目) , 2 , 2(2回目) \r"_s));
    QCOMPARE(record[1], exchange::encodeCp932(u" 1 番 , 2 , 0 , 0 , 0 , 0 \r"_s));
    QCOMPARE(record[2], exchange::encodeCp932(u" 2 番 , 0 , 0 , 1 , 0 , 2 \r"_s));
    QCOMPARE(record[3], exchange::encodeCp932(u" 3 番 , 1 , 2 , 0 , 2 , 0 \r"_s));
    const QList<QByteArray> results = tally::resultsBytes(history, 3).split('\n');
    QCOMPARE(results[2], exchange::encodeCp932(u" 1(2回目) ,Q,A,B,,,,0,1,0,0,0,1,,\r"_s));
}

// A question or label text from a questionnaire on the share reaches the
// results as text, never as a formula the spreadsheet runs; numbers stay
// numbers.
void TestAnswerRecord::formulaCells_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("=") << u"=1+2"_s << QByteArray("'=1+2");
    QTest::newRow("@") << u"@SUM(9)"_s << QByteArray("'@SUM(9)");
    QTest::newRow("+ of a phone number") << u"+81 3"_s << QByteArray("'+81 3");
    QTest::newRow("- of a sum") << u"-2+3"_s << QByteArray("'-2+3");
    QTest::newRow("after blanks") << u"  =1"_s << QByteArray("'  =1");
    QTest::newRow("tab") << u"\tA"_s << QByteArray("'\tA");
    QTest::newRow("carriage return, quoted") << u"\r=1"_s << QByteArray("\"'\r=1\"");
    QTest::newRow("comma and quotes, quoted") << u"=\"a\",1"_s << QByteArray("\"'=\"\"a\"\",1\"");
    QTest::newRow("full-width = + after an ideographic space")
        << u"　＝１＋２"_s << QByteArray::fromHex("27 8140 8181 8250 817b 8251");
    QTest::newRow("full-width @") << u"＠ＳＵＭ"_s << QByteArray::fromHex("27 8197 8272 8274 826c");
    QTest::newRow("full-width -") << u"－５"_s << QByteArray::fromHex("27 817c 8254");
    QTest::newRow("minus sign, written as the full-width -")
        << u"\u2212cmd"_s << QByteArray::fromHex("27 817c 636d64");
    QTest::newRow("negative number") << u"-1"_s << QByteArray("-1");
    QTest::newRow("signed number") << u"+3"_s << QByteArray("+3");
    QTest::newRow("negative fraction") << u"-0.5"_s << QByteArray("-0.5");
    QTest::newRow("blanks only") << u"  "_s << QByteArray("  ");
}

void TestAnswerRecord::formulaCells()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, cell);
    AnswerHistory history;
    history.store({0, true, 1, {text, text}, {}}, {}, 50);
    // Header, then the question and its first label.
    QCOMPARE(tally::resultsBytes(history, 50).split('\n').value(1),
             " 1 ," + cell + ',' + cell + ",,,,,0,0,0,0,0,0,,\r");
}

void TestAnswerRecord::roundedPercent_data()
{
    QTest::addColumn<int>("part");
    QTest::addColumn<int>("whole");
    QTest::addColumn<int>("percent"); // -1: none
    QTest::newRow("a half rounds up") << 1 << 8 << 13;
    QTest::newRow("below a half") << 1 << 3 << 33;
    QTest::newRow("above a half") << 2 << 3 << 67;
    QTest::newRow("all") << 7 << 7 << 100;
    QTest::newRow("none of them") << 0 << 5 << 0;
    QTest::newRow("nobody answered") << 0 << 0 << -1;
}

void TestAnswerRecord::roundedPercent()
{
    QFETCH(int, part);
    QFETCH(int, whole);
    QFETCH(int, percent);
    QCOMPARE(tally::roundedPercent(part, whole).value_or(-1), percent);
    if (percent >= 0) {
        QCOMPARE(tally::correctCaption(part, whole), u"正答 %1人（%2%）"_s.arg(part).arg(percent));
    } else {
        QCOMPARE(tally::correctCaption(part, whole), u"正答 0人"_s);
    }
}

// The report: questions in the record's order with their shares, pupils who
// answered anything, and each seat's correct answers over the marked ones.
void TestAnswerRecord::lessonReport()
{
    AnswerHistory history;
    std::array<float, tally::kHistorySeats> seatAnswer{};
    seatAnswer[1] = 2;
    seatAnswer[2] = 2;
    seatAnswer[3] = 1;
    seatAnswer[50] = 7; // no answer
    history.store({0, false, 1, {u"Q1"_s, u"A"_s, u"B"_s}, {2, 1}}, seatAnswer, 50);
    seatAnswer = {};
    seatAnswer[1] = 3;
    seatAnswer[4] = 4;
    history.store({1, false, 2, {u"Q2"_s, u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"left over"_s}, {4, 4}},
                  seatAnswer, 50);
    // An ad-hoc question whose answer count the record does not know.
    history.store({0, true, 1, {u""_s, u"1"_s, u"2"_s, u"3"_s}, {}}, {}, 50);

    const tally::LessonReport report =
        tally::makeLessonReport(history, 50, QDate(2026, 12, 7), u"/c"_s);
    QCOMPARE(report.pupils, 4);
    QVERIFY(report.answeredAny[4] && !report.answeredAny[5] && !report.answeredAny[50]);
    QCOMPARE(report.markedQuestions, 2);
    QCOMPARE(report.questions.size(), 3);
    const tally::ReportQuestion &first = report.questions[0];
    QCOMPARE(first.counts, (std::array<int, 5>{1, 2, 0, 0, 0}));
    QCOMPARE(first.answered, 3);
    QCOMPARE(first.percents[0].value_or(-1), 33);
    QCOMPARE(first.correctPercent.value_or(-1), 33);
    QCOMPARE(report.questions[1].answers, 4);
    QCOMPARE(report.questions[1].correctPercent.value_or(-1), 50);
    QCOMPARE(report.questions[2].answers, 3);
    QCOMPARE(report.questions[2].correct, 0);
    QVERIFY(!report.questions[2].correctPercent);
    QVERIFY(!report.questions[2].percents[0]);
    QCOMPARE((QList<int>{report.correctBySeat[1], report.correctBySeat[2], report.correctBySeat[3],
                         report.correctBySeat[4]}),
             (QList<int>{0, 0, 1, 1}));
    QCOMPARE(tally::reportFileName(report.date), u"授業のまとめ_2026-12-07.pdf"_s);

    // Q1 voted on twice more: seat 1 changes to the correct answer, seat 2
    // sits the second vote out and keeps its earlier answer, seat 3 changes
    // away from it. The question still counts once.
    tally::AskedQuestion again{0, false, 1, {u"Q1"_s, u"A"_s, u"B"_s}, {2, 1}};
    for (const int vote : {2, 3}) {
        again.vote = vote;
        seatAnswer = {};
        seatAnswer[1] = vote == 2 ? 1 : 0;
        seatAnswer[3] = vote == 3 ? 2 : 0;
        history.store(again, seatAnswer, 50, vote);
    }
    const tally::LessonReport voted = tally::makeLessonReport(history, 50, {}, {});
    QCOMPARE(voted.questions.size(), 5);
    QCOMPARE(voted.markedQuestions, 2);
    QCOMPARE(voted.questions[2].vote, 3);
    QCOMPARE(voted.questions[2].earlierCounts.value_or(std::array<int, 5>{}),
             (std::array<int, 5>{1, 0, 0, 0, 0}));
    QVERIFY(!voted.questions[0].earlierCounts);
    QCOMPARE((QList<int>{voted.correctBySeat[1], voted.correctBySeat[2], voted.correctBySeat[3]}),
             (QList<int>{1, 0, 0}));
    QCOMPARE(tally::makeLessonReport(history, 99, {}, {}).studentsMax, 51); // the seats held
}

// The printed bars: the question's largest count fills the width, whatever
// the class size; count and share beside each.
void TestAnswerRecord::reportBars_data()
{
    QTest::addColumn<QList<int>>("counts"); // of the answers offered
    QTest::addColumn<QList<double>>("lengths");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QList<int>>("earlier"); // the vote before's counts, if any
    QTest::addColumn<QList<double>>("earlierLengths");
    QTest::newRow("a second vote on one scale with the first")
        << QList<int>{3, 1, 0} << QList<double>{0.75, 0.25, 0.0}
        << QStringList{u"3人（75%） 前回 1人 +2"_s, u"1人（25%） 前回 4人 -3"_s,
                       u"0人（0%） 前回 0人 ±0"_s}
        << QList<int>{1, 4, 0} << QList<double>{0.25, 1.0, 0.0};
    QTest::newRow("two of a class of fifty")
        << QList<int>{1, 2} << QList<double>{0.5, 1.0}
        << QStringList{u"1人（33%）"_s, u"2人（67%）"_s} << QList<int>{} << QList<double>{};
    QTest::newRow("largest not first, a zero, a tie")
        << QList<int>{1, 4, 0, 4, 3} << QList<double>{0.25, 1.0, 0.0, 1.0, 0.75}
        << QStringList{u"1人（8%）"_s, u"4人（33%）"_s, u"0人（0%）"_s, u"4人（33%）"_s,
                       u"3人（25%）"_s}
        << QList<int>{} << QList<double>{};
    QTest::newRow("nobody answered") << QList<int>{0, 0, 0} << QList<double>{0.0, 0.0, 0.0}
                                     << QStringList{u"0人（－）"_s, u"0人（－）"_s, u"0人（－）"_s}
                                     << QList<int>{} << QList<double>{};
}

void TestAnswerRecord::reportBars()
{
    QFETCH(QList<int>, counts);
    QFETCH(QList<double>, lengths);
    QFETCH(QStringList, captions);
    QFETCH(QList<int>, earlier);
    QFETCH(QList<double>, earlierLengths);
    tally::ReportQuestion question;
    if (!earlier.isEmpty()) {
        question.earlierCounts.emplace();
        std::copy(earlier.begin(), earlier.end(), question.earlierCounts->begin());
    }
    question.answers = int(counts.size());
    for (int a = 0; a < counts.size(); ++a)
        question.answered += question.counts[a] = counts[a];
    for (int a = 0; a < tally::kBars; ++a)
        question.percents[a] = tally::roundedPercent(question.counts[a], question.answered);
    question.counts[4] = counts.size() < 5 ? 9 : counts[4]; // beyond the answers: not counted
    const std::array<tally::ReportBar, tally::kBars> bars = tally::reportBars(question);
    for (int a = 0; a < tally::kBars; ++a) {
        QCOMPARE(bars[a].length, lengths.value(a));
        QCOMPARE(bars[a].caption, captions.value(a));
        QCOMPARE(bars[a].earlierLength.value_or(-1), earlierLengths.value(a, -1));
    }
}

QTEST_APPLESS_MAIN(TestAnswerRecord)
#include "tst_answerrecord.moc"
