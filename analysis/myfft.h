// TmyFFT: mean removal, windows, the in-place single-precision real FFT and the amplitudes;
// CalcSpectrum strings them together into volts RMS per bin.
#pragma once

#include <cstdint>
#include <memory>

#include "dialog_seam.h"
#include "record.h"

// The arrays one spectrum computation works in. Capacities: input, data and table at least
// DATA_BUF_LEN floats (the table needs N/2), index FFT_WORK_INDEX_LEN entries.
struct TSpectrumWork {
    float* FFTInput = nullptr;
    float* FFTData = nullptr;
    float* FFTWorkTable = nullptr;
    int32_t* FFTWorkIndex = nullptr;
};

// The record's own work areas.
TSpectrumWork SpectrumWorkOf(TMeasureRecord& rec);

class TmyFFT {
public:
    // The seam, when given, shows the division-by-zero box of DCCut; the result is false
    // either way, so callers without a seam still see the failure.
    explicit TmyFFT(TDialogSeam* seam = nullptr);
    ~TmyFFT();
    TmyFFT(const TmyFFT&) = delete;
    TmyFFT& operator=(const TmyFFT&) = delete;

    // output[i] = input[i] - mean (mean of a single-precision sum). False for n <= 0, output
    // untouched. input and output may be the same array.
    bool DCCut(int n, const float* input, float* output);
    // output[i] = (codes[i] - mean) in volts, the mean of the codes and the difference taken
    // in double, so a small signal on a large DC level survives the float rounding of the
    // volts. False for n <= 0 (the same box as DCCut), output untouched.
    bool DCCutCodes(int n, const uint32_t* codes, float* output);

    // output[i] = w(i) * input[i], times the window's RMS correction when adjust is 1.
    // False (nothing written) for n outside 1..MAX_DATA_COUNT.
    bool WindowHanning(int n, const float* input, uint8_t adjust, float* output);
    bool WindowHamming(int n, const float* input, uint8_t adjust, float* output);
    bool WindowFlatTop(int n, const float* input, uint8_t adjust, float* output);

    // In-place forward real transform (dir >= 0) of n values, n a power of two in 4..262144;
    // the twiddle and cosine tables (n/2 floats) and the index area (FFT_WORK_INDEX_LEN) are
    // rebuilt at every call. Result: a[0] = sum, a[1] = Nyquist term, a[2k] = sum x_j cos,
    // a[2k+1] = sum x_j sin (2 pi j k / n). False (nothing touched) for another n or dir < 0.
    static bool RealFFT(int n, int dir, float* table, int32_t* index, float* a);

    // spectrum[0] = |a[0]|, spectrum[k] = |a[2k] + i a[2k+1]| for k = 1..n/2-1.
    static void Magnitude(int n, const float* a, float* spectrum);

    // Sum of w(i) and of w(i)^2 over the window last applied (correction factor included), in
    // double from the float values used; 0 before any window.
    double WindowSum() const { return winSum_; }
    double WindowSumSq() const { return winSumSq_; }

private:
    enum class WinKind { None, Hanning, Hamming, FlatTop };
    bool ApplyWindow(WinKind kind, int n, const float* input, uint8_t adjust, float* output);
    void BuildWindow(WinKind kind, int n, uint8_t adjust);

    TDialogSeam* seam_;
    // The last window built (factor included): allocated once, reused while kind, n and the
    // correction flag stay the same.
    std::unique_ptr<float[]> win_;
    WinKind winKind_ = WinKind::None;
    int winN_ = 0;
    uint8_t winAdjust_ = 0;
    double winSum_ = 0.0;
    double winSumSq_ = 0.0;
};

// Spectrum amplitude scaling (TExtSetting::spectrumScale).
enum TSpectrumScale : int32_t {
    SPECTRUM_SCALE_RMS = 0,     // as fWinFuncAdjust says: the window's RMS correction or none
    SPECTRUM_SCALE_TONE = 1,    // tone amplitude, volts RMS (coherent gain)
    SPECTRUM_SCALE_DENSITY = 2, // noise density, V/sqrt(Hz) (equivalent noise bandwidth)
};

// The spectrum of a block: mean removal (fDCCut_FFT) or copy, window (whichWindowFunc,
// fWinFuncAdjust), forward transform, scaling to volts RMS per bin, amplitudes into
// data.pSpectrum (ad_dnum / 2 bins). The mean is removed from the codes when the block has
// them (DCCutCodes), from the volts otherwise; without mean removal the volts are copied.
// False, spectrum untouched, when ad_dnum is not a valid sample count or a pointer is missing.
//
// spectrumScale picks the bin values (X[k] the transform of the windowed block, N samples,
// S1 = sum w, S2 = sum w^2, df = data.deltaF):
//   0  today's values: |X[k]| sqrt(2) / N of the window as fWinFuncAdjust has it.
//   1  tone: |X[k]| sqrt(2) / S1 (DC: |X[0]| / S1). A tone of peak A on a bin reads A/sqrt(2)
//      with every window; the window's correction flag plays no part.
//   2  density: sqrt(P[k]) with the one-sided power density P[k] = 2 |X[k]|^2 / (N df S2)
//      in V^2/Hz (DC: |X[0]|^2 / (N df S2)). White noise of variance s^2 sampled at
//      fs = N df has the one-sided density d^2 = 2 s^2 / fs, and E|X[k]|^2 = s^2 S2, so
//      E P[k] = d^2: the power mean of the bins reads d (V/sqrt(Hz)) with every window.
//      Needs df > 0. The correction flag plays no part.
// powerFactor, when given, receives f such that sqrt(f * sum of the squared bins 1..N/2-1)
// is the RMS of the block over those bins (1 for scale 0, S1^2 / (N S2) for 1, df for 2).
// An unknown scale is taken as 0.
bool CalcSpectrum(TmyFFT& fft, const TFFTSetting& setting, TSignalData& data,
                  const TSpectrumWork& work, int32_t spectrumScale = SPECTRUM_SCALE_RMS,
                  double* powerFactor = nullptr);
