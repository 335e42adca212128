#include "questionnaire/Questionnaire.h"

#include "SharedFolderFaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace questionnaire;

namespace {

// Every line followed by CR LF, as the questionnaire text holds them.
QString crlfLines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + u"\r\n"_s;
    return text;
}

// A row as expected: the given fields, the rest empty.
QStringList row(QStringList fields)
{
    while (fields.size() < kFieldsPerRow)
        fields.append(QString());
    return fields;
}

// count blocks "Q<i>" with the given number of answers "Q<i>A<j>", blank lines between.
QStringList blocks(int count, int answers)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i) {
        lines << u"Q%1"_s.arg(i);
        for (int j = 1; j <= answers; ++j)
            lines << u"Q%1A%2"_s.arg(i).arg(j);
        lines << QString();
    }
    return lines;
}

// A loading row whose file has CR LF after every line, so the questionnaire
// text is the file's content.
void addCrlfRow(const char *name, const QStringList &lines, int lastQuestion,
                const QList<QStringList> &rows)
{
    QTest::newRow(name) << crlfLines(lines) << lastQuestion << rows << crlfLines(lines);
}

void fillWithJunk(QuestionTable &table, int &lastQuestion, QString &text)
{
    for (int r = 0; r <= kLastLoadedRow; ++r)
        table[r].fill(u"old"_s);
    lastQuestion = 17;
    text = u"old"_s;
}

