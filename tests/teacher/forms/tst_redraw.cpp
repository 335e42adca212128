// What one answer poll repaints on the teacher's main window. The poll runs
// every 500 ms for the whole lesson; a tick that repaints every bar, label
// and button keeps the window busy painting while nothing has changed.

#include "PrivateSettings.h"
#include "MainWindowFixture.h"
#include "teacher/lesson/ClassroomFolder.h"
#include "teacher/lesson/ScriptedPrompter.h"

#include "exchange/ExchangeFiles.h"
#include "teacher/forms/frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QMap>
#include <QPaintEvent>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// (seat, value) pairs written into the seats' answer files.
using Answers = QList<std::pair<int, int>>;

// Counts the paint events every named widget of a window receives, and the
// area each of them painted.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *window)
    {
        const QList<QWidget *> widgets = window->findChildren<QWidget *>();
        for (QWidget *widget : widgets) {
            if (!widget->objectName().isEmpty())
                widget->installEventFilter(this);
        }
    }

    int paints(const QString &name) const { return m_paints.value(name); }
    // In the widget's own coordinates.
    QRegion paintedArea(const QString &name) const { return m_areas.value(name); }
    QStringList painted() const
    {
        QStringList names = m_paints.keys();
        names.sort();
        return names;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++m_paints[watched->objectName()];
            m_areas[watched->objectName()] += static_cast<QPaintEvent *>(event)->region();
        }
        return false;
    }

private:
    QMap<QString, int> m_paints;
    QMap<QString, QRegion> m_areas;
};

void writeAnswers(const Answers &answers)
{
    for (const auto &[seat, value] : answers)
        ClassroomFolder::write(exchange::answerFilePath(seat), exchange::answerFileBytes(value));
}

QString indexed(const QString &name, int index)
{
    return name + u'_' + QString::number(index);
}

// Lets every pending repaint happen.
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QTest::qWait(20);
    }
}

} // namespace

class TestRedraw : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { usePrivateSettings(); }
    void tickRepaintsOnlyWhatChanged_data();
    void tickRepaintsOnlyWhatChanged();
    void displaySwitchRepaintsTheBarsInUse();
};

void TestRedraw::tickRepaintsOnlyWhatChanged_data()
{
    QTest::addColumn<int>("answerSet"); // OptLVQ index: 1 "○×", 3 "１２３", 5 "１２３４５"
    QTest::addColumn<int>("display");   // 0 counts, 1 percent
    QTest::addColumn<Answers>("before"); // answers at the tick already painted
    QTest::addColumn<Answers>("change"); // answers written before the next tick
    QTest::addColumn<QList<int>>("changedBars");

    QTest::newRow("counts: the first answer to ○")
        << 1 << 0 << Answers{} << Answers{{5, 1}} << QList<int>{1};
    QTest::newRow("counts: one more pupil on ×")
        << 1 << 0 << Answers{{5, 1}, {9, 2}} << Answers{{12, 2}} << QList<int>{3};
    QTest::newRow("counts: five answers, the rightmost bar grows")
        << 5 << 0 << Answers{{1, 1}, {2, 3}} << Answers{{3, 5}} << QList<int>{4};
    QTest::newRow("counts: a pupil changes the answer")
        << 3 << 0 << Answers{{4, 1}, {7, 3}} << Answers{{4, 2}} << QList<int>{1, 2};
    QTest::newRow("counts: tick without any change")
        << 5 << 0 << Answers{{1, 1}, {2, 2}, {3, 5}} << Answers{} << QList<int>{};
    QTest::newRow("counts: an answer no bar shows")
        << 1 << 0 << Answers{{5, 1}} << Answers{{6, 4}} << QList<int>{};
    // Moving a pupil from a shown answer to one no bar shows keeps the number
    // of counted answers, so the other bar's share stays as it was.
    QTest::newRow("percent: a pupil moves to an answer no bar shows")
        << 1 << 1 << Answers{{1, 1}, {2, 1}, {3, 2}, {4, 4}} << Answers{{2, 4}} << QList<int>{1};
    QTest::newRow("percent: tick without any change")
        << 1 << 1 << Answers{{1, 1}, {3, 2}} << Answers{} << QList<int>{};
    QTest::newRow("percent: a new answer changes every share")
        << 3 << 1 << Answers{{1, 1}, {2, 2}} << Answers{{3, 3}} << QList<int>{1, 2, 3};
}

