// The simulated unit's input signal: per channel a DC offset, sines and white noise, turned into
// the converter's 32-bit offset-binary codes.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

struct TSine {
    double freqHz = 0.0;
    double ampPeakV = 0.0;
    double phaseDeg = 0.0;
};

struct TChannelSignal {
    double dcV = 0.0;
    std::vector<TSine> sines;
    double noiseRmsV = 0.0; // white noise of this RMS at every rate
    // The converter's own noise, growing with the rate: a white density in V/sqrt(Hz) seen
    // through the digital filter's noise bandwidth, and a floor that does not depend on the
    // rate (ChannelNoiseRms). Both 0: none.
    double densityVrtHz = 0.0;
    double floorRmsV = 0.0;
};

// Noise bandwidth of the digital filters as a fraction of half the output rate: a sinc^3
// filter passes 11/20 of it, Sinc5+Sinc1 about 0.44.
inline constexpr double SIM_SINC3_NOISE_BW = 0.55;
inline constexpr double SIM_SINC5_NOISE_BW = 0.44;

// RMS of the noise added to each sample at a sample period of periodMs with the given filter:
// sqrt(noise^2 + floor^2 + density^2 * bw * rate / 2), rate = 1000 / periodMs, bw the filter's
// fraction above. Exactly noiseRmsV when density and floor are 0.
double ChannelNoiseRms(const TChannelSignal& s, double periodMs, bool sinc3);

// CH0: 1 V peak at 1 kHz with a faint 2nd and 3rd harmonic and 3 uV of noise; other channels:
// a quiet input whose noise grows with the rate (about 2 uV RMS at 10 ksps with Sinc3, 0.3 uV
// at the slowest rates).
TChannelSignal DefaultChannelSignal(int ch);

// "dc=V,sine=F:A[:P],...,noise=V" (any order, sine repeatable, "none" for a dead-quiet input),
// "hN=D" (N = 2..9) after a sine: its N-th harmonic, D dBc below it (N times its frequency,
// phase 0), "density=D" (V/sqrt(Hz)) and "floor=V" the rate-dependent noise. Anything else
// gives nullopt.
std::optional<TChannelSignal> ParseChannelSignal(std::string_view text);
std::string DescribeChannelSignal(const TChannelSignal& s);

// Volts to the unit's code: 0x80000000 at 0 V, +-2.5 V full scale, clamped at the ends.
uint32_t VoltToCode(double v);

// Produces the codes of one conversion run, sample k at time k * period.
class TSignalGenerator {
public:
    // sinc3 chooses the filter the rate-dependent noise is seen through.
    TSignalGenerator(const TChannelSignal& signal, double periodMs, uint64_t seed,
                     bool sinc3 = true);
    uint32_t Next();
    // Samples that nobody will see: the signal moves on in time (the noise need not).
    void Skip(uint64_t n) { Index += n; }

private:
    TChannelSignal Signal;
    double PeriodS;
    double NoiseRms;
    uint64_t Index = 0;
    std::mt19937_64 Rng;
    std::normal_distribution<double> Gauss{0.0, 1.0};
};
