// The teacher's lesson against the bare cost of what it has to do:
//  - one answer poll (every 500 ms on the user-interface thread) against
//    opening, reading and closing the same 51 answer files with nothing else;
//  - one publication against writing the same 102 files with nothing else;
//  - loading a questionnaire of 31 questions against reading its bytes;
//  - redrawing the graph after one bar changed, in counts and in percent:
//    the lesson's drawing, the window's refresh and the repaint it causes,
//    against repainting that bar and its count label with nothing changed.
// Everything runs in a temporary classroom folder made the working directory
// (in OMBRA_BENCH_FOLDER when set).
// The pairs are reported with their ratio at the end; with --benchmark_out
// the JSON holds the same numbers for bench/report.py.

#include "teacher/forms/frmMain.h"
#include "teacher/lesson/Lesson.h"
#include "teacher/lesson/ScriptedPrompter.h"

#include "exchange/Cp932.h"
#include "exchange/ExchangeFiles.h"
#include "exchange/TextFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSeats = exchange::kStudentsMax + 1;
constexpr int kQuestions = 31;
const QString kQuestionnaireName = u"Q31.txt"_s;

// Pairs of (measurement, floor) that the ratio lines compare.
const std::vector<std::pair<std::string, std::string>> kPairs = {
    {"lessonCollectTick", "collectFloor"},
    {"lessonPublish", "publishFloor"},
    {"questionnaireLoad", "questionnaireReadFloor"},
    {"countGraphRedraw", "countGraphRepaintFloor"},
    {"percentGraphRedraw", "percentGraphRepaintFloor"},
};

// 31 questions of 2 to 5 answers each, with comment lines and blank lines
// between the questions, as a teacher writes them.
QByteArray questionnaireBytes()
{
    const QString answers[5] = {u"はい"_s, u"いいえ"_s, u"どちらでもない"_s, u"わからない"_s,
                                u"答えたくない"_s};
    QString text = u"/ 授業アンケート（%1問）\r\n"_s.arg(kQuestions);
    for (int q = 1; q <= kQuestions; ++q) {
        if (q % 10 == 0)
            text += u"/ ここから第%1問\r\n"_s.arg(q);
        text += u"第%1問　今日の授業の内容はよくわかりましたか？"_s.arg(q) + u"\r\n"_s;
        const int count = 2 + q % 4;
        for (int a = 0; a < count; ++a)
            text += answers[a] + u"\r\n"_s;
        text += u"\r\n"_s;
    }
    return exchange::encodeCp932(text);
}

// Answers as pupils leave them mid-question: a mix of 1 to 5 and 0.
void writeAnswerFiles()
{
    for (int seat = 0; seat < kSeats; ++seat)
        exchange::writeWholeFile(exchange::answerFilePath(seat),
                                 exchange::answerFileBytes(seat % 6));
}

struct Classroom
{
    ScriptedPrompter prompter;
    lesson::Lesson lesson{prompter};
    std::unique_ptr<teacher::forms::frmMain> window;
};

Classroom *g_classroom = nullptr;

lesson::Lesson &theLesson()
{
    return g_classroom->lesson;
}

// --------------------------------------------------------------- answer poll

void lessonCollectTick(benchmark::State &state)
{
    writeAnswerFiles();
    lesson::Lesson &lesson = theLesson();
    lesson.LVQMode = 5;
    for (auto _ : state) {
        lesson.session().CollectAnswers();
        benchmark::DoNotOptimize(lesson.session().lastTally().lvqSum);
    }
    if (lesson.session().lastTally().lvqSum == 0)
        state.SkipWithError("the poll counted no answer");
}

void collectFloor(benchmark::State &state)
{
    writeAnswerFiles();
    std::array<QString, kSeats> paths;
    for (int seat = 0; seat < kSeats; ++seat)
        paths[seat] = exchange::answerFilePath(seat);
    char buffer[exchange::kAnswerFileReadLimit];
    for (auto _ : state) {
        for (const QString &path : paths) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                benchmark::DoNotOptimize(file.read(buffer, sizeof buffer));
            file.close();
        }
    }
}

// --------------------------------------------------------------- publication

void showFirstQuestion(lesson::Lesson &lesson)
{
    lesson.LVQMode = 3;
    lesson.ShownQuestion = {u"今日の授業の内容はよくわかりましたか？"_s,
                            u"はい"_s,
                            u"いいえ"_s,
                            u"どちらでもない"_s,
                            QString(),
                            QString()};
    lesson.OneAnswerOnly = 1;
}

