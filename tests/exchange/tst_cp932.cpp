#include "exchange/Cp932.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

using exchange::decodeCp932;
using exchange::encodeCp932;

// Byte vectors below were produced with Python's cp932 codec, an
// implementation independent of this one.
class TestCp932 : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void windowsPreferredCode_data();
    void windowsPreferredCode();
    void lookAlikes_data();
    void lookAlikes();
    void unencodable_data();
    void unencodable();
    void invalidBytes_data();
    void invalidBytes();
    void everyPairMatchesReference();
};

void TestCp932::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ascii") << QByteArray("LVQ7.ini 100") << u"LVQ7.ini 100"_s;
    QTest::newRow("hiragana") << QByteArray::fromHex("82a0") << u"あ"_s;
    QTest::newRow("circle and cross") << QByteArray::fromHex("819b817e") << u"○×"_s;
    QTest::newRow("half-width katakana") << QByteArray::fromHex("b1ddb9b0c4") << u"ｱﾝｹｰﾄ"_s;
    QTest::newRow("trail byte 0x5C") << QByteArray::fromHex("955c835c") << u"表ソ"_s; // 表ソ
    QTest::newRow("backslash stays ASCII") << QByteArray("\\~") << u"\\~"_s;
    QTest::newRow("NEC row 13") << QByteArray::fromHex("8740") << u"①"_s;
    QTest::newRow("full-width tilde") << QByteArray::fromHex("8160") << u"～"_s;
    QTest::newRow("user-defined area") << QByteArray::fromHex("f040") << QString(QChar(0xE000));
    QTest::newRow("full-width digits") << QByteArray::fromHex("824f8250") << u"０１"_s;
    QTest::newRow("line end") << QByteArray("a\r\n") << u"a\r\n"_s;
}

void TestCp932::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeCp932(bytes), text);
    QCOMPARE(encodeCp932(text), bytes);
}

void TestCp932::windowsPreferredCode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("written");

    // Characters with two or three codes decode from each and are written
    // with the code Windows uses.
    QTest::newRow("small roman one, NEC-selected row")
        << QByteArray::fromHex("eeef") << u"ⅰ"_s << QByteArray::fromHex("fa40");
    QTest::newRow("small roman one, IBM row")
        << QByteArray::fromHex("fa40") << u"ⅰ"_s << QByteArray::fromHex("fa40");
    QTest::newRow("kanji in both extension rows")
        << QByteArray::fromHex("ed40") << u"纊"_s << QByteArray::fromHex("fa5c");
    QTest::newRow("not sign, IBM row")
        << QByteArray::fromHex("fa54") << u"￢"_s << QByteArray::fromHex("81ca");
    QTest::newRow("because, NEC row 13")
        << QByteArray::fromHex("879a") << u"∵"_s << QByteArray::fromHex("81e6");
}

void TestCp932::windowsPreferredCode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QByteArray, written);
    QCOMPARE(decodeCp932(bytes), text);
    QCOMPARE(encodeCp932(text), written);
}

void TestCp932::lookAlikes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("wave dash") << QString(QChar(0x301C)) << QByteArray::fromHex("8160");
    QTest::newRow("double vertical line") << QString(QChar(0x2016)) << QByteArray::fromHex("8161");
    QTest::newRow("minus sign") << QString(QChar(0x2212)) << QByteArray::fromHex("817c");
    QTest::newRow("cent") << QString(QChar(0x00A2)) << QByteArray::fromHex("8191");
    QTest::newRow("pound") << QString(QChar(0x00A3)) << QByteArray::fromHex("8192");
    QTest::newRow("not") << QString(QChar(0x00AC)) << QByteArray::fromHex("81ca");
}

void TestCp932::lookAlikes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeCp932(text), bytes);
    QVERIFY(exchange::isCp932Encodable(text));
}

void TestCp932::unencodable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("e acute") << u"café"_s << QByteArray("caf?");
    QTest::newRow("emoji is one question mark") << u"a😀b"_s << QByteArray("a?b");
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?");
    QTest::newRow("hangul") << u"한"_s << QByteArray("?");
    QTest::newRow("U+0080 is not written as 0x80") << QString(QChar(0x80)) << QByteArray("?");
    QTest::newRow("replacement character") << QString(QChar(0xFFFD)) << QByteArray("?");
}

void TestCp932::unencodable()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeCp932(text), bytes);
}

void TestCp932::invalidBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    const QChar r(0xFFFD);
    QTest::newRow("undefined single bytes") << QByteArray::fromHex("80a0fdfeff") << QString(5, r);
    QTest::newRow("lead byte at the end") << QByteArray::fromHex("4182") << u"A"_s + r;
    QTest::newRow("lead byte before a blank") << QByteArray::fromHex("8120") << r + u" "_s;
    QTest::newRow("undefined pair keeps its trail byte")
        << QByteArray::fromHex("8540") << r + u"@"_s;
    QTest::newRow("lead byte before line end") << QByteArray::fromHex("820d0a") << r + u"\r\n"_s;
    QTest::newRow("NUL") << QByteArray("a\0b", 3) << QString(u"a\0b"_s);
}

void TestCp932::invalidBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString decoded = decodeCp932(bytes);
    QCOMPARE(decoded, text);
    // Whatever came in, only defined bytes go out.
    const QByteArray written = encodeCp932(decoded);
    QCOMPARE(decodeCp932(written).count(QChar(0xFFFD)), 0);
}

// Decodes every lead and trail byte pair with Python's codec and compares.
void TestCp932::everyPairMatchesReference()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed");
    const char *script = R"(
import sys
out = []
leads = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
for lead in leads:
    for trail in list(range(0x40, 0x7F)) + list(range(0x80, 0xFD)):
        try:
            ch = bytes([lead, trail]).decode('cp932')
            out.append('%02x%02x %04x' % (lead, trail, ord(ch)))
        except UnicodeDecodeError:
            out.append('%02x%02x -' % (lead, trail))
sys.stdout.write('\n'.join(out))
)";
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromLatin1(script)});
    QVERIFY(process.waitForFinished(60000));
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    QCOMPARE(lines.size(), 60 * 188);
    int defined = 0;
    for (const QByteArray &line : lines) {
        const QByteArray pair = QByteArray::fromHex(line.left(4));
        const QByteArray expected = line.mid(5);
        const QString decoded = decodeCp932(pair);
        if (expected == "-") {
            QVERIFY2(decoded.startsWith(QChar(0xFFFD)), line.constData());
            continue;
        }
        ++defined;
        const char16_t unit = static_cast<char16_t>(expected.toUInt(nullptr, 16));
        QVERIFY2(decoded == QString(QChar(unit)), line.constData());
        // Every defined character is written back as bytes that decode to it.
        QVERIFY2(decodeCp932(encodeCp932(decoded)) == decoded, line.constData());
    }
    QVERIFY(defined > 7000);
}

QTEST_APPLESS_MAIN(TestCp932)
#include "tst_cp932.moc"
