#include "exchange/NumberText.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

class TestNumberText : public QObject
{
    Q_OBJECT

private slots:
    void readNumber_data();
    void readNumber();
    void numericText_data();
    void numericText();
    void forms_data();
    void forms();
    void overflow();
};

void TestNumberText::readNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("plain") << u"50"_s << 50.0;
    QTest::newRow("answer count field") << u" 3"_s << 3.0;
    QTest::newRow("exchange number form") << u" 100 "_s << 100.0;
    QTest::newRow("blank inside joins digits") << u"1 2"_s << 12.0;
    QTest::newRow("tab and line feed ignored") << u"\t1\n2"_s << 12.0;
    QTest::newRow("carriage return stops") << u"1\r2"_s << 1.0;
    QTest::newRow("letters after digits") << u"7abc"_s << 7.0;
    QTest::newRow("letters only") << u"abc"_s << 0.0;
    QTest::newRow("empty") << u""_s << 0.0;
    QTest::newRow("sign alone") << u"-"_s << 0.0;
    QTest::newRow("negative") << u"-1"_s << -1.0;
    QTest::newRow("plus sign") << u"+4"_s << 4.0;
    QTest::newRow("blank between sign and digits") << u"- 4"_s << -4.0;
    QTest::newRow("fraction") << u"2.5"_s << 2.5;
    QTest::newRow("leading point") << u".5"_s << 0.5;
    QTest::newRow("second point stops") << u"1.2.3"_s << 1.2;
    QTest::newRow("exponent") << u"1E2"_s << 100.0;
    QTest::newRow("exponent lower case with sign") << u"25e-1"_s << 2.5;
    QTest::newRow("exponent without digits") << u"1e"_s << 1.0;
    QTest::newRow("exponent sign without digits") << u"1e+x"_s << 1.0;
    QTest::newRow("hexadecimal") << u"&H1F"_s << 31.0;
    QTest::newRow("hexadecimal lower case") << u"&hff"_s << 255.0;
    QTest::newRow("octal") << u"&O17"_s << 15.0;
    QTest::newRow("octal stops at 8") << u"&O18"_s << 1.0;
    QTest::newRow("prefix without digits") << u"&H"_s << 0.0;
    QTest::newRow("unknown prefix") << u"&X1"_s << 0.0;
    QTest::newRow("full-width digit") << u"１"_s << 0.0;
    QTest::newRow("full-width blank is not ignored") << u"\u30001"_s << 0.0;
    QTest::newRow("comma stops") << u"1,5"_s << 1.0;
}

void TestNumberText::readNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(exchange::readNumber(text), value);
}

void TestNumberText::numericText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");

    QTest::newRow("mode field") << u"100 "_s << true;
    QTest::newRow("negative") << u"-1"_s << true;
    QTest::newRow("hexadecimal") << u"&H1F"_s << true;
    QTest::newRow("fraction") << u"2.5"_s << true;
    QTest::newRow("trailing letters") << u"7abc"_s << false;
    QTest::newRow("text") << u"abc"_s << false;
    QTest::newRow("empty") << u""_s << false;
    QTest::newRow("blank") << u"  "_s << false;
    QTest::newRow("exponent without digits") << u"1e"_s << false;
}

void TestNumberText::numericText()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QCOMPARE(exchange::isNumericText(text), numeric);
}

void TestNumberText::forms_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("signPosition");
    QTest::addColumn<QString>("field");

    QTest::newRow("zero") << 0.0 << u" 0"_s << u" 0 "_s;
    QTest::newRow("negative zero") << -0.0 << u" 0"_s << u" 0 "_s;
    QTest::newRow("three") << 3.0 << u" 3"_s << u" 3 "_s;
    QTest::newRow("hundred") << 100.0 << u" 100"_s << u" 100 "_s;
    QTest::newRow("minus one") << -1.0 << u"-1"_s << u"-1 "_s;
    QTest::newRow("whole value held as floating point") << 2.0000 << u" 2"_s << u" 2 "_s;
    QTest::newRow("fraction") << 2.5 << u" 2.5"_s << u" 2.5 "_s;
}

void TestNumberText::forms()
{
    QFETCH(double, value);
    QFETCH(QString, signPosition);
    QFETCH(QString, field);
    QCOMPARE(exchange::signPositionText(value), signPosition);
    QCOMPARE(exchange::numberFieldText(value), field);
}

void TestNumberText::overflow()
{
    QCOMPARE(exchange::readNumber(u"1e999"_s), std::numeric_limits<double>::infinity());
    QCOMPARE(exchange::readNumber(u"-1e999"_s), -std::numeric_limits<double>::infinity());
    QCOMPARE(exchange::readNumber(u"1e-999"_s), 0.0);
    QVERIFY(!exchange::isWholeNumber(exchange::readNumber(u"1e999"_s)));
}

QTEST_APPLESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
