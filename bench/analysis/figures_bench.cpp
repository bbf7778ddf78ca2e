// All converter figures of one block beside the displayed spectrum step of the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "figures.h"
#include "myfft.h"

namespace {

std::vector<uint32_t> Codes(int n) {
    std::vector<uint32_t> c(static_cast<size_t>(n));
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 2000.0);
    for (int i = 0; i < n; i++)
        c[static_cast<size_t>(i)] =
            static_cast<uint32_t>(2147483648.0 + 6e8 * std::sin(0.0613 * i) + noise(rng));
    return c;
}

void BM_Figures(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<uint32_t> codes = Codes(n);
    TFiguresInput in;
    in.codes = codes.data();
    in.n = n;
    in.window = static_cast<int>(state.range(1));
    in.deltaF = 10000.0 / n;
    TFigures f;
    for (auto _ : state) {
        ComputeFigures(in, f);
        benchmark::DoNotOptimize(f.snr_db);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_DisplayedSpectrum(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto rec = TMeasureRecord::Create();
    const std::vector<uint32_t> codes = Codes(n);
    for (int i = 0; i < n; i++)
        rec->VoltBuf[static_cast<size_t>(i)] =
            static_cast<float>((codes[static_cast<size_t>(i)] - 2147483648.0) * 2.5 / 2147483647.0);
    rec->SigData.ad_dnum = n;
    TmyFFT fft;
    const TFFTSetting set;
    const TSpectrumWork work = SpectrumWorkOf(*rec);
    for (auto _ : state) {
        CalcSpectrum(fft, set, rec->SigData, work);
        benchmark::DoNotOptimize(rec->Spectrum.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

} // namespace

BENCHMARK(BM_DisplayedSpectrum)->Arg(65536)->Arg(262144)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Figures)
    ->Args({65536, 1})
    ->Args({262144, 0})
    ->Args({262144, 1})
    ->Args({262144, 3})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