void lessonPublish(benchmark::State &state)
{
    lesson::Lesson &lesson = theLesson();
    showFirstQuestion(lesson);
    for (auto _ : state)
        lesson.session().PublishToSeats(
            {lesson.LVQMode, lesson.ShownQuestion, lesson.OneAnswerOnly});
    if (!g_classroom->prompter.asked.isEmpty())
        state.SkipWithError("the publication failed");
}

void publishFloor(benchmark::State &state)
{
    lesson::Lesson &lesson = theLesson();
    showFirstQuestion(lesson);
    const QByteArray command =
        exchange::commandFileBytes(lesson.LVQMode, lesson.ShownQuestion, lesson.OneAnswerOnly);
    const QByteArray answer = exchange::answerFileBytes(0);
    std::array<std::pair<QString, QString>, kSeats> paths;
    for (int seat = 0; seat < kSeats; ++seat)
        paths[seat] = {exchange::commandFilePath(seat), exchange::answerFilePath(seat)};
    auto write = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            benchmark::DoNotOptimize(file.write(bytes));
        file.close();
    };
    for (auto _ : state) {
        for (const auto &[commandPath, answerPath] : paths) {
            write(commandPath, command);
            write(answerPath, answer);
        }
    }
}

// ------------------------------------------------------------ questionnaire

void questionnaireLoad(benchmark::State &state)
{
    lesson::Lesson &lesson = theLesson();
    lesson.document().setFileLocation(QDir::currentPath(), kQuestionnaireName);
    for (auto _ : state) {
        const bool loaded = lesson.document().SFileLoad();
        benchmark::DoNotOptimize(loaded);
    }
    if (lesson.document().lastQuestion() != kQuestions - 1)
        state.SkipWithError("the questionnaire did not load 31 questions");
}

void questionnaireReadFloor(benchmark::State &state)
{
    for (auto _ : state) {
        QFile file(kQuestionnaireName);
        if (file.open(QIODevice::ReadOnly))
            benchmark::DoNotOptimize(file.readAll());
        file.close();
    }
}

// ------------------------------------------------------------------ redraws

// Counts the paints of one bar, so that a redraw that paints nothing shows
// up as an error rather than as a fast time.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Two answers ("○×"); position 1 shows answer 1. Its count alternates
// between two values; the other counts stay, so exactly one bar and its
// label change per iteration. In percent the pupils move between answer 1
// and answer 4, which no bar shows: the number of counted answers stays and
// the share of answer 2 with it.
class GraphScene
{
public:
    GraphScene(benchmark::State &state, int display)
        : m_state(state), m_lesson(theLesson()), m_window(*g_classroom->window), m_display(display)
    {
        m_lesson.OptLVQ_Click(1);
        m_lesson.LayoutAnswerLabels();
        m_lesson.OptDisplay_Click(display);
        m_lesson.session().stopAnswering();
        tally::Tally tally;
        tally.answerCount = {3, 5, 0, 7, 0};
        tally.lvqSum = 15;
        m_lesson.session().replaceTally(tally);
        draw(false);
        QApplication::processEvents();
        m_bar = m_window.findChild<QWidget *>(u"ShapeGraph_1"_s);
        m_sum = m_window.findChild<QWidget *>(u"LblAnswerSum_1"_s);
        m_bar->installEventFilter(&m_counter);
    }

    ~GraphScene()
    {
        m_bar->removeEventFilter(&m_counter);
        m_state.counters["barPaints"] =
            benchmark::Counter(m_counter.paints, benchmark::Counter::kAvgIterations);
        if (m_counter.paints < m_state.iterations())
            m_state.SkipWithError("the bar was not repainted every time");
    }

    // The lesson's drawing of the tally with answer 1 at its higher or lower
    // count, and the window's copy of it.
    void draw(bool high)
    {
        tally::Tally tally = m_lesson.session().lastTally();
        tally.answerCount[0] = high ? 4 : 3;
        tally.answerCount[3] = high ? 6 : 7;
        m_lesson.session().replaceTally(tally);
        if (m_display == 0)
            m_lesson.ShowCountGraph();
        else
            m_lesson.ShowPercentGraph();
        m_window.refresh();
    }

    // What a change of the bar has to repaint at the least: the bar and the
    // count label above it, as they stand.
    void invalidateBar()
    {
        m_bar->update();
        m_sum->update();
    }

private:
    benchmark::State &m_state;
    lesson::Lesson &m_lesson;
    teacher::forms::frmMain &m_window;
    int m_display;
    QWidget *m_bar = nullptr;
    QWidget *m_sum = nullptr;
    PaintCounter m_counter;
};

