// The one way a block becomes figures: level check (for a block fresh from the unit), volts,
// spectrum, largest line, RMS and level statistics. The window runs it after a measurement,
// after a data load and after a settings change; kalvex-cli runs it for every block it reads
// or measures.
#pragma once

#include "myfft.h"
#include "record.h"

#include <cstdint>

struct TBlockReadouts {
    int peakBin = -1;      // largest line (1..n/2-1), -1 without a spectrum
    float peakVolt = 0.0f; // its amplitude, volts RMS
    float peakdB = 0.0f;   // as the graph draws it: dBV or relative, floored at the dB axis
    double peakHz = 0.0;
    float rms = 0.0f;        // of bins 1..n/2-1
    float codeStdDev = 0.0f; // the deviation of the codes as the window holds it
    uint32_t codeMax = 0;
    uint32_t codeMin = 0;
};

enum class TBlockResult {
    Ok,
    LevelError, // a code at either end of the range (only when the level is checked)
    Invalid,    // not a sample count the spectrum takes
};

enum class TBlockSource {
    Measured, // fresh from the unit: the level is checked first
    Held,     // loaded from a file, or recomputed after a settings change
};

// sig must carry its count, codes, rate, filter and sample period, and point at its arrays.
// spectrumScale (TExtSetting::spectrumScale) scales the bins as CalcSpectrum says; the RMS
// readout is the block's RMS over bins 1..n/2-1 in every scale, the peak readouts are in the
// bins' unit (volts RMS, or V/sqrt(Hz) for the density).
TBlockResult RunBlockPipeline(TSignalData& sig, const TFFTSetting& fft, TmyFFT& engine,
                              const TSpectrumWork& work, TBlockSource source, TBlockReadouts& out,
                              int32_t spectrumScale = SPECTRUM_SCALE_RMS);

// The largest line of sig's spectrum (bins 1..n/2-1) into out's peak readouts.
void LineReadouts(const TSignalData& sig, const TFFTSetting& fft, TBlockReadouts& out);

// The dB value the graph and the readouts show for one bin's amplitude.
float ReadoutdB(float volt, const TFFTSetting& fft, float spectrumMax);
