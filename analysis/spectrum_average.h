// TSpectrumAverager: averaging of the amplitude spectra of blocks measured back to back, in
// power: the mean of the last N blocks, an exponential mean with weight 1/N, or the largest
// value each bin has had (peak hold). Spectra are volts RMS per bin, as the spectrum step
// makes them; the average is again volts RMS per bin.
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
    // Adds one spectrum of bins values; a spectrum of another length starts afresh.
    void Add(const float* spectrum, int bins);

    TAverageMode Mode() const { return ModeSel; }
    int Blocks() const { return Target; }
    // Blocks in the average now: up to Blocks() (linear, exponential), every block (peak hold).
    int Count() const { return Seen < Target || ModeSel == TAverageMode::PeakHold ? Seen : Target; }
    int Bins() const { return BinCount; }
    // The averaged spectrum (volts RMS per bin); empty before the first block.
    const std::vector<float>& Result() const { return Out; }

private:
    TAverageMode ModeSel = TAverageMode::Off;
    int Target = 1;
    int BinCount = 0;
    int Seen = 0;
    std::vector<double> Acc;              // sum of powers, mean power or largest amplitude
    std::vector<std::vector<float>> Ring; // the last Target spectra (linear mean)
    int RingNext = 0;
    std::vector<float> Out;
};
