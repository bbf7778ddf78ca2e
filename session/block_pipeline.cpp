#include "block_pipeline.h"

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

TBlockResult RunBlockPipeline(TSignalData& sig, const TADSetting& ad, const TFFTSetting& fft,
                              TmyFFT& engine, const TSpectrumWork& work, TBlockSource source,
                              TBlockReadouts& out) {
    out = {};
    if (source == TBlockSource::Measured) {
        if (!CheckLevelAndConvert(sig, ad)) return TBlockResult::LevelError;
    } else {
        ConvertCodes(sig, ad);
    }
    out.codeMax = GetCodeMax(sig);
    out.codeMin = GetCodeMin(sig);
    out.codeStdDev = static_cast<float>(CalcCodeStdDev(sig));
    if (!CalcSpectrum(engine, fft, sig, work)) return TBlockResult::Invalid;
    const int n = sig.ad_dnum;
    out.rms = CalcRms(sig.pSpectrum, n);
    out.peakBin = FindPeakBin(sig.pSpectrum, n);
    if (out.peakBin > 0) {
        out.peakVolt = sig.pSpectrum[out.peakBin];
        out.peakdB = ReadoutdB(out.peakVolt, fft, SpectrumMax(sig.pSpectrum, n / 2));
        out.peakHz = out.peakBin * static_cast<double>(sig.deltaF);
    }
    return TBlockResult::Ok;
}
