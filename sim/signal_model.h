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
    double noiseRmsV = 0.0;
};

// CH0: 1 V peak at 1 kHz with a faint 2nd and 3rd harmonic and 3 uV of noise; other channels:
// a quiet input with 2 uV of noise.
TChannelSignal DefaultChannelSignal(int ch);

// "dc=V,sine=F:A[:P],...,noise=V" (any order, sine repeatable, "none" for a dead-quiet input).
// Anything else gives nullopt.
std::optional<TChannelSignal> ParseChannelSignal(std::string_view text);
std::string DescribeChannelSignal(const TChannelSignal& s);

// Volts to the unit's code: 0x80000000 at 0 V, +-2.5 V full scale, clamped at the ends.
uint32_t VoltToCode(double v);

// Produces the codes of one conversion run, sample k at time k * period.
class TSignalGenerator {
public:
    TSignalGenerator(const TChannelSignal& signal, double periodMs, uint64_t seed);
    uint32_t Next();
    // Samples that nobody will see: the signal moves on in time (the noise need not).
    void Skip(uint64_t n) { Index += n; }

private:
    TChannelSignal Signal;
    double PeriodS;
    uint64_t Index = 0;
    std::mt19937_64 Rng;
    std::normal_distribution<double> Gauss{0.0, 1.0};
};
