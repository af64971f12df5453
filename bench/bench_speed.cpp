// The figures the speed work is judged by, as medians of repeated runs, each with its thread
// count: one texture (tile, view and 64 x 64 output) from seed 1 with the default settings and
// with the heavy soft and heavy hard settings (Steps 2048, brush 128, Shift), inside this process;
// loading the brush archive, and the MD5 that checks one 1 MiB record of it; and whole runs of the
// built pallimor-cli, started with posix_spawn and reaped with wait4 for their minor page faults.
// A summary at the end repeats every median, sets the archive listing beside process start
// (--help), each whole run beside its synthesis and two threads beside one and beside the cores the
// host lends. Run the executable without arguments (`--benchmark_filter=Process` and the like pick
// some figures). A new command-line figure is one line in ProcessFigures; a new in-process one is
// one RegisterBenchmark line in Register.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/VornDb.h"
#include "archive/VornImages.h"
#include "archive/VornMd5.h"
#include "bench/BenchArchive.h"
#include "bench/BenchProcess.h"
#include "engine/VornDef.h"
#include "engine/VornDevices.h"
#include "engine/soft/SoftRaster.h"
#include "gen/Generator.h"

namespace {

using namespace vorn;

using bench::ArchivePath;

TGenSettings HeavySettings(int brushType) {
    TGenSettings s;
    s.steps = 2048;
    s.brushSize = 3; // 128
    s.brushType = brushType;
    s.effect = 7; // Shift
    return s;
}

// One texture from seed 1 per iteration, so every iteration draws the same calls.
void Synthesis(benchmark::State& state, const TGenSettings& settings) {
    sd::SetRasterThreads(int(state.range(0)));
    TGenerator generator(settings);
    generator.ComponentsInit();
    if (generator.Startup(nullptr, ArchivePath()).failure != TStartupFailure::None) {
        state.SkipWithError("no archive or no device");
        return;
    }
    generator.TextureSize = 64;
    for (auto _ : state) {
        random::SetSeed(1);
        generator.FirstRender();
    }
    sd::SetRasterThreads(0);
}

// Opening the archive and loading its images into textures of an initialised device.
void ArchiveLoad(benchmark::State& state) {
    const std::string path = ArchivePath();
    for (auto _ : state) {
        TGenerator generator(TGenSettings{});
        generator.ComponentsInit();
        if (!generator.Device->Initialize()) {
            state.SkipWithError("no device");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        generator.Archive->SetFileName(path);
        if (!generator.Images->LoadFromVornDb(*generator.Archive)) {
            state.SkipWithError("archive not loaded");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

// The MD5 of one 1 MiB record (the background image's size): the records' checks are the largest
// share of the processor's time in loading the archive.
void RecordChecksum(benchmark::State& state) {
    std::vector<std::uint8_t> record(std::size_t(1) << 20);
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
    for (auto _ : state) benchmark::DoNotOptimize(Md5Of(record.data(), record.size()));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(record.size()));
}

// ---- whole runs of the command-line tool ----

using bench::CliPath;
using bench::RunProcess;
using bench::RunResult;
using bench::TempFolder;

// One command-line figure: the arguments after the program's name; "{archive}" and "{folder}"
// are replaced by the brush archive and a fresh temporary folder; threads is 0 for commands
// that draw nothing.
struct ProcessFigure {
    const char* name;
    std::vector<std::string> args;
    std::vector<int> threads;
    int iterations;
};

const std::vector<ProcessFigure>& ProcessFigures() {
    static const std::vector<ProcessFigure> figures = {
        {"Generate64",
         {"generate", "--seed", "1", "--size", "64", "--json", "--archive", "{archive}"},
         {1, 2},
         20},
        {"HeavyHard64",
         {"generate", "--seed", "1", "--size", "64", "--steps", "2048", "--brush-size", "128", "--brush-type",
          "hard", "--effect", "shift", "--json", "--archive", "{archive}"},
         {1, 2},
         3},
        {"Archive", {"archive", "{archive}"}, {0}, 20},
        {"Help", {"--help"}, {0}, 20}, // process start alone: the floor of every whole run
        {"Batch1000x256Jpeg",
         {"generate", "--seed", "1", "--size", "256", "--count", "1000", "--folder", "{folder}", "--type",
          "jpg", "--force", "--quiet", "--archive", "{archive}"},
         {2},
         1},
    };
    return figures;
}

void Process(benchmark::State& state, const ProcessFigure* figure, int threads) {
    TempFolder folder;
    std::vector<std::string> args{CliPath()};
    for (const std::string& a : figure->args)
        args.push_back(a == "{archive}" ? ArchivePath() : a == "{folder}" ? folder.path.string() : a);
    if (threads > 0) {
        args.push_back("--threads");
        args.push_back(std::to_string(threads));
    }
    long faults = 0;
    for (auto _ : state) {
        const RunResult run = RunProcess(args);
        if (!run.ok) {
            state.SkipWithError("the command failed");
            return;
        }
        state.SetIterationTime(run.seconds);
        faults += run.minorFaults;
    }
    state.counters["faults"] = benchmark::Counter(double(faults), benchmark::Counter::kAvgIterations);
}

// ---- registration and the summary ----

// The CPU column is the whole process's, raster workers included (what their watch for the next
// job costs); the time column and the summary are wall time.
void Threads(benchmark::internal::Benchmark* b) {
    b->ArgName("threads")->Arg(1)->Arg(2)->Arg(4);
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
    b->MeasureProcessCPUTime()->UseRealTime();
}

void Register() {
    benchmark::RegisterBenchmark("Synthesis/Default", Synthesis, TGenSettings{})
        ->Apply(Threads)
        ->MinTime(1.0);
    benchmark::RegisterBenchmark("Synthesis/Heavy", Synthesis, HeavySettings(1))
        ->Apply(Threads)
        ->Iterations(3);
    benchmark::RegisterBenchmark("Synthesis/HeavyHard", Synthesis, HeavySettings(0))
        ->Apply(Threads)
        ->Iterations(3);
    benchmark::RegisterBenchmark("ArchiveLoad", ArchiveLoad)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Iterations(10);
    benchmark::RegisterBenchmark("RecordChecksum", RecordChecksum)->Unit(benchmark::kMillisecond);
    for (const ProcessFigure& figure : ProcessFigures()) {
        for (const int threads : figure.threads) {
            std::string name = std::string("Process/") + figure.name;
            if (threads > 0) name += "/threads:" + std::to_string(threads);
            benchmark::RegisterBenchmark(name.c_str(), Process, &figure, threads)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(figure.iterations)
                ->Repetitions(figure.iterations > 1 ? 5 : 1)
                ->ReportAggregatesOnly(true);
        }
    }
}

// The console output as usual, and the medians (or the one run of a single repetition) kept.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    struct Figure {
        double ms = 0;
        double faults = -1;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (run.error_occurred || !(single || run.aggregate_name == "median")) continue;
            Figure f;
            f.ms = run.GetAdjustedRealTime();
            if (auto it = run.counters.find("faults"); it != run.counters.end()) f.faults = it->second.value;
            const std::string& args = run.run_name.args;
            m_figures[run.run_name.function_name + (args.empty() ? "" : "/" + args)] = f;
        }
    }

    void PrintSummary() const {
        std::printf("\nMedians (ms), with minor page faults of whole runs\n");
        for (const auto& [name, f] : m_figures) {
            if (f.faults >= 0)
                std::printf("  %-46s %10.2f  faults %.0f\n", name.c_str(), f.ms, f.faults);
            else
                std::printf("  %-46s %10.2f\n", name.c_str(), f.ms);
        }
        const Figure* archive = Find("Process/Archive");
        const Figure* help = Find("Process/Help");
        if (archive && help)
            std::printf("Start-up: archive %.2f ms whole, of which process start (--help) %.2f ms\n",
                        archive->ms, help->ms);
        // Two threads against one, beside what the host lends: the goal is 0.85 of it.
        const double lent = bench::LentCores();
        std::printf("Cores lent (of 2, an arithmetic loop alone and on two threads): %.2f, goal %.2f\n", lent,
                    0.85 * lent);
        for (const char* figure : {"Synthesis/Default", "Synthesis/Heavy", "Synthesis/HeavyHard"}) {
            const Figure* one = Find(std::string(figure) + "/threads:1");
            const Figure* two = Find(std::string(figure) + "/threads:2");
            if (one && two && two->ms > 0)
                std::printf("%s, 2 threads against 1: %.2fx\n", figure, one->ms / two->ms);
        }
        for (const char* threads : {"1", "2"}) {
            const Figure* whole = Find(std::string("Process/Generate64/threads:") + threads);
            const Figure* synthesis = Find(std::string("Synthesis/Default/threads:") + threads);
            if (whole && synthesis && synthesis->ms > 0)
                std::printf("Whole generate --size 64 / its synthesis, %s thread(s): %.2f\n", threads,
                            whole->ms / synthesis->ms);
        }
    }

private:
    const Figure* Find(const std::string& name) const {
        const auto it = m_figures.find(name);
        return it != m_figures.end() ? &it->second : nullptr;
    }

    std::map<std::string, Figure> m_figures;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Register();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
