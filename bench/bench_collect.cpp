// One answer poll of the teacher's program against the bare cost of the file
// system: opening, reading and closing the same 51 answer files with nothing
// else. The poll runs every 500 ms on the user-interface thread, so whatever
// it adds on top of the floor is time the window cannot repaint.

#include "teacher/tally/Collect.h"

#include "exchange/ExchangeFiles.h"
#include "exchange/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kStudentsMax = exchange::kStudentsMax;

void collectTick(benchmark::State &state)
{
    tally::Tally tally;
    for (auto _ : state) {
        tally::collectAnswers(tally, kStudentsMax);
        benchmark::DoNotOptimize(tally.lvqSum);
    }
}

void openReadCloseFloor(benchmark::State &state)
{
    std::array<QString, kStudentsMax + 1> paths;
    for (int seat = 0; seat <= kStudentsMax; ++seat)
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

BENCHMARK(collectTick);
BENCHMARK(openReadCloseFloor);

// The console report, plus the ratio of the two benchmarks at the end.
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

    void printRatio() const
    {
        const auto tick = m_totals.find("collectTick");
        const auto floor = m_totals.find("openReadCloseFloor");
        if (tick == m_totals.end() || floor == m_totals.end())
            return;
        const double tickMicros = tick->second.seconds / tick->second.iterations * 1e6;
        const double floorMicros = floor->second.seconds / floor->second.iterations * 1e6;
        std::printf("\ncollect tick %.1f us, open/read/close floor %.1f us, ratio %.2f\n",
                    tickMicros, floorMicros, tickMicros / floorMicros);
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
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    // 51 answer files as pupils leave them mid-question: a mix of answers and 0.
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()) || !QDir().mkdir(u"Data"_s)) {
        std::fprintf(stderr, "cannot prepare the temporary folder\n");
        return 1;
    }
    for (int seat = 0; seat <= kStudentsMax; ++seat) {
        if (!exchange::writeWholeFile(exchange::answerFilePath(seat),
                                      exchange::answerFileBytes(seat % 6))) {
            std::fprintf(stderr, "cannot write the answer file of seat %d\n", seat);
            return 1;
        }
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio();
    benchmark::Shutdown();
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
