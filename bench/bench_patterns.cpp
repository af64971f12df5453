// Pattern layers: one field of each kind at its defaults, at 1024 and 4096, on one thread.
#include <benchmark/benchmark.h>

#include "gen/Pattern.h"

namespace vorn {
namespace {

void BM_Pattern(benchmark::State& state) {
    const auto kind = static_cast<TPatternKind>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const TPatternParams params = DefaultPattern(kind, 1);
    TPatternField field;
    for (auto _ : state) {
        DrawPattern(params, size, field);
        benchmark::DoNotOptimize(field.height.data());
    }
    state.SetLabel(PatternKindInfo(kind).name);
}
BENCHMARK(BM_Pattern)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {1024, 4096}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace
} // namespace vorn