// After the window has painted a tick, the next tick repaints the bars whose
// count changed, their count labels and whatever those overlap; no other bar,
// label or button.
void TestRedraw::tickRepaintsOnlyWhatChanged()
{
    QFETCH(int, answerSet);
    QFETCH(int, display);
    QFETCH(Answers, before);
    QFETCH(Answers, change);
    QFETCH(QList<int>, changedBars);

    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;

    lesson.OptLVQ_Click(answerSet);
    lesson.CmdStart_Click();
    lesson.OptDisplay_Click(display);
    // The ticks are driven by hand, one at a time.
    lesson.session().stopAnswering();
    window.refresh();
    QVERIFY(!lesson.session().answering());

    writeAnswers(before);
    lesson.session().Timer1_Timer();
    window.refresh();
    settle();

    PaintCounter counter(&window);
    QWidget *client = window.centralWidget();
    std::array<QRect, tally::kBars> barBefore;
    for (int k = 0; k < tally::kBars; ++k)
        barBefore[k] = client->findChild<QWidget *>(indexed(u"ShapeGraph"_s, k))->geometry();
    const std::array<QString, tally::kBars> captionsBefore = [&] {
        std::array<QString, tally::kBars> captions;
        for (int k = 0; k < tally::kBars; ++k)
            captions[k] = lesson.view().graph[k].caption;
        return captions;
    }();

    auto *answered = client->findChild<QLabel *>(u"lblAnswered"_s);
    const QString answeredBefore = answered->text();

    writeAnswers(change);
    lesson.session().Timer1_Timer();
    window.refresh();
    settle();
    const bool answeredChanged = answered->text() != answeredBefore;

    // The area that had to be repainted: old and new place of every changed
    // bar and the count label above it.
    QRegion dirty;
    QSet<QString> changed;
    for (int k = 0; k < tally::kBars; ++k) {
        auto *bar = client->findChild<QWidget *>(indexed(u"ShapeGraph"_s, k));
        auto *sum = client->findChild<QLabel *>(indexed(u"LblAnswerSum"_s, k));
        const bool barChanged = bar->geometry() != barBefore[k];
        const bool sumChanged = sum->text() != captionsBefore[k];
        QCOMPARE(barChanged || sumChanged, changedBars.contains(k));
        if (barChanged) {
            dirty += barBefore[k] | bar->geometry();
            changed << bar->objectName();
        }
        if (sumChanged) {
            dirty += sum->geometry();
            changed << sum->objectName();
        }
    }

    // Every changed control shows its change; a bar that fell to height 0
    // has nothing left to paint, and the background must cover whatever part
    // of a bar's old place the bar no longer covers.
    for (const QString &name : std::as_const(changed)) {
        auto *widget = client->findChild<QWidget *>(name);
        if (widget->geometry().isEmpty())
            continue;
        QVERIFY2(counter.paints(name) > 0, qPrintable(name + u" was not repainted"_s));
    }
    for (int k = 0; k < tally::kBars; ++k) {
        auto *bar = client->findChild<QWidget *>(indexed(u"ShapeGraph"_s, k));
        if (bar->geometry() != barBefore[k] && !barBefore[k].isEmpty()) {
            QVERIFY2(QRegion(barBefore[k])
                         .subtracted(bar->geometry())
                         .subtracted(counter.paintedArea(u"client"_s))
                         .isEmpty(),
                     qPrintable(u"old place of "_s + bar->objectName() + u" not repainted"_s));
        }
    }

    // Nothing else repaints unless it lies under the changed area.
    const QList<QWidget *> children = client->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        const QString name = child->objectName();
        if (counter.paints(name) == 0 || changed.contains(name))
            continue;
        QVERIFY2(dirty.intersects(child->geometry()),
                 qPrintable(name + u" repainted though nothing over it changed; painted: "_s +
                            counter.painted().join(u", ")));
    }
    // The control bar lies below the graph: none of its controls repaints,
    // but for "回答 n人" on its caption line when the number changed.
    const QList<QWidget *> controls =
        client->findChild<QWidget *>(u"Frame1"_s)->findChildren<QWidget *>();
    for (QWidget *control : controls) {
        if (control == answered && answeredChanged) {
            QVERIFY(counter.paints(control->objectName()) > 0);
            continue;
        }
        QVERIFY2(counter.paints(control->objectName()) == 0,
                 qPrintable(control->objectName() + u" repainted"_s));
    }
    QCOMPARE(counter.paints(u"Frame1"_s), 0);
}

// Switching between counts and percent redraws every bar in use at once from
// the last tally; the control bar only repaints the option that changed.
void TestRedraw::displaySwitchRepaintsTheBarsInUse()
{
    MainWindowFixture fixture;
    QVERIFY(fixture.show());
    auto &[folder, prompter, lesson, window] = fixture;

    lesson.OptLVQ_Click(1);
    lesson.CmdStart_Click();
    lesson.session().stopAnswering();
    window.refresh();
    writeAnswers({{1, 1}, {2, 2}, {3, 2}});
    lesson.session().Timer1_Timer();
    window.refresh();
    settle();

    PaintCounter counter(&window);
    lesson.OptDisplay_Click(1);
    window.refresh();
    settle();

    for (int k : {1, 3}) {
        QVERIFY(counter.paints(indexed(u"ShapeGraph"_s, k)) > 0);
        QVERIFY(counter.paints(indexed(u"LblAnswerSum"_s, k)) > 0);
    }
    for (const QString &name : {u"CmdStart"_s, u"CmdPause"_s, u"CmdLVQClear"_s, u"Check1"_s,
                                u"OptLVQ_1"_s, u"ShapeGraph_0"_s, u"ShapeGraph_2"_s})
        QVERIFY2(counter.paints(name) == 0, qPrintable(name + u" repainted"_s));
}

QTEST_MAIN(TestRedraw)
#include "tst_redraw.moc"
