#include "block_pipeline.h"

#include <cmath>

#include "signal_stats.h"
#include "tables.h"

float ReadoutdB(float volt, const TFFTSetting& fft, float spectrumMax) {
    // ToDecibels keeps bin 0 for DC; the value of interest goes in as bin 1.
    const float bins[2] = {0.0f, volt};
    float dB[2] = {};
    ToDecibels(bins, 2, dB, static_cast<float>(dBScaleValue(fft.index_dB_min)), fft.fAbsoGraph == 1,
               spectrumMax);
    return dB[1];
}

TBlockResult RunBlockPipeline(TSignalData& sig, const TFFTSetting& fft, TmyFFT& engine,
                              const TSpectrumWork& work, TBlockSource source, TBlockReadouts& out,
                              int32_t spectrumScale) {
    out = {};
    if (source == TBlockSource::Measured) {
        if (!CheckLevelAndConvert(sig)) return TBlockResult::LevelError;
    } else {
        ConvertCodes(sig);
    }
    out.codeMax = GetCodeMax(sig);
    out.codeMin = GetCodeMin(sig);
    out.codeStdDev = static_cast<float>(CalcCodeStdDev(sig));
    double powerFactor = 1.0;
    if (!CalcSpectrum(engine, fft, sig, work, spectrumScale, &powerFactor))
        return TBlockResult::Invalid;
    const int n = sig.ad_dnum;
    out.rms = CalcRms(sig.pSpectrum, n);
    if (powerFactor != 1.0) out.rms = static_cast<float>(out.rms * std::sqrt(powerFactor));
    LineReadouts(sig, fft, out);
    return TBlockResult::Ok;
}

void LineReadouts(const TSignalData& sig, const TFFTSetting& fft, TBlockReadouts& out) {
    const int n = sig.ad_dnum;
    out.peakBin = FindPeakBin(sig.pSpectrum, n);
    out.peakVolt = 0.0f;
    out.peakdB = 0.0f;
    out.peakHz = 0.0;
    if (out.peakBin > 0) {
        out.peakVolt = sig.pSpectrum[out.peakBin];
        out.peakdB = ReadoutdB(out.peakVolt, fft, SpectrumMax(sig.pSpectrum, n / 2));
        out.peakHz = out.peakBin * static_cast<double>(sig.deltaF);
    }
}
