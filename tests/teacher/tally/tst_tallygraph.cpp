#include "teacher/tally/Graph.h"

#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

tally::ShownTexts shownTexts(const QString &labels)
{
    tally::ShownTexts shown{u"長い質問の文は文字の大きさに関わらない"_s};
    const QStringList split = labels.split(u'|');
    for (int i = 0; i < split.size() && i < tally::kBars; ++i)
        shown[i + 1] = split[i];
    return shown;
}

} // namespace

class TestTallyGraph : public QObject
{
    Q_OBJECT

private slots:
    void barPosition_data();
    void barPosition();
    void labels_data();
    void labels();
    void percentLabel_data();
    void percentLabel();
    void graph_data();
    void graph();
};

void TestTallyGraph::barPosition_data()
{
    QTest::addColumn<double>("mode");
    QTest::addColumn<QString>("layout"); // positions of answers 1 to 5 / positions emptied

    QTest::newRow("1 spreads like two") << 1.0 << u"1 3 -1 -1 -1/0 2 4"_s;
    QTest::newRow("1.5 lies in 1 to 2") << 1.5 << u"1 3 -1 -1 -1/0 2 4"_s;
    QTest::newRow("2 on 1 and 3") << 2.0 << u"1 3 -1 -1 -1/0 2 4"_s;
    QTest::newRow("3 centred") << 3.0 << u"1 2 3 -1 -1/0 4"_s;
    QTest::newRow("4 leaves 0 empty") << 4.0 << u"1 2 3 4 -1/0"_s;
    QTest::newRow("5 fills all") << 5.0 << u"0 1 2 3 4/"_s;
    QTest::newRow("0 ended") << 0.0 << u"none"_s;
    QTest::newRow("100 paused") << 100.0 << u"none"_s;
    QTest::newRow("6 too many") << 6.0 << u"none"_s;
}

void TestTallyGraph::barPosition()
{
    QFETCH(double, mode);
    QFETCH(QString, layout);

    const std::optional<tally::BarLayout> bars = tally::barPosition(mode);
    QString actual = u"none"_s;
    if (bars) {
        QStringList placed, emptied;
        for (const int p : bars->positionOfAnswer)
            placed << QString::number(p);
        for (const int p : bars->emptyPositions)
            emptied << QString::number(p);
        actual = placed.join(u' ') + u'/' + emptied.join(u' ');
    }
    QCOMPARE(actual, layout);
}

void TestTallyGraph::labels_data()
{
    QTest::addColumn<double>("mode");
    QTest::addColumn<QString>("fields"); // answer labels 1 to 5, joined with "|"
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<QString>("captions"); // positions 0 to 4; "unchanged" for none

    QTest::newRow("○× on 1 and 3") << 2.0 << u"○|×"_s << 48 << u"|○||×|"_s;
    QTest::newRow("three centred, 7 characters")
        << 3.0 << u"はい|いいえ|どちらでもない"_s << 28 << u"|はい|いいえ|どちらでもない|"_s;
    QTest::newRow("five with empty field 5") << 5.0 << u"1|2|3|4|"_s << 48 << u"1|2|3|4|"_s;
    QTest::newRow("four, 2 characters") << 4.0 << u"はい|12|a|b"_s << 48 << u"|はい|12|a|b"_s;
    QTest::newRow("mode 1 still places field 2") << 1.0 << u"A|B"_s << 48 << u"|A||B|"_s;
    QTest::newRow("ended: 5 characters") << 0.0 << u"abcde"_s << 36 << u"unchanged"_s;
    QTest::newRow("paused: 3 characters") << 100.0 << u"はい|いいえ"_s << 36 << u"unchanged"_s;
    QTest::newRow("6 characters in field 5") << 6.0 << u"a||||ｱｲｳｴｵｶ"_s << 28 << u"unchanged"_s;
    QTest::newRow("11 characters") << 100.0 << u"１２３４５６７８９０１"_s << 28 << u"unchanged"_s;
    QTest::newRow("12 characters")
        << 100.0 << u"１２３４５６７８９０１２"_s << 20 << u"unchanged"_s;
}

void TestTallyGraph::labels()
{
    QFETCH(double, mode);
    QFETCH(QString, fields);
    QFETCH(int, pointSize);
    QFETCH(QString, captions);

    const tally::ShownTexts shown = shownTexts(fields);
    const tally::LabelLayout layout = tally::layoutAnswerLabels(mode, shown);
    QCOMPARE(layout.pointSize, pointSize);
    QCOMPARE(tally::answerFontPointSize(shown), pointSize);
    QCOMPARE(layout.captions
                 ? QStringList(layout.captions->begin(), layout.captions->end()).join(u'|')
                 : u"unchanged"_s,
             captions);
}

