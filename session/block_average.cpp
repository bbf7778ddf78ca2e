#include "block_average.h"

#include "figures.h"
#include "signal_stats.h"

#include <algorithm>
#include <string>

void SetupAverager(TSpectrumAverager& avg, int32_t averageMode, int32_t averageCount) {
    TAverageMode mode = TAverageMode::Off;
    switch (averageMode) {
    case 1:
        mode = TAverageMode::Linear;
        break;
    case 2:
        mode = TAverageMode::Exponential;
        break;
    case 3:
        mode = TAverageMode::PeakHold;
        break;
    default:
        break;
    }
    avg.Setup(mode, std::clamp(averageCount, 1, TSpectrumAverager::MAX_BLOCKS));
}

void AverageBlockSpectrum(TSignalData& sig, const TFFTSetting& fft, TSpectrumAverager& avg,
                          TBlockReadouts& out) {
    if (avg.Mode() == TAverageMode::Off || !sig.pSpectrum || sig.ad_dnum < 4) return;
    const int n = sig.ad_dnum;
    const int bins = n / 2;
    // The pipeline's RMS may carry the scale's power factor: keep its ratio to the bins' RMS.
    const float blockRms = CalcRms(sig.pSpectrum, n);
    // The figures' own power spectrum of the codes (double, the window as the figures define
    // it) is averaged beside the displayed one, for the analysis window.
    std::vector<double> power;
    const bool withPower = sig.pCode &&
                           FigurePowerSpectrum(sig.pCode, n, fft.whichWindowFunc, power) &&
                           power.size() == static_cast<size_t>(bins);
    avg.Add(sig.pSpectrum, bins, withPower ? power.data() : nullptr);
    const std::vector<float>& a = avg.Result();
    std::copy(a.begin(), a.end(), sig.pSpectrum);
    const float avgRms = CalcRms(sig.pSpectrum, n);
    out.rms = blockRms > 0.0f ? out.rms * (avgRms / blockRms) : avgRms;
    LineReadouts(sig, fft, out);
}

std::string AverageCountText(const TSpectrumAverager& avg) {
    switch (avg.Mode()) {
    case TAverageMode::Off:
        return {};
    case TAverageMode::PeakHold:
        return "ピーク保持 " + std::to_string(avg.Count());
    default:
        return "平均 " + std::to_string(avg.Count()) + "/" + std::to_string(avg.Blocks());
    }
}
