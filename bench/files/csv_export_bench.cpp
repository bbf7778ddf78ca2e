// The CSV exports of a full 262144-sample block (time, code, volts) and of its 131072-bin
// spectrum: building the text, and the whole export with its atomic write (fsync included).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <stdlib.h>

#include "csv_export.h"
#include "record.h"

namespace {

struct Fixture {
    std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();
    std::string dir;

    Fixture() {
        char tmpl[] = "/tmp/kalvex-bench-XXXXXX";
        dir = mkdtemp(tmpl);
        std::mt19937 rng(1);
        std::normal_distribution<double> noise(0, 2e7);
        for (int i = 0; i < MAX_DATA_COUNT; ++i)
            rec->CodeBuf[i] = static_cast<uint32_t>(2147483648.0 + noise(rng));
        for (int k = 0; k < MAX_DATA_COUNT / 2; ++k)
            rec->Spectrum[k] = static_cast<float>(std::exp(-1e-4 * k) * 1e-3);
        rec->SigData.ad_dnum = MAX_DATA_COUNT;
        SetBlockRate(rec->SigData, 13, 1);
    }
    ~Fixture() {
        std::remove((dir + "/b.csv").c_str());
        std::remove((dir + "/s.csv").c_str());
        rmdir(dir.c_str());
    }
};

Fixture& Fx() {
    static Fixture fx;
    return fx;
}

void BM_BlockCsvText(benchmark::State& state) {
    Fixture& fx = Fx();
    for (auto _ : state)
        benchmark::DoNotOptimize(BlockCsvText(fx.rec->SigData));
}
BENCHMARK(BM_BlockCsvText)->Unit(benchmark::kMillisecond);

void BM_WriteBlockCsv(benchmark::State& state) {
    Fixture& fx = Fx();
    const std::string path = fx.dir + "/b.csv";
    for (auto _ : state)
        if (!WriteBlockCsv(path, fx.rec->SigData)) state.SkipWithError("write failed");
}
BENCHMARK(BM_WriteBlockCsv)->Unit(benchmark::kMillisecond);

void BM_WriteSpectrumCsv(benchmark::State& state) {
    Fixture& fx = Fx();
    const std::string path = fx.dir + "/s.csv";
    for (auto _ : state)
        if (!WriteSpectrumCsv(path, SpectrumCsvOf(fx.rec->SigData)))
            state.SkipWithError("write failed");
}
BENCHMARK(BM_WriteSpectrumCsv)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