void verifyEmptied(const QuestionTable &table, int lastQuestion, const QString &text)
{
    QCOMPARE(lastQuestion, 0);
    QCOMPARE(text, QString());
    for (const QuestionRow &r : table)
        for (const QString &field : r)
            QCOMPARE(field, QString());
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestQuestionnaire : public QObject
{
    Q_OBJECT

private slots:
    void loading_data();
    void loading();
    void correctMark_data();
    void correctMark();
    void correctMarks_data();
    void correctMarks();
    void detection_data();
    void detection();
    void roundTrip_data();
    void roundTrip();
    void loadFailure_data();
    void loadFailure();
    void saveFailureKeepsPreviousFile_data();
    void saveFailureKeepsPreviousFile();
    void hostileContentLoads();
    void path_data();
    void path();
    void answerCountReading_data();
    void answerCountReading();
};

void TestQuestionnaire::loading_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("lastQuestion");
    QTest::addColumn<QList<QStringList>>("rows"); // rows 0.., every later row empty
    QTest::addColumn<QString>("text");

    const QStringList twoAndThree{u"Q1"_s, u"A"_s, u"B"_s, u""_s, u"Q2"_s, u"C"_s, u"D"_s, u"E"_s};
    const QList<QStringList> twoAndThreeRows{
        row({u"Q1"_s, u"A"_s, u"B"_s, {}, {}, {}, u" 2"_s}),
        row({u"Q2"_s, u"C"_s, u"D"_s, u"E"_s, {}, {}, u" 3"_s})};

    QTest::newRow("empty file") << QString() << 0
                                << QList<QStringList>{row({{}, {}, {}, {}, {}, {}, u" 0"_s})}
                                << QString();
    QTest::newRow("only blank and comment lines")
        << u"\r\n/comment\r\n\r\n"_s << 0
        << QList<QStringList>{row({{}, {}, {}, {}, {}, {}, u" 0"_s})} << u"\r\n/comment\r\n\r\n"_s;
    addCrlfRow("two answers, blank, three answers", twoAndThree, 1, twoAndThreeRows);
    const QStringList padded = QStringList{{}, {}} + twoAndThree.mid(0, 4) + QStringList{{}, {}} +
                               twoAndThree.mid(4) + QStringList{{}, {}};
    addCrlfRow("blank lines at start, end and repeated", padded, 1, twoAndThreeRows);
    QTest::newRow("LF alone ends a line")
        << u"Q1\nA\nB\n\nQ2\nC\nD\nE\n"_s << 1 << twoAndThreeRows << crlfLines(twoAndThree);
    QTest::newRow("CR alone ends a line")
        << u"Q1\rA\rB\r\rQ2\rC\rD\rE\r"_s << 1 << twoAndThreeRows << crlfLines(twoAndThree);
    QTest::newRow("LF CR is two line ends")
        << u"Q1\nA\nB\n\rQ2\r\nC\rD\nE"_s << 1 << twoAndThreeRows << crlfLines(twoAndThree);
    QTest::newRow("last line without line end")
        << u"Q\r\nA\r\nB"_s << 0
        << QList<QStringList>{row({u"Q"_s, u"A"_s, u"B"_s, {}, {}, {}, u" 2"_s})}
        << u"Q\r\nA\r\nB\r\n"_s;
    addCrlfRow("five lines are one question with four answers",
               {u"Q"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s}, 0,
               {row({u"Q"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s, {}, u" 4"_s})});
    addCrlfRow("six answers keep five", {u"Q"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s}, 0,
               {row({u"Q"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u" 5"_s})});
    addCrlfRow("one answer, blank, question alone share row 0", {u"Q1"_s, u"A1"_s, {}, u"Q2"_s}, 0,
               {row({u"Q2"_s, u"A1"_s, {}, {}, {}, {}, u" 0"_s})});
    addCrlfRow("question alone, then a full block over it", {u"Q1"_s, {}, u"Q2"_s, u"A"_s, u"B"_s},
               0, {row({u"Q2"_s, u"A"_s, u"B"_s, {}, {}, {}, u" 2"_s})});
    addCrlfRow("last short block keeps its own row", {u"Q1"_s, u"A"_s, u"B"_s, {}, u"Q2"_s}, 1,
               {row({u"Q1"_s, u"A"_s, u"B"_s, {}, {}, {}, u" 2"_s}),
                row({u"Q2"_s, {}, {}, {}, {}, {}, u" 0"_s})});
    addCrlfRow("comment in a block splits it", {u"Q1"_s, u"A1"_s, u"/note"_s, u"Q2"_s, u"A2"_s}, 0,
               {row({u"Q2"_s, u"A2"_s, {}, {}, {}, {}, u" 1"_s})});
    addCrlfRow("lines of spaces and tabs are answers", {u"Q"_s, u"  "_s, u"　"_s, u"\t"_s}, 0,
               {row({u"Q"_s, u"  "_s, u"　"_s, u"\t"_s, {}, {}, u" 3"_s})});
    addCrlfRow("full-width slash and slash after a space are text", {u"／Q"_s, u" /A"_s, u"　/B"_s},
               0, {row({u"／Q"_s, u" /A"_s, u"　/B"_s, {}, {}, {}, u" 2"_s})});

    // 33 questions: rows 0 to 29 hold questions 1 to 30, row 30 the last one.
    const QStringList many = blocks(33, 2);
    QList<QStringList> manyRows;
    for (int i = 1; i <= 30; ++i)
        manyRows << row(
            {u"Q%1"_s.arg(i), u"Q%1A1"_s.arg(i), u"Q%1A2"_s.arg(i), {}, {}, {}, u" 2"_s});
    manyRows << row({u"Q33"_s, u"Q33A1"_s, u"Q33A2"_s, {}, {}, {}, u" 2"_s});
    addCrlfRow("33 questions end in row 30", many, 30, manyRows);

    // Row 30 overwritten by a shorter block keeps the longer block's labels.
    const QStringList leftovers = blocks(30, 2) + blocks(1, 4).replaceInStrings(u"Q1"_s, u"X"_s) +
                                  blocks(1, 2).replaceInStrings(u"Q1"_s, u"Y"_s);
    QList<QStringList> leftoverRows = manyRows.mid(0, 30);
    leftoverRows << row({u"Y"_s, u"YA1"_s, u"YA2"_s, u"XA3"_s, u"XA4"_s, {}, u" 2"_s});
    addCrlfRow("row 30 keeps labels of an earlier block", leftovers, 30, leftoverRows);
}

void TestQuestionnaire::loading()
{
    QFETCH(QString, content);
    QFETCH(int, lastQuestion);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QString, text);

    QuestionTable table;
    int last = 0;
    QString questionnaireText;
    fillWithJunk(table, last, questionnaireText);
    loadFromText(content, table, last, questionnaireText);

    QCOMPARE(last, lastQuestion);
    QCOMPARE(questionnaireText, text);
    for (int r = 0; r < kTableRows; ++r) {
        const QStringList expected = r < rows.size() ? rows[r] : row({});
        const QStringList actual(table[r].begin(), table[r].end());
        QVERIFY2(actual == expected, qPrintable(u"row %1: %2"_s.arg(r).arg(actual.join(u'|'))));
    }
}

