#include "exchange/FieldReader.h"

#include "SharedFolderFaults.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using exchange::FieldReader;

// Each row reads the text with a sequence of slots: "t" a text slot, "n" a
// number slot. The expected results are joined with "|", "!" standing for a
// failed read.
class TestFieldReader : public QObject
{
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void notOpen();
    void fromFile();
};

void TestFieldReader::fields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<QString>("expected");

    QTest::newRow("full command file") << u" 100 \r\n\r\n○\r\n×\r\n\r\n\r\n\r\n 1 \r\n"_s
                                       << u"nttttttnt"_s << u"100||○|×||||1|!"_s;
    QTest::newRow("short form then failures")
        << u" 100 \r\nQ\r\n"_s << u"nttttttn"_s << u"100|Q|!|!|!|!|!|!"_s;
    QTest::newRow("blanks before a field are skipped") << u"   abc\r\n"_s << u"t"_s << u"abc"_s;
    QTest::newRow("trailing blanks stay") << u"abc  \r\n"_s << u"t"_s << u"abc  "_s;
    QTest::newRow("comma ends a field") << u"A,B\r\nC\r\n"_s << u"ttt"_s << u"A|B|C"_s;
    QTest::newRow("full-width comma splits nothing") << u"A、B\r\n"_s << u"tt"_s << u"A、B|!"_s;
    QTest::newRow("quoted field keeps comma") << u"\"A,B\"\r\nC\r\n"_s << u"tt"_s << u"A,B|C"_s;
    QTest::newRow("quoted field keeps leading blank") << u"\" A\"\r\n"_s << u"t"_s << u" A"_s;
    QTest::newRow("rest after closing quote dropped") << u"\"A\"xyz,B\r\n"_s << u"tt"_s << u"A|B"_s;
    QTest::newRow("unclosed quote ends at line end") << u"\"A\r\nB\r\n"_s << u"tt"_s << u"A|B"_s;
    QTest::newRow("empty line") << u"\r\n\r\nX"_s << u"ttt"_s << u"||X"_s;
    QTest::newRow("line of blanks is empty") << u"   \r\nX"_s << u"tt"_s << u"|X"_s;
    QTest::newRow("lone LF and lone CR end lines") << u"A\nB\rC"_s << u"ttt"_s << u"A|B|C"_s;
    QTest::newRow("comma before line end") << u"A,\r\nB"_s << u"ttt"_s << u"A||B"_s;
    QTest::newRow("not a number gives 0") << u"abc\r\n"_s << u"n"_s << u"0"_s;
    QTest::newRow("number with letters") << u"7abc\r\n"_s << u"n"_s << u"7"_s;
    QTest::newRow("empty file") << u""_s << u"nt"_s << u"!|!"_s;
    QTest::newRow("blanks only") << u"  "_s << u"n"_s << u"!"_s;
    QTest::newRow("half-written answer") << u" 3"_s << u"n"_s << u"3"_s;
    QTest::newRow("question split by comma shifts later fields")
        << u" 2 \r\nA,B\r\nL1\r\nL2\r\n\r\n\r\n\r\nx\r\n 1 \r\n"_s << u"nttttttn"_s
        << u"2|A|B|L1|L2|||0"_s;
}

void TestFieldReader::fields()
{
    QFETCH(QString, text);
    QFETCH(QString, kinds);
    QFETCH(QString, expected);

    FieldReader reader(text);
    QStringList results;
    for (const QChar slot : kinds) {
        if (slot == u'n') {
            const std::optional<double> value = reader.readNumber();
            results << (value ? QString::number(*value) : u"!"_s);
        } else {
            const std::optional<QString> value = reader.readText();
            results << (value ? *value : u"!"_s);
        }
    }
    QCOMPARE(results.join(u'|'), expected);
}

void TestFieldReader::notOpen()
{
    FieldReader reader;
    QVERIFY(!reader.isOpen());
    QVERIFY(!reader.readText());
    QVERIFY(!reader.readNumber());
}

void TestFieldReader::fromFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"LVQ1.ini"_s);

    QVERIFY(!FieldReader::fromFile(path, 100).isOpen());       // missing
    QVERIFY(!FieldReader::fromFile(dir.path(), 100).isOpen()); // a directory
#ifndef Q_OS_WIN
    // Refused at once: a pipe nobody writes would hold a blocking open for good.
    for (const QByteArray &marker :
         {QByteArray("<pipe>"), QByteArray("<socket>"), QByteArray("<link:/dev/zero>")}) {
        QVERIFY(faults::plant(path, marker));
        QVERIFY2(!FieldReader::fromFile(path, 100).isOpen(), marker.constData());
    }
    QVERIFY(QFile::remove(path));
#endif

    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("20332020") + "\r\n" + QByteArray::fromHex("82cd82a2")); // はい
    file.close();
    FieldReader reader = FieldReader::fromFile(path, 100);
    QVERIFY(reader.isOpen());
    QCOMPARE(reader.readNumber(), std::optional<double>(3.0));
    QCOMPARE(reader.readText(), std::optional<QString>(u"はい"_s));

    FieldReader bounded = FieldReader::fromFile(path, 2);
    QCOMPARE(bounded.readNumber(), std::optional<double>(3.0));
    QVERIFY(!bounded.readText());
}

QTEST_APPLESS_MAIN(TestFieldReader)
#include "tst_fieldreader.moc"
