#include "PrivateSettings.h"
#include "teacher/roster/ClassList.h"
#include "teacher/roster/NamedRecord.h"

#include "exchange/Cp932.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// "seat=name" for every seat with a name.
QStringList named(const roster::ClassList &list)
{
    QStringList seats;
    for (int seat = 0; seat <= exchange::kStudentsMax + 1; ++seat) {
        if (!list.name(seat).isEmpty())
            seats << QString::number(seat) + u'=' + list.name(seat);
    }
    return seats;
}

} // namespace

class TestClassList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { usePrivateSettings(); }
    void read_data();
    void read();
    void load_data();
    void load();
    void rememberedPath();
    void namedRecord();
};

void TestClassList::read_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");
    // The start of each problem: the line it names.
    QTest::addColumn<QStringList>("problems");
    QTest::newRow("commas, header, blank lines")
        << u"出席番号,名前\r\n1,山田 太郎\r\n\r\n  \r\n2, 佐藤 花子 \r\n"_s
        << QStringList{u"1=山田 太郎"_s, u"2=佐藤 花子"_s} << QStringList{};
    QTest::newRow("tabs, lone LF and CR, no header")
        << u"3\t鈴木\n50\t田中\r4\t高橋"_s << QStringList{u"3=鈴木"_s, u"4=高橋"_s, u"50=田中"_s}
        << QStringList{};
    QTest::newRow("tab line keeps a comma in the name")
        << u"1\t山田, 太郎"_s << QStringList{u"1=山田, 太郎"_s} << QStringList{};
    QTest::newRow("quoted names, doubled quote, further fields ignored")
        << u"1,\"佐藤, 花子\",さとう\n2, \"a\"\"b\" ,x\n3,\"未完"_s
        << QStringList{u"1=佐藤, 花子"_s, u"2=a\"b"_s, u"3=未完"_s} << QStringList{};
    QTest::newRow("full-width digits, 番, ideographic spaces")
        << u"１９番,　木村　\n07 番,林"_s << QStringList{u"7=林"_s, u"19=木村"_s} << QStringList{};
    QTest::newRow("bad lines named, the others kept")
        << u"番号,名前\n1,山田\nabc,佐藤\n0,鈴木\n51,田中\n2,\n1,高橋\n3\n4,森\n1234567,x\n-1,y\n99999999999,z\n000050,w\n１Ａ,v"_s
        << QStringList{u"1=山田"_s, u"4=森"_s, u"50=w"_s}
        << QStringList{u"3行目：出席番号がありません（abc）"_s,
                       u"4行目：出席番号 0 は"_s,
                       u"5行目：出席番号 51 は"_s,
                       u"6行目：2番の名前がありません"_s,
                       u"7行目：1番は 2行目にもあります"_s,
                       u"8行目：3番の名前"_s,
                       u"10行目：出席番号 1234567 は"_s,
                       u"11行目：出席番号がありません"_s,
                       u"12行目：出席番号 99999999999 は"_s,
                       u"14行目：出席番号がありません（１Ａ）"_s};
    QTest::newRow("a quote inside a name, a doubled quote last, seat 0 first, full-width 0")
        << u"0,x\n１０,山\"田\n2,\"a\"\"\""_s << QStringList{u"2=a\""_s, u"10=山\"田"_s}
        << QStringList{u"1行目：出席番号 0 は"_s};
    QTest::newRow("only the first line may be a header")
        << u"\n1,山田\n名前,佐藤"_s << QStringList{u"1=山田"_s}
        << QStringList{u"3行目：出席番号がありません（名前）"_s};
    QTest::newRow("a name beyond code page 932 is kept and told")
        << u"1,𠮷田\n2,髙橋"_s << QStringList{u"1=𠮷田"_s, u"2=髙橋"_s}
        << QStringList{u"1行目：「𠮷」は"_s};
    QTest::newRow("empty") << QString() << QStringList{} << QStringList{};
}

void TestClassList::read()
{
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    QFETCH(QStringList, problems);
    const roster::ClassListReading reading = roster::readClassList(text);
    QCOMPARE(named(reading.list), names);
    QCOMPARE(reading.list.size(), names.size());
    QCOMPARE(reading.list.isEmpty(), names.isEmpty());
    QCOMPARE(reading.problems.size(), problems.size());
    for (int i = 0; i < problems.size(); ++i)
        QVERIFY2(reading.problems[i].startsWith(problems[i]), qPrintable(reading.problems[i]));
}

