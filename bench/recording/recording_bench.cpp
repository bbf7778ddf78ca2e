// The recording writer's throughput (it must keep up with 10 ksps by far) and the strip
// chart's summary of an hour at 10 ksps: its memory and one redraw's query at several zooms.
#include <benchmark/benchmark.h>

#include "recording_writer.h"
#include "strip_summary.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::vector<uint32_t> Codes(size_t n) {
    std::vector<uint32_t> c(n);
    std::mt19937 rng(3);
    for (auto& v : c)
        v = 0x80000000u + (rng() & 0xFFFFF);
    return c;
}

void BM_RecordingWrite(benchmark::State& state) {
    char path[] = "/tmp/kalvex-bench-XXXXXX";
    const int fd = mkstemp(path);
    close(fd);
    const std::vector<uint32_t> codes = Codes(1000);
    TRecordingHeader h;
    h.periodMs = 0.1;
    TRecordingWriter w;
    w.Open(path, h);
    for (auto _ : state)
        w.Append(codes.data(), 1000); // a tenth of a second at 10 ksps
    w.Close();
    std::remove(path);
    state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_StripQuery(benchmark::State& state) {
    static TStripSummary* s = [] {
        auto* sum = new TStripSummary();
        const std::vector<uint32_t> codes = Codes(100000);
        for (int i = 0; i < 360; ++i)
            sum->Add(codes.data(), codes.size()); // 36 M samples
        return sum;
    }();
    const uint64_t span = static_cast<uint64_t>(state.range(0));
    std::vector<TMinMax> cols;
    for (auto _ : state) {
        s->Query(s->Count() - span, s->Count(), 800, cols);
        benchmark::DoNotOptimize(cols.data());
    }
    state.counters["summary_MB"] = static_cast<double>(s->Bytes()) / 1e6;
}

} // namespace

BENCHMARK(BM_RecordingWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StripQuery)
    ->Arg(36000000)
    ->Arg(600000)
    ->Arg(10000)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
