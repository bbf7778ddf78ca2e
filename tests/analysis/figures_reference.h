// The converter figures written from their definitions, for the tests: a direct DFT in
// double, bins labelled one by one, sums taken afresh. Shared by the figures tests and the
// analysis window's averaging tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

namespace figref {

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kLsb = 2.5 / 2147483647.0;

inline double RefWindow(int window, int i, int n) {
    const double c = (i + 0.5) / n;
    if (window == 1) return 0.5 - 0.5 * std::cos(2 * kPi * c);
    if (window == 2) return 0.54 - 0.46 * std::cos(2 * kPi * c);
    if (window == 3) {
        const double t = c - 0.5;
        return (0.54 + 0.46 * std::cos(2 * kPi * t)) * std::sin(4 * kPi * t) / (4 * kPi * t);
    }
    return 1.0;
}

// Codes of sum_j a_j sin(2 pi f_j i / fs + phase_j) + gaussian noise, rounded to codes.
struct Tone {
    double cyclesPerBlock; // frequency in bins
    double peakV;
    double phase = 0.3;
};
inline std::vector<uint32_t> MakeCodes(int n, const std::vector<Tone>& tones, double noiseV,
                                       double dcV, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> gauss(0.0, noiseV);
    std::vector<uint32_t> codes(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double v = dcV + (noiseV > 0 ? gauss(rng) : 0.0);
        for (const Tone& t : tones)
            v += t.peakV * std::sin(2 * kPi * t.cyclesPerBlock * i / n + t.phase);
        codes[static_cast<size_t>(i)] =
            static_cast<uint32_t>(std::llround(v / kLsb + 2147483648.0));
    }
    return codes;
}

// S[k] = 2 |X[k]|^2 / (N sum w^2), k = 1..n/2-1 (S[0] = 0), of the mean-removed windowed volts.
inline std::vector<double> RefPowerSpectrum(const std::vector<uint32_t>& codes, int window) {
    const int n = static_cast<int>(codes.size());
    double mean = 0;
    for (uint32_t c : codes)
        mean += c;
    mean /= n;
    std::vector<double> x(static_cast<size_t>(n));
    double w2 = 0;
    for (int i = 0; i < n; ++i) {
        const double w = RefWindow(window, i, n);
        w2 += w * w;
        x[static_cast<size_t>(i)] = (codes[static_cast<size_t>(i)] - mean) * kLsb * w;
    }
    std::vector<double> s(static_cast<size_t>(n / 2), 0.0);
    for (int k = 1; k < n / 2; ++k) {
        double re = 0, im = 0;
        for (int i = 0; i < n; ++i) {
            const double a = 2 * kPi * static_cast<double>((static_cast<long long>(k) * i) % n) / n;
            re += x[static_cast<size_t>(i)] * std::cos(a);
            im -= x[static_cast<size_t>(i)] * std::sin(a);
        }
        s[static_cast<size_t>(k)] = 2 * (re * re + im * im) / (n * w2);
    }
    return s;
}

struct RefFigures {
    double p1 = 0, meanBin = 0, pn = 0, ph = 0, ps = 0;
    int noiseBins = 0;
    std::vector<std::pair<int, double>> harmonics; // order, power
};

// The sums behind the figures of a power spectrum s (n/2 bins) under a window.
inline RefFigures ReferenceOfPower(const std::vector<double>& s, int window) {
    const int n = static_cast<int>(s.size()) * 2;
    const int b = window == 0 ? 1 : window == 3 ? 6 : 3;
    // owner: 0 noise, 1 fundamental, h harmonic, -1 DC
    std::vector<int> owner(static_cast<size_t>(n / 2), 0);
    for (int k = 0; k <= b; ++k)
        owner[static_cast<size_t>(k)] = -1;
    int peak = b + 1;
    for (int k = b + 1; k < n / 2; ++k)
        if (s[static_cast<size_t>(k)] > s[static_cast<size_t>(peak)]) peak = k;
    RefFigures r;
    double moment = 0;
    for (int k = peak - b; k <= peak + b; ++k)
        if (k > b && k < n / 2) {
            owner[static_cast<size_t>(k)] = 1;
            r.p1 += s[static_cast<size_t>(k)];
            moment += k * s[static_cast<size_t>(k)];
        }
    r.meanBin = moment / r.p1;
    for (int h = 2; h <= 6; ++h) {
        double m = std::fmod(h * r.meanBin, n);
        if (m > n / 2.0) m = n - m;
        const int c = static_cast<int>(std::lround(m));
        bool free = c - b > b;
        for (int k = c - b; free && k <= c + b; ++k)
            if (k < n / 2 && owner[static_cast<size_t>(k)] != 0) free = false;
        if (!free) continue;
        double p = 0;
        for (int k = c - b; k <= c + b; ++k)
            if (k < n / 2) {
                owner[static_cast<size_t>(k)] = h;
                p += s[static_cast<size_t>(k)];
            }
        r.harmonics.push_back({h, p});
        r.ph += p;
    }
    int spur = -1;
    for (int k = b + 1; k < n / 2; ++k) {
        if (owner[static_cast<size_t>(k)] == 0) {
            r.pn += s[static_cast<size_t>(k)];
            ++r.noiseBins;
        }
        if (owner[static_cast<size_t>(k)] != 1 &&
            (spur < 0 || s[static_cast<size_t>(k)] > s[static_cast<size_t>(spur)]))
            spur = k;
    }
    for (int k = spur - b; k <= spur + b; ++k)
        if (k > b && k < n / 2 && owner[static_cast<size_t>(k)] != 1)
            r.ps += s[static_cast<size_t>(k)];
    return r;
}

inline RefFigures Reference(const std::vector<uint32_t>& codes, int window) {
    return ReferenceOfPower(RefPowerSpectrum(codes, window), window);
}

inline double Db(double r) {
    return 10 * std::log10(r);
}

} // namespace figref