void TestTallyGraph::percentLabel_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("sum");
    QTest::addColumn<QString>("label");

    QTest::newRow("1 of 1") << 1 << 1 << u"100%"_s;
    QTest::newRow("7 of 7") << 7 << 7 << u"100%"_s;
    QTest::newRow("1 of 2") << 1 << 2 << u"50%"_s;
    QTest::newRow("1 of 3 keeps the point") << 1 << 3 << u"33.%"_s;
    QTest::newRow("2 of 3 is cut, not rounded") << 2 << 3 << u"66.%"_s;
    QTest::newRow("1 of 8") << 1 << 8 << u"12.%"_s;
    QTest::newRow("1 of 12") << 1 << 12 << u"8.3%"_s;
    QTest::newRow("1 of 16") << 1 << 16 << u"6.2%"_s;
    QTest::newRow("1 of 50") << 1 << 50 << u"2%"_s;
    QTest::newRow("1 of 51") << 1 << 51 << u"1.9%"_s;
    QTest::newRow("0 of 5") << 0 << 5 << u"0%"_s;
}

void TestTallyGraph::percentLabel()
{
    QFETCH(int, count);
    QFETCH(int, sum);
    QFETCH(QString, label);

    QCOMPARE(tally::percentLabel(static_cast<float>(count) / static_cast<float>(sum)), label);
}

void TestTallyGraph::graph_data()
{
    // The graph starts as an earlier drawing left it: caption "前", top 100,
    // height 404 everywhere. bars: "caption top height" for positions 0 to 4.
    QTest::addColumn<bool>("percent");
    QTest::addColumn<double>("mode");
    QTest::addColumn<QList<float>>("answerCount");
    QTest::addColumn<int>("lvqSum");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("bars");

    const QString old = u"前 100 404|前 100 404|前 100 404|前 100 404|前 100 404"_s;
    QTest::newRow("counts 12 and 7 of two answers")
        << false << 2.0 << QList<float>{12, 7} << 19 << true
        << u" 100 0|12人 408 96| 100 0|7人 448 56| 100 0"_s;
    QTest::newRow("counts all 50 on one answer")
        << false << 3.0 << QList<float>{0, 50} << 50 << true
        << u" 100 0|0人 504 0|50人 104 400|0人 504 0| 100 0"_s;
    QTest::newRow("counts when ended") << false << 0.0 << QList<float>{3, 3} << 6 << false << old;
    QTest::newRow("counts when paused")
        << false << 100.0 << QList<float>{3, 3} << 6 << false << old;
    QTest::newRow("percent 1 and 2 of 3")
        << true << 2.0 << QList<float>{1, 2} << 3 << true
        << u" 100 0|33.% 370.67 133.33| 100 0|66.% 237.33 266.67| 100 0"_s;
    QTest::newRow("percent all on one bar") << true << 3.0 << QList<float>{0, 0, 7} << 7 << true
                                            << u" 100 0|0% 504 0|0% 504 0|100% 104 400| 100 0"_s;
    QTest::newRow("percent, answers beyond the shown count")
        << true << 2.0 << QList<float>{2, 0, 0, 2} << 4 << true
        << u" 100 0|50% 304 200| 100 0|0% 504 0| 100 0"_s;
    QTest::newRow("percent with no counted answer")
        << true << 2.0 << QList<float>{0, 0} << 0 << false << old;
    QTest::newRow("percent when paused")
        << true << 100.0 << QList<float>{1, 1} << 2 << false << old;
}

void TestTallyGraph::graph()
{
    QFETCH(bool, percent);
    QFETCH(double, mode);
    QFETCH(QList<float>, answerCount);
    QFETCH(int, lvqSum);
    QFETCH(bool, changed);
    QFETCH(QString, bars);

    tally::Graph graph;
    graph.fill({u"前"_s, 100, 404});
    std::array<float, tally::kBars> counts{};
    std::copy(answerCount.begin(), answerCount.end(), counts.begin());
    float lvqPercent = -1;
    // the last bar drawn shows the last answer placed: answer 2 for modes 1 to 2
    const int lastAnswer = std::max(2, int(mode));
    const float lastShare = changed ? answerCount.value(lastAnswer - 1) / float(lvqSum) : -1;

    QCOMPARE(percent ? tally::showPercentGraph(mode, counts, lvqSum, graph, lvqPercent)
                     : tally::showCountGraph(mode, counts, graph),
             changed);
    if (percent)
        QCOMPARE(lvqPercent, lastShare); // the share of the last bar drawn
    const QStringList expected = bars.split(u'|');
    for (int p = 0; p < tally::kBars; ++p) {
        const QStringList bar = expected[p].split(u' ');
        QCOMPARE(graph[p].caption, bar[0]);
        QVERIFY2(std::fabs(graph[p].top - bar[1].toDouble()) < 0.01, qPrintable(expected[p]));
        QVERIFY2(std::fabs(graph[p].height - bar[2].toDouble()) < 0.01, qPrintable(expected[p]));
    }
}

QTEST_APPLESS_MAIN(TestTallyGraph)
#include "tst_tallygraph.moc"
