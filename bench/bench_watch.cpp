// How soon a change in the folder Data shows, in one process, without the
// 500 ms timers (both are stopped here, so only change notification acts):
//  - answerToGraph: a pupil's answer file is rewritten; measured until the
//    teacher's main window has collected and refreshed its graph;
//  - commandToPanel: a seat's command file is rewritten with a new question;
//    measured until the pupil's panel shows it.
// Each iteration starts from a quiet folder (a pause longer than the
// watchers' minimum gap between two reactions is left out of the timing).
// Everything runs in a temporary classroom folder made the working directory.

#include "teacher/forms/frmMain.h"
#include "teacher/lesson/Lesson.h"
#include "teacher/lesson/ScriptedPrompter.h"

#include "student/forms/frmMain.h"
#include "student/forms/MessageSeam.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/TextFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int kQuietMs = 40;    // longer than either watcher's minimum gap
constexpr int kGiveUpMs = 5000; // a reaction that never comes fails the run

// Runs the event loop until done() holds; false after kGiveUpMs.
template <typename Done> bool spinUntil(Done done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > kGiveUpMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void answerToGraph(benchmark::State &state)
{
    ScriptedPrompter prompter;
    lesson::Lesson lesson(prompter);
    teacher::forms::frmMain window(lesson);
    window.setEndHandler([] {});
    window.Form_Load();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        state.SkipWithError("the main window was not shown");
        return;
    }
    lesson.OptLVQ_Click(5); // １２３４５
    lesson.CmdStart_Click();
    window.refresh();
    lesson.session().stopAnswering(); // only the watch collects from here on
    int collections = 0;
    QObject::connect(&lesson.session(), &lesson::LessonSession::changed,
                     [&collections] { ++collections; });
    QTest::qWait(kQuietMs);

    int value = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTest::qWait(kQuietMs);
        const int before = collections;
        const int answer = value++ % 5 + 1;
        const QByteArray bytes = exchange::answerFileBytes(answer);
        state.ResumeTiming();
        exchange::writeWholeFile(exchange::answerFilePath(1 + value % 50), bytes);
        if (!spinUntil([&] { return collections > before; })) {
            state.SkipWithError("no collection followed the answer");
            break;
        }
    }
    lesson.CmdPause_Click();
    window.refresh();
}

class QuietSeam : public student::forms::MessageSeam
{
public:
    void message(QWidget *, const QString &, const QString &, QMessageBox::Icon) override {}
    void notice(QWidget *, const QString &, const QString &) override {}
};

void commandToPanel(benchmark::State &state)
{
    auto commandBytes = [](const QString &question) {
        return exchange::cp932Lines({u" 2 "_s, question, u"はい"_s, u"いいえ"_s, QString(),
                                     QString(), QString(), u" 0 "_s});
    };
    student::Module1 module;
    module.SeatNumber = 7;
    module.CommandFilePath = exchange::commandFilePath(7);
    module.AnswerFilePath = exchange::answerFilePath(7);
    exchange::writeWholeFile(module.CommandFilePath, commandBytes(u"Q0"_s));
    QuietSeam seam;
    student::forms::frmMain panel(module, seam);
    panel.findChild<QTimer *>(u"LVQTimer"_s)->stop();
    panel.show();
    panel.PollCommandFile(); // the first read is the timer's, done here by hand
    auto *question = panel.findChild<QLabel *>(u"LblEnqete"_s);

    int number = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTest::qWait(kQuietMs);
        const QString text = u"Q"_s + QString::number(++number);
        const QByteArray bytes = commandBytes(text);
        state.ResumeTiming();
        exchange::writeWholeFile(module.CommandFilePath, bytes);
        if (!spinUntil([&] { return question->text() == text; })) {
            state.SkipWithError("the panel never showed the new question");
            break;
        }
    }
}

BENCHMARK(answerToGraph)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(commandToPanel)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()) || !QDir().mkdir(u"Data"_s)) {
        std::fprintf(stderr, "cannot prepare the temporary classroom folder\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