void TestQuestionnaire::correctMark_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("mark"); // -1: no mark, a plain comment
    QTest::newRow("ordinary digit") << u"/正解 2"_s << 2;
    QTest::newRow("full-width digit, no space") << u"/正解３"_s << 3;
    QTest::newRow("spaces and tabs around") << u"/正解　\t 5 　"_s << 5;
    QTest::newRow("several digits") << u"/正解 ９9"_s << 99;
    QTest::newRow("full-width zero") << u"/正解 1０"_s << 10;
    QTest::newRow("large number") << u"/正解 99999999999"_s << 1000;
    QTest::newRow("zero") << u"/正解 0"_s << 0;
    QTest::newRow("no number") << u"/正解"_s << 0;
    QTest::newRow("spaces, no number") << u"/正解  "_s << 0;
    QTest::newRow("a word after a space") << u"/正解 はい"_s << 0;
    QTest::newRow("more after the number") << u"/正解 2 はい"_s << 0;
    QTest::newRow("a comment about answers") << u"/正解は2"_s << -1;
    QTest::newRow("not at the start") << u" /正解 2"_s << -1;
    QTest::newRow("other comment") << u"/正 2"_s << -1;
}

void TestQuestionnaire::correctMark()
{
    QFETCH(QString, line);
    QFETCH(int, mark);
    QCOMPARE(readCorrectMark(line).value_or(-1), mark);
}

// Marks belong to the question before them; the problems name their lines.
void TestQuestionnaire::correctMarks_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QList<int>>("answers");      // rows 0.., the rest 0
    QTest::addColumn<QList<int>>("problemLines"); // in the order reported
    QTest::newRow("marks after the answers and after a blank")
        << u"Q1\nA\nB\n/正解 2\n\nQ2\nA\nB\nC\n\n/正解 ３\n"_s << QList<int>{2, 3}
        << QList<int>{};
    QTest::newRow("out of range and zero")
        << u"Q1\nA\nB\n/正解 3\n/正解 0\n\nQ2\nA\nB\n/正解 1"_s << QList<int>{0, 1}
        << QList<int>{4, 5};
    QTest::newRow("the last of several counts")
        << u"Q\nA\nB\nC\n/正解 1\n/note\n/正解 3\n"_s << QList<int>{3} << QList<int>{7};
    QTest::newRow("before any question") << u"/正解 1\nQ\nA\nB"_s << QList<int>{0}
                                         << QList<int>{1};
    QTest::newRow("between question and answers splits the question")
        << u"Q\n/正解 1\nA\nB"_s << QList<int>{0} << QList<int>{2};
    QTest::newRow("a question of one answer that the next takes over")
        << u"Q1\nA\n/正解 1\n\nQ2\nA\nB\n"_s << QList<int>{0} << QList<int>{3};
    QTest::newRow("not a mark") << u"Q\nA\nB\n/正解は2"_s << QList<int>{0} << QList<int>{};
}

void TestQuestionnaire::correctMarks()
{
    QFETCH(QString, content);
    QFETCH(QList<int>, answers);
    QFETCH(QList<int>, problemLines);

    QuestionTable table;
    int last = 0;
    QString text;
    CorrectMarks marks;
    marks.answer.fill(9);
    loadFromText(content, table, last, text, &marks);
    for (int r = 0; r < kTableRows; ++r)
        QCOMPARE(marks.answer[r], answers.value(r));
    QCOMPARE(marks.problems.size(), problemLines.size());
    for (int i = 0; i < problemLines.size(); ++i)
        QVERIFY2(marks.problems[i].startsWith(u"%1行目："_s.arg(problemLines[i])),
                 qPrintable(marks.problems[i]));
    // The marks stay in the text: the editor and saving keep them.
    QVERIFY(text.contains(u"/正解"_s) || !content.contains(u"/正解"_s));
}

void TestQuestionnaire::detection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << TextEncoding::Cp932 << QString();
    QTest::newRow("ascii") << QByteArray("Q\r\nA\r\n") << TextEncoding::Cp932 << u"Q\r\nA\r\n"_s;
    QTest::newRow("cp932") << QByteArray::fromHex("8ebf96e2") // 質問
                           << TextEncoding::Cp932 << u"質問"_s;
    QTest::newRow("cp932 that is almost utf-8")
        << QByteArray::fromHex("e381") // 縺, a cut-off utf-8 lead
        << TextEncoding::Cp932 << u"縺"_s;
    QTest::newRow("utf-8") << QByteArray::fromHex("e8b3aae5958f") // 質問
                           << TextEncoding::Utf8 << u"質問"_s;
    QTest::newRow("utf-8 with BOM") << QByteArray::fromHex("efbbbfe381afe38184") // はい
                                    << TextEncoding::Utf8WithBom << u"はい"_s;
    QTest::newRow("BOM and ascii") << QByteArray::fromHex("efbbbf51") // Q
                                   << TextEncoding::Utf8WithBom << u"Q"_s;
    QTest::newRow("overlong utf-8 is cp932") << QByteArray::fromHex("c0af") // ﾀｯ
                                             << TextEncoding::Cp932 << u"ﾀｯ"_s;
}

