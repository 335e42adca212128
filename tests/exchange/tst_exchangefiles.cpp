#include "exchange/Cp932.h"
#include "exchange/ExchangeFiles.h"
#include "exchange/FieldReader.h"
#include "exchange/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
    void writeFailsInMissingFolder();
};

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
}

void TestExchangeFiles::shortForm()
{
    QCOMPARE(exchange::shortCommandFileBytes(u"Q"_s), QByteArray(" 100 \r\nQ\r\n"));
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

    std::array<QString, 6> shown{text, u"L1"_s, u""_s, u""_s, u""_s, u""_s};
    exchange::FieldReader reader(exchange::decodeCp932(exchange::commandFileBytes(3, shown, 1)));
    QCOMPARE(reader.readNumber(), std::optional<double>(3));
    const QString read = *reader.readText();
    if (!text.contains(u'"') && !text.contains(u'\n'))
        QCOMPARE(read, text);
    if (!text.contains(u'"')) {
        QCOMPARE(reader.readText(), std::optional<QString>(u"L1"_s));
        for (int i = 0; i < 4; ++i)
            reader.readText();
        QCOMPARE(reader.readNumber(), std::optional<double>(1));
    }
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

void TestExchangeFiles::writeFailsInMissingFolder()
{
    QTemporaryDir dir;
    const exchange::FileStatus status =
        exchange::writeWholeFile(dir.filePath(u"Data/LVQ1.ini"_s), "x");
    QVERIFY(!status.ok);
    QVERIFY(!status.error.isEmpty());
}

QTEST_APPLESS_MAIN(TestExchangeFiles)
#include "tst_exchangefiles.moc"
