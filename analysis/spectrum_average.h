// TSpectrumAverager: averaging of the amplitude spectra of blocks measured back to back, in
// power: the mean of the last N blocks, an exponential mean with weight 1/N, or the largest
// value each bin has had (peak hold). Spectra are volts RMS per bin, as the spectrum step
// makes them; the average is again volts RMS per bin. Beside them it may average, the same
// way, each block's double-precision power spectrum of the converter figures
// (FigurePowerSpectrum), so that the figures of an averaged block need not be taken from the
// single-precision displayed spectrum.
#pragma once

#include <cstdint>
#include <vector>

enum class TAverageMode { Off, Linear, Exponential, PeakHold };

class TSpectrumAverager {
public:
    static constexpr int MAX_BLOCKS = 64;

    // n: blocks of the linear mean and the exponential weight (1..MAX_BLOCKS).
    void Setup(TAverageMode mode, int n);
    void Reset();
    // Adds one spectrum of bins values; a spectrum of another length starts afresh. power,
    // when given, is the block's power spectrum of the same bins (V^2 per bin).
    void Add(const float* spectrum, int bins, const double* power = nullptr);

    TAverageMode Mode() const { return ModeSel; }
    int Blocks() const { return Target; }
    // Blocks in the average now: up to Blocks() (linear, exponential), every block (peak hold).
    int Count() const { return Seen < Target || ModeSel == TAverageMode::PeakHold ? Seen : Target; }
    int Bins() const { return BinCount; }
    // The averaged spectrum (volts RMS per bin); empty before the first block.
    const std::vector<float>& Result() const { return Amp.Out; }
    // The averaged power spectrum (V^2 per bin; each bin rounded to single precision, about
    // 1e-7 relative); empty unless every block since the start or the last reset brought one.
    const std::vector<double>& PowerResult() const { return PowerOut; }

private:
    // One averaged quantity, kept as powers: the sum (linear), the mean (exponential) or the
    // largest (peak hold) per bin, with the ring of the last Target blocks for the linear mean.
    struct TTrack {
        std::vector<double> Acc;
        std::vector<std::vector<float>> Ring;
        int RingNext = 0;
        std::vector<float> Out; // amplitudes of the average
    };
    void Clear(TTrack& t) const;
    // value(k) is the block's power in bin k; the average goes to t.Out as amplitudes.
    template <class F> void AddTo(TTrack& t, F value);

    TAverageMode ModeSel = TAverageMode::Off;
    int Target = 1;
    int BinCount = 0;
    int Seen = 0;
    TTrack Amp;
    TTrack Power;
    bool PowerValid = true; // every block so far brought its power spectrum
    std::vector<double> PowerOut;
};