void redraw(benchmark::State &state, int display)
{
    GraphScene scene(state, display);
    bool high = false;
    for (auto _ : state) {
        high = !high;
        scene.draw(high);
        QApplication::processEvents();
    }
}

void repaintFloor(benchmark::State &state, int display)
{
    GraphScene scene(state, display);
    for (auto _ : state) {
        scene.invalidateBar();
        QApplication::processEvents();
    }
}

void countGraphRedraw(benchmark::State &state)
{
    redraw(state, 0);
}

void countGraphRepaintFloor(benchmark::State &state)
{
    repaintFloor(state, 0);
}

void percentGraphRedraw(benchmark::State &state)
{
    redraw(state, 1);
}

void percentGraphRepaintFloor(benchmark::State &state)
{
    repaintFloor(state, 1);
}

// Wall-clock time decides the iteration counts: the file benchmarks spend
// much of it waiting for the file system, not on the processor.
BENCHMARK(lessonCollectTick)->UseRealTime();
BENCHMARK(collectFloor)->UseRealTime();
BENCHMARK(lessonPublish)->UseRealTime();
BENCHMARK(publishFloor)->UseRealTime();
BENCHMARK(questionnaireLoad)->UseRealTime();
BENCHMARK(questionnaireReadFloor)->UseRealTime();
BENCHMARK(countGraphRedraw)->UseRealTime();
BENCHMARK(countGraphRepaintFloor)->UseRealTime();
BENCHMARK(percentGraphRedraw)->UseRealTime();
BENCHMARK(percentGraphRepaintFloor)->UseRealTime();

// The console report, then each measurement against its floor.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            Total &total = m_totals[run.run_name.function_name];
            total.seconds += run.real_accumulated_time;
            total.iterations += static_cast<double>(run.iterations);
        }
    }

    void printRatios() const
    {
        std::printf("\n");
        for (const auto &[measured, floor] : kPairs) {
            const auto m = m_totals.find(measured);
            const auto f = m_totals.find(floor);
            if (m == m_totals.end() || f == m_totals.end())
                continue;
            const double measuredMicros = m->second.seconds / m->second.iterations * 1e6;
            const double floorMicros = f->second.seconds / f->second.iterations * 1e6;
            std::printf("%-20s %10.1f us   %-24s %10.1f us   ratio %6.2f\n", measured.c_str(),
                        measuredMicros, floor.c_str(), floorMicros, measuredMicros / floorMicros);
        }
    }

private:
    struct Total
    {
        double seconds = 0;
        double iterations = 0;
    };
    std::map<std::string, Total> m_totals;
};

} // namespace

int main(int argc, char **argv)
{
    // The redraws need a window but no screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    // OMBRA_BENCH_FOLDER puts the classroom on another file system, such as
    // a mounted share (bench/share_report.sh).
    const QString previous = QDir::currentPath();
    const QString parent = qEnvironmentVariable("OMBRA_BENCH_FOLDER");
    const auto dir = parent.isEmpty()
                         ? std::make_unique<QTemporaryDir>()
                         : std::make_unique<QTemporaryDir>(parent + u"/ombra-bench-XXXXXX"_s);
    if (!dir->isValid() || !QDir::setCurrent(dir->path()) || !QDir().mkdir(u"Data"_s)) {
        std::fprintf(stderr, "cannot prepare the temporary classroom folder\n");
        return 1;
    }
    if (!exchange::writeWholeFile(kQuestionnaireName, questionnaireBytes())) {
        std::fprintf(stderr, "cannot write the questionnaire\n");
        return 1;
    }

    int status = 0;
    // The lesson reads and writes the seats' files as the program does: on
    // threads of their own, the seats of a publication in parallel.
    exchange::BackgroundShareRunner shareRunner;
    {
        Classroom classroom;
        g_classroom = &classroom;
        classroom.window = std::make_unique<teacher::forms::frmMain>(classroom.lesson);
        classroom.window->setShareRunner(shareRunner);
        classroom.window->setEndHandler([] {});
        classroom.window->Form_Load();
        classroom.window->show();
        if (!QTest::qWaitForWindowExposed(classroom.window.get())) {
            std::fprintf(stderr, "the main window was not shown\n");
            status = 1;
        } else {
            QTest::qWait(50);
            RatioReporter reporter;
            benchmark::RunSpecifiedBenchmarks(&reporter);
            reporter.printRatios();
        }
        g_classroom = nullptr;
    }
    benchmark::Shutdown();
    QDir::setCurrent(previous);
    return status;
}