void TestQuestionnaire::detection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QFETCH(QString, text);
    QCOMPARE(detectEncoding(bytes), encoding);
    QCOMPARE(decodeText(bytes, encoding), text);
}

void TestQuestionnaire::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QString>("unencodable");

    // 質問 / はい / いいえ, blank, アンケート / はい / いいえ
    const QByteArray cp932 =
        QByteArray::fromHex("8ebf96e20d0a82cd82a20d0a82a282a282a60d0a0d0a"
                            "834183938350815b83670d0a82cd82a20d0a82a282a282a60d0a");
    const QByteArray utf8 =
        QByteArray::fromHex("e8b3aae5958f0d0ae381afe381840d0ae38184e38184e381880d0a0d0a"
                            "e382a2e383b3e382b1e383bce383880d0ae381afe381840d0a"
                            "e38184e38184e381880d0a");
    QTest::newRow("code page 932") << cp932 << TextEncoding::Cp932 << QString();
    QTest::newRow("utf-8") << utf8 << TextEncoding::Utf8 << QString();
    QTest::newRow("utf-8 with BOM")
        << QByteArray::fromHex("efbbbf") + utf8 << TextEncoding::Utf8WithBom << QString();
    // 質問 / はい😀 / いいえ / "/𠮷", blank, アンケート / はい / いいえ: the
    // comment's character reaches no seat
    QTest::newRow("utf-8 with characters code page 932 lacks")
        << QByteArray::fromHex(
               "e8b3aae5958f0d0ae381afe38184f09f98800d0ae38184e38184e381880d0a"
               "2ff0a0aeb70d0a0d0ae382a2e383b3e382b1e383bce383880d0ae381afe381840d0a"
               "e38184e38184e381880d0a")
        << TextEncoding::Utf8 << u"😀"_s;
}

void TestQuestionnaire::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QFETCH(QString, unencodable);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = questionnairePath(dir.path(), u"アンケート.txt"_s);
    QVERIFY(writeFile(path, bytes));

    QuestionTable table;
    int last = 0;
    QString text;
    const LoadResult loaded = loadFile(path, table, last, text);
    QVERIFY2(loaded.status.ok, qPrintable(loaded.status.error));
    QCOMPARE(loaded.encoding, encoding);
    QCOMPARE(loaded.unencodable, unencodable);
    QCOMPARE(last, 1);
    QCOMPARE(table[0][0], u"質問"_s);
    QCOMPARE(table[1][0], u"アンケート"_s);
    QCOMPARE(answerCount(table[1]), 2.0);

    const exchange::FileStatus saved = saveFile(path, text, loaded.encoding);
    QVERIFY2(saved.ok, qPrintable(saved.error));
    QCOMPARE(readFile(path), bytes + "\r\n");

    QuestionTable reloaded;
    int reloadedLast = 0;
    QString reloadedText;
    QVERIFY(loadFile(path, reloaded, reloadedLast, reloadedText).status.ok);
    QCOMPARE(reloadedLast, last);
    QVERIFY(reloaded == table);
    QCOMPARE(reloadedText, text + u"\r\n"_s);
}

void TestQuestionnaire::loadFailure_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");        // -1: a directory; 0: nothing made
    QTest::addColumn<QByteArray>("planted"); // a marker of SharedFolderFaults.h, or none

    QTest::newRow("missing file") << u"missing.txt"_s << qint64(0) << QByteArray();
    QTest::newRow("directory") << u"folder"_s << qint64(-1) << QByteArray();
    QTest::newRow("larger than the limit") << u"huge.txt"_s << kMaxFileBytes + 1 << QByteArray();
    // a pipe nobody writes would hold the open, and the teacher's window, for good
    QTest::newRow("pipe") << u"授業.txt"_s << qint64(0) << QByteArray("<pipe>");
    QTest::newRow("socket") << u"授業.txt"_s << qint64(0) << QByteArray("<socket>");
    QTest::newRow("link to a device")
        << u"授業.txt"_s << qint64(0) << QByteArray("<link:/dev/zero>");
}

