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
};

// The spectrum of a block: mean removal (fDCCut_FFT) or copy, window (whichWindowFunc,
// fWinFuncAdjust), forward transform, scaling to volts RMS per bin, amplitudes into
// data.pSpectrum (ad_dnum / 2 bins). The mean is removed from the codes when the block has
// them (DCCutCodes), from the volts otherwise; without mean removal the volts are copied.
// False, spectrum untouched, when ad_dnum is not a valid sample count or a pointer is missing.
bool CalcSpectrum(TmyFFT& fft, const TFFTSetting& setting, TSignalData& data,
                  const TSpectrumWork& work);
