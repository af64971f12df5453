// Materials against the default texture, whole runs of pallimor-cli side by side in one sitting:
// at 1024 the default texture and every shipped preset with the four maps (height, normal,
// roughness, ao); at 4096 the default texture and three presets (patterns only, patterns under
// the tile, a mask over the tile) with the four maps and a glTF material set. Medians of three
// rounds in milliseconds, each preset over the default texture, and the cores the host lends.
// Run without arguments.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchArchive.h"
#include "bench/BenchProcess.h"

namespace {

using namespace vorn;

std::vector<std::string> PresetNames() {
    std::vector<std::string> names;
    std::ifstream file(bench::CliPath().substr(0, bench::CliPath().rfind('/')) + "/presets.txt");
    for (std::string line; std::getline(file, line);)
        if (!line.empty() && line[0] != '#') names.push_back(line.substr(0, line.find(' ')));
    return names;
}

// Medians of rounds runs of generate with extra (none: the default texture) at size, with maps.
double MedianMs(int size, const std::vector<std::string>& extra, bool materialSet, const std::string& out) {
    std::vector<double> ms;
    for (int round = 0; round < 3; ++round) {
        std::vector<std::string> args{bench::CliPath(), "generate", "--seed", "1", "--size", std::to_string(size),
                                      "--force", "--archive", bench::ArchivePath(), "--out", out,
                                      "--maps", "height,normal,roughness,ao"};
        if (materialSet) args.insert(args.end(), {"--material", "gltf"});
        args.insert(args.end(), extra.begin(), extra.end());
        const bench::RunResult run = bench::RunProcess(args);
        if (!run.ok) return -1;
        ms.push_back(1000 * run.seconds);
    }
    return bench::Median(ms);
}

void Presets(benchmark::State& state, int size, const std::vector<std::string>& presets, bool materialSet) {
    bench::TempFolder folder;
    const std::string out = (folder.path / "t.png").string();
    for (auto _ : state) {
        const double base = MedianMs(size, {}, materialSet, out);
        if (base < 0) {
            state.SkipWithError("the command failed");
            return;
        }
        state.counters["default_ms"] = base;
        double worst = 0;
        for (const std::string& preset : presets) {
            const double ms = MedianMs(size, {"--preset", preset}, materialSet, out);
            if (ms < 0) {
                state.SkipWithError(("--preset " + preset + " failed").c_str());
                return;
            }
            state.counters[preset + "_ms"] = ms;
            worst = std::max(worst, ms / base);
        }
        state.counters["worst_over_default"] = worst;
    }
    state.counters["cores_lent"] = bench::LentCores();
}

void Presets1024(benchmark::State& state) {
    Presets(state, 1024, PresetNames(), false);
}

void Presets4096(benchmark::State& state) {
    Presets(state, 4096, {"brick-wall", "grassy-ground", "cobblestone"}, true);
}

} // namespace

BENCHMARK(Presets1024)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Presets4096)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