void TestQuestionnaire::loadFailure()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QByteArray, planted);

    if (const char *reason = faults::cannotMake(planted))
        QSKIP(reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = questionnairePath(dir.path(), name);
    if (!planted.isEmpty()) {
        QVERIFY(faults::plant(path, planted));
    } else if (size < 0) {
        QVERIFY(QDir(dir.path()).mkdir(name));
    } else if (size > 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size)); // sparse, quick
    }

    QuestionTable table;
    int last = 0;
    QString text;
    fillWithJunk(table, last, text);
    const LoadResult result = loadFile(path, table, last, text);
    QVERIFY(!result.status.ok);
    QVERIFY(!result.status.error.isEmpty());
    verifyEmptied(table, last, text);
}

void TestQuestionnaire::saveFailureKeepsPreviousFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QString>("reasonContains");

    QTest::newRow("folder missing")
        << u"no/such/folder.txt"_s << u"Q"_s << TextEncoding::Cp932 << QString();
    QTest::newRow("character outside code page 932")
        << u"old.txt"_s << u"𠮷野家\r\nはい"_s << TextEncoding::Cp932 << u"𠮷"_s;
}

void TestQuestionnaire::saveFailureKeepsPreviousFile()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(TextEncoding, encoding);
    QFETCH(QString, reasonContains);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = questionnairePath(dir.path(), name);
    const bool existed = writeFile(path, "previous\r\n");

    const exchange::FileStatus status = saveFile(path, text, encoding);
    QVERIFY(!status.ok);
    QVERIFY(!status.error.isEmpty());
    QVERIFY(status.error.contains(reasonContains));
    if (existed)
        QCOMPARE(readFile(path), QByteArray("previous\r\n"));
}

void TestQuestionnaire::hostileContentLoads()
{
    // 10 MB in all: a line of 1 MB, NUL bytes, broken code page 932 pairs and
    // short blocks, all in one file.
    const char broken[] = "B\x00\x81\r\n\xFF\x82\r\n\r\n";
    QByteArray bytes =
        "Q\r\n" + QByteArray(1 << 20, 'x') + "\r\n" + QByteArray(broken, sizeof broken - 1);
    const QByteArray block = "Question\r\nYes\r\nNo\r\n\r\n";
    while (bytes.size() < 10'000'000)
        bytes += block;

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = questionnairePath(dir.path(), u"big.txt"_s);
    QVERIFY(writeFile(path, bytes));

    QuestionTable table;
    int last = 0;
    QString text;
    const LoadResult result = loadFile(path, table, last, text);
    QVERIFY2(result.status.ok, qPrintable(result.status.error));
    QCOMPARE(result.encoding, TextEncoding::Cp932);
    QCOMPARE(last, kLastLoadedRow);
    QCOMPARE(table[0][1].size(), 1 << 20);
    QCOMPARE(table[0][2], u"B\0\uFFFD"_s);
    QCOMPARE(table[0][3], u"\uFFFD\uFFFD"_s);
    QCOMPARE(table[kLastLoadedRow][0], u"Question"_s);

    // Bytes that were unreadable are written as "?", the rest as they were.
    QVERIFY(saveFile(path, text.first(16), TextEncoding::Cp932).ok);
    QVERIFY(readFile(path).startsWith("Q\r\nxxxxxxxxxxxxx"));
    QVERIFY(saveFile(path, table[0][3], TextEncoding::Cp932).ok);
    QCOMPARE(readFile(path), QByteArray("??\r\n"));
}

void TestQuestionnaire::path_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("path");

    QTest::newRow("directory and name") << u"/home/t"_s << u"q.txt"_s << u"/home/t/q.txt"_s;
    QTest::newRow("root keeps both separators") << u"C:/"_s << u"q.txt"_s << u"C://q.txt"_s;
    QTest::newRow("nothing chosen yet") << QString() << QString() << u"/"_s;
}

void TestQuestionnaire::path()
{
    QFETCH(QString, dir);
    QFETCH(QString, fileName);
    QFETCH(QString, path);
    QCOMPARE(questionnairePath(dir, fileName), path);
}

void TestQuestionnaire::answerCountReading_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("count");

    QTest::newRow("sign-position form") << u" 3"_s << 3.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("not a number") << u"x"_s << 0.0;
}

void TestQuestionnaire::answerCountReading()
{
    QFETCH(QString, field);
    QFETCH(double, count);
    QuestionRow r;
    r[kAnswerCountField] = field;
    QCOMPARE(answerCount(r), count);
}

QTEST_APPLESS_MAIN(TestQuestionnaire)
#include "tst_questionnaire.moc"