void TestClassList::load_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("ok");
    QTest::newRow("code page 932")
        // 1,山田 CR LF 2,佐藤
        << QByteArray::fromHex("312c 8e52 9363 0d0a 322c 8db2 93a1")
        << QStringList{u"1=山田"_s, u"2=佐藤"_s} << true;
    QTest::newRow("UTF-8") << u"1,山田\r\n"_s.toUtf8() << QStringList{u"1=山田"_s} << true;
    QTest::newRow("UTF-8 with byte-order mark, header")
        << QByteArray("\xef\xbb\xbf") + u"番号,名前\n1,山田"_s.toUtf8() << QStringList{u"1=山田"_s}
        << true;
    QTest::newRow("no seat named") << u"番号,名前\n0,山田"_s.toUtf8() << QStringList{} << false;
    QTest::newRow("as large as allowed")
        << u"1,山田"_s.toUtf8().leftJustified(roster::kMaxFileBytes, ' ')
        << QStringList{u"1=山田"_s} << true;
    QTest::newRow("too large") << QByteArray(roster::kMaxFileBytes + 1, ' ') << QStringList{}
                               << false;
}

void TestClassList::load()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(bool, ok);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"名簿.csv"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const roster::ClassListLoad load = roster::loadClassList(file.fileName());
    QCOMPARE(load.status.ok, ok);
    QCOMPARE(load.status.error.isEmpty(), ok);
    QCOMPARE(named(load.reading.list), names);

    const roster::ClassListLoad missing = roster::loadClassList(dir.filePath(u"ない.csv"_s));
    QVERIFY(!missing.status.ok && !missing.status.error.isEmpty());
}

void TestClassList::rememberedPath()
{
    roster::rememberClassListPath(u"/home/先生/名簿.csv"_s);
    QCOMPARE(roster::rememberedClassListPath(), u"/home/先生/名簿.csv"_s);
    // the path only, in the teacher's own settings
    QCOMPARE(QSettings(u"OmbraTeacher"_s).allKeys(), QStringList{u"ClassList/Path"_s});
    roster::rememberClassListPath({});
    QCOMPARE(roster::rememberedClassListPath(), QString());
    QVERIFY(QSettings(u"OmbraTeacher"_s).allKeys().isEmpty());
}

// The record's bytes with the names after the seats: every other byte as
// answerRecordBytes writes it.
void TestClassList::namedRecord()
{
    tally::AnswerHistory history;
    std::array<float, tally::kHistorySeats> seatAnswer{};
    seatAnswer[1] = 2;
    seatAnswer[3] = 1;
    history.store({0, true, 1, {}, {}}, seatAnswer, 50);
    history.store({1, true, 2, {}, {}}, {}, 50);
    const roster::ClassList list =
        roster::readClassList(u"1,山田 太郎\n2,=佐藤, 花子\n3,\"-1+2\"\n"_s).list;
    QCOMPARE(roster::namedRecordBytes(history, 4, list),
             exchange::encodeCp932(u"出席番号,名前, 1 , 2 \r\n"
                                   u" 1 番 ,山田 太郎, 2 , 0 \r\n"
                                   u" 2 番 ,'=佐藤, 0 , 0 \r\n"
                                   u" 3 番 ,'-1+2, 1 , 0 \r\n"
                                   u" 4 番 ,, 0 , 0 \r\n"_s));
    // a quote and a comma in a name are quoted
    const roster::ClassList quoted = roster::readClassList(u"2\t\"a\"\"b\", c"_s).list;
    QCOMPARE(roster::namedRecordBytes(history, 2, quoted).split('\n').value(2),
             QByteArray(" 2 \x94\xd4 ,\"a\"\"b, c\", 0 , 0 \r"));
    // no question collected: the seat and the name only
    QCOMPARE(roster::namedRecordBytes({}, 1, list),
             exchange::encodeCp932(u"出席番号,名前\r\n 1 番 ,山田 太郎\r\n"_s));
    QCOMPARE(roster::namedRecordFileName(QDate(2026, 12, 7)), u"記録_名前付き_2026-12-07.csv"_s);

    // answers: a cell 1 to 5 of seats 1 to studentsMax
    QVERIFY(roster::recordHasAnswers(history, 3));
    QVERIFY(!roster::recordHasAnswers({}, 50));
    tally::AnswerHistory noAnswer;
    seatAnswer = {};
    seatAnswer[0] = 1; // no pupil's seat
    seatAnswer[2] = 7;
    seatAnswer[4] = 6;
    noAnswer.store({0, true, 1, {}, {}}, seatAnswer, 50);
    QVERIFY(!roster::recordHasAnswers(noAnswer, 50));
    seatAnswer[50] = 5;
    noAnswer.store({1, true, 2, {}, {}}, seatAnswer, 50);
    QVERIFY(!roster::recordHasAnswers(noAnswer, 49)); // seat 50 only counts with it
    QVERIFY(roster::recordHasAnswers(noAnswer, 50));
}

QTEST_GUILESS_MAIN(TestClassList)
#include "tst_classlist.moc"
