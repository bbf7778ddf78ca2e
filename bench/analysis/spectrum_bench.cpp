// The whole spectrum step (mean removal, window, transform, scaling, magnitudes) for our
// transform and for FFTW's real transform, in one run: FFTW's measured plans differ from
// process to process, so only figures of the same run compare.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <random>
#include <vector>

#include "myfft.h"

namespace {

std::vector<float> Signal(int n) {
    std::vector<float> v(static_cast<size_t>(n));
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 1e-3f);
    for (int i = 0; i < n; i++)
        v[static_cast<size_t>(i)] =
            0.2f + 0.7f * static_cast<float>(std::sin(0.01 * i)) + noise(rng);
    return v;
}

TFFTSetting Setting() {
    TFFTSetting s; // mean removal, Hanning, corrected
    return s;
}

void BM_SpectrumOurs(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto rec = TMeasureRecord::Create();
    const std::vector<float> v = Signal(n);
    std::copy(v.begin(), v.end(), rec->VoltBuf.begin());
    rec->SigData.ad_dnum = n;
    TmyFFT fft;
    const TFFTSetting set = Setting();
    const TSpectrumWork work = SpectrumWorkOf(*rec);
    for (auto _ : state) {
        CalcSpectrum(fft, set, rec->SigData, work);
        benchmark::DoNotOptimize(rec->Spectrum.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_SpectrumFFTW(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto rec = TMeasureRecord::Create();
    float* in = fftwf_alloc_real(static_cast<size_t>(n));
    fftwf_complex* out = fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1));
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    const std::vector<float> v = Signal(n);
    std::copy(v.begin(), v.end(), rec->VoltBuf.begin());
    TmyFFT fft;
    const TFFTSetting set = Setting();
    float* spectrum = rec->Spectrum.data();
    for (auto _ : state) {
        fft.DCCut(n, rec->VoltBuf.data(), rec->FFTInput.data());
        fft.WindowHanning(n, rec->FFTInput.data(), set.fWinFuncAdjust, in);
        fftwf_execute(plan);
        const double dn = n;
        const double scale = 1.414213562 / dn;
        spectrum[0] = static_cast<float>(std::fabs(out[0][0] / dn));
        for (int k = 1; k < n / 2; k++) {
            const double re = static_cast<float>(out[k][0] * scale);
            const double im = static_cast<float>(out[k][1] * scale);
            spectrum[k] = static_cast<float>(std::sqrt(re * re + im * im));
        }
        benchmark::DoNotOptimize(spectrum);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
    fftwf_destroy_plan(plan);
    fftwf_free(out);
    fftwf_free(in);
}

} // namespace

BENCHMARK(BM_SpectrumOurs)->Arg(1024)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpectrumFFTW)->Arg(1024)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpectrumOurs)->Arg(1024)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpectrumFFTW)->Arg(1024)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
