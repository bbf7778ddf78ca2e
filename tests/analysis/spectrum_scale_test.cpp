// The tone and density scales of the spectrum against a direct DFT in double, with the windows
// written here from their definitions.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "myfft.h"

namespace {

constexpr double kPi = std::numbers::pi;

// The windows as defined: sample centres at i + 1/2.
double WindowValue(int kind, int i, int n) {
    const double x = (i + 0.5) / n;
    switch (kind) {
    case 1:
        return 0.5 * (1.0 - std::cos(2 * kPi * x));
    case 2:
        return 0.54 - 0.46 * std::cos(2 * kPi * x);
    case 3: {
        const double t = x - 0.5;
        return (0.54 + 0.46 * std::cos(2 * kPi * t)) * std::sin(4 * kPi * t) / (4 * kPi * t);
    }
    default:
        return 1.0;
    }
}

struct Reference {
    std::vector<double> absX; // |X[k]| of the windowed block, k = 0..n/2-1
    double s1 = 0, s2 = 0;
};

Reference DirectDft(const std::vector<double>& x, int kind, int firstBin, int lastBin) {
    const int n = static_cast<int>(x.size());
    Reference r;
    std::vector<double> xw(x.size());
    for (int i = 0; i < n; ++i) {
        const double w = WindowValue(kind, i, n);
        r.s1 += w;
        r.s2 += w * w;
        xw[i] = w * x[i];
    }
    r.absX.assign(static_cast<size_t>(n / 2), 0.0);
    for (int k = firstBin; k <= lastBin; ++k) {
        std::complex<double> sum = 0;
        for (int i = 0; i < n; ++i)
            sum += xw[i] * std::polar(1.0, -2 * kPi * k * static_cast<double>(i) / n);
        r.absX[k] = std::abs(sum);
    }
    return r;
}

struct Block {
    std::vector<float> input = std::vector<float>(DATA_BUF_LEN);
    std::vector<float> data = std::vector<float>(DATA_BUF_LEN);
    std::vector<float> table = std::vector<float>(DATA_BUF_LEN);
    std::vector<int32_t> index = std::vector<int32_t>(FFT_WORK_INDEX_LEN);
    std::vector<float> volts = std::vector<float>(DATA_BUF_LEN);
    std::vector<float> spectrum = std::vector<float>(SPEC_BUF_LEN);
    TSignalData sig;
    TmyFFT fft;
    double factor = 0;

    bool Run(const std::vector<double>& x, int window, int32_t scale, double deltaF,
             uint8_t adjust = 1) {
        for (size_t i = 0; i < x.size(); ++i)
            volts[i] = static_cast<float>(x[i]);
        TFFTSetting set;
        set.fDCCut_FFT = 0;
        set.whichWindowFunc = window;
        set.fWinFuncAdjust = adjust;
        sig.ad_dnum = static_cast<int32_t>(x.size());
        sig.pVolt = volts.data();
        sig.pSpectrum = spectrum.data();
        sig.deltaF = static_cast<float>(deltaF);
        return CalcSpectrum(fft, set, sig, {input.data(), data.data(), table.data(), index.data()},
                            scale, &factor);
    }
};

std::vector<double> Tone(int n, double cyclesPerBlock, double peak, double phase) {
    std::vector<double> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        x[i] = peak * std::sin(2 * kPi * cyclesPerBlock * i / n + phase);
    return x;
}

} // namespace

// An on-bin tone of 1 V peak reads 0.707107 Vrms with every window and either correction flag;
// the RMS from the bins stays the power-correct one of the definition.
TEST(SpectrumScale, OnBinToneReadsItsRmsWithEveryWindow) {
    constexpr int n = 4096;
    constexpr int bin = 300;
    const auto x = Tone(n, bin, 1.0, 0.3);
    Block b;
    for (int window = 0; window <= 3; ++window) {
        for (const uint8_t adjust : {uint8_t{0}, uint8_t{1}}) {
            ASSERT_TRUE(b.Run(x, window, SPECTRUM_SCALE_TONE, 2.44140625, adjust));
            EXPECT_NEAR(b.spectrum[bin], 1.0 / std::sqrt(2.0), 1e-5) << "window " << window;
        }
        // Power-correct RMS over bins 1..n/2-1 from the definition: sum 2|X|^2 / (N S2).
        const Reference r = DirectDft(x, window, 1, n / 2 - 1);
        double power = 0;
        for (int k = 1; k < n / 2; ++k)
            power += 2 * r.absX[k] * r.absX[k] / (n * r.s2);
        double sumSq = 0;
        for (int k = 1; k < n / 2; ++k)
            sumSq += double{b.spectrum[k]} * b.spectrum[k];
        EXPECT_NEAR(std::sqrt(sumSq * b.factor), std::sqrt(power), 1e-4 * std::sqrt(power))
            << "window " << window;
    }
}

// Off-bin tones: every bin around the tone equals |X[k]| sqrt(2) / S1 of a direct DFT.
// Tolerance 1e-5 V absolute (single-precision transform of a 1 V tone).
TEST(SpectrumScale, OffBinToneMatchesDirectDft) {
    constexpr int n = 2048;
    for (double cycles : {100.5, 257.25, 31.8}) {
        const auto x = Tone(n, cycles, 0.9, 1.1);
        Block b;
        for (int window = 0; window <= 3; ++window) {
            const int centre = static_cast<int>(cycles);
            const Reference r = DirectDft(x, window, centre - 6, centre + 6);
            ASSERT_TRUE(b.Run(x, window, SPECTRUM_SCALE_TONE, 1.0));
            for (int k = centre - 6; k <= centre + 6; ++k)
                EXPECT_NEAR(b.spectrum[k], r.absX[k] * std::sqrt(2.0) / r.s1, 1e-5)
                    << "window " << window << " bin " << k << " cycles " << cycles;
        }
    }
}

// Density bins equal sqrt(2 |X[k]|^2 / (N df S2)) of a direct DFT, bin by bin, for noise.
// Tolerance 1e-4 of the mean bin value.
TEST(SpectrumScale, DensityBinsMatchTheDefinition) {
    constexpr int n = 1024;
    constexpr double fs = 1000.0;
    std::mt19937 rng(4711);
    std::normal_distribution<double> g(0.0, 0.01);
    std::vector<double> x(n);
    for (auto& v : x)
        v = g(rng);
    Block b;
    for (int window = 0; window <= 3; ++window) {
        const Reference r = DirectDft(x, window, 1, n / 2 - 1);
        ASSERT_TRUE(b.Run(x, window, SPECTRUM_SCALE_DENSITY, fs / n));
        const double typical = 0.01 * std::sqrt(2.0 / fs);
        for (int k = 1; k < n / 2; ++k)
            ASSERT_NEAR(b.spectrum[k], std::sqrt(2 * r.absX[k] * r.absX[k] / (fs * r.s2)),
                        1e-4 * typical)
                << "window " << window << " bin " << k;
        EXPECT_DOUBLE_EQ(b.factor, static_cast<double>(static_cast<float>(fs / n)));
    }
}

// White noise of density d = s sqrt(2 / fs): the power mean of the bins reads d with every
// window (65536 samples, seed fixed; tolerance 2 % on d, about four standard errors for the
// flat-top's correlated bins). The total RMS from the bins, in the density and the tone scale,
// is the block's power-correct RMS of the definition: by Parseval, over bins 1..N/2-1,
// (N sum (w x)^2 - X[0]^2 - X[N/2]^2) / (N S2), computed here in double (tolerance 1e-4).
TEST(SpectrumScale, WhiteNoiseReadsItsDensity) {
    constexpr int n = 65536;
    constexpr double fs = 10000.0;
    constexpr double sigma = 2e-3;
    const double density = sigma * std::sqrt(2.0 / fs);
    std::mt19937 rng(20261209);
    std::normal_distribution<double> g(0.0, sigma);
    std::vector<double> x(n);
    for (auto& v : x)
        v = g(rng);
    Block b;
    for (int window = 0; window <= 3; ++window) {
        double energy = 0, x0 = 0, xHalf = 0, s2 = 0;
        for (int i = 0; i < n; ++i) {
            const double w = WindowValue(window, i, n);
            energy += w * x[i] * w * x[i];
            x0 += w * x[i];
            xHalf += (i % 2 ? -1 : 1) * w * x[i];
            s2 += w * w;
        }
        const double rms = std::sqrt((n * energy - x0 * x0 - xHalf * xHalf) / (n * s2));
        ASSERT_TRUE(b.Run(x, window, SPECTRUM_SCALE_DENSITY, fs / n));
        double sumSq = 0;
        for (int k = 1; k < n / 2; ++k)
            sumSq += double{b.spectrum[k]} * b.spectrum[k];
        EXPECT_NEAR(std::sqrt(sumSq / (n / 2 - 1)), density, 0.02 * density) << window;
        EXPECT_NEAR(std::sqrt(sumSq * b.factor), rms, 1e-4 * rms) << window;
        EXPECT_NEAR(rms, sigma, 0.03 * sigma) << window;
        // The tone scale's RMS from its bins is the same block RMS.
        ASSERT_TRUE(b.Run(x, window, SPECTRUM_SCALE_TONE, fs / n));
        double toneSq = 0;
        for (int k = 1; k < n / 2; ++k)
            toneSq += double{b.spectrum[k]} * b.spectrum[k];
        EXPECT_NEAR(std::sqrt(toneSq * b.factor), rms, 1e-4 * rms) << window;
    }
}

// Scale 0 (and an unknown scale) leaves the bins exactly as they were; the density scale
// refuses a block without a frequency step.
TEST(SpectrumScale, RmsScaleUnchangedAndDensityNeedsDeltaF) {
    constexpr int n = 1024;
    const auto x = Tone(n, 50.3, 0.5, 0.0);
    Block b;
    ASSERT_TRUE(b.Run(x, 1, SPECTRUM_SCALE_RMS, 1.0));
    EXPECT_EQ(b.factor, 1.0);
    const std::vector<float> before(b.spectrum.begin(), b.spectrum.begin() + n / 2);
    Block plain;
    TFFTSetting set;
    set.fDCCut_FFT = 0;
    for (int i = 0; i < n; ++i)
        plain.volts[i] = static_cast<float>(x[i]);
    plain.sig.ad_dnum = n;
    plain.sig.pVolt = plain.volts.data();
    plain.sig.pSpectrum = plain.spectrum.data();
    ASSERT_TRUE(CalcSpectrum(
        plain.fft, set, plain.sig,
        {plain.input.data(), plain.data.data(), plain.table.data(), plain.index.data()}));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), plain.spectrum.begin()));
    ASSERT_TRUE(b.Run(x, 1, 7, 1.0));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), b.spectrum.begin()));
    b.spectrum[5] = -1.0f;
    EXPECT_FALSE(b.Run(x, 1, SPECTRUM_SCALE_DENSITY, 0.0));
    EXPECT_EQ(b.spectrum[5], -1.0f);
}

#include "readout_text.h"

TEST(SpectrumScaleText, UnitsFollowTheScale) {
    EXPECT_EQ(PeakVoltText(0.5f, 1), (TValueText{"500.000", "mVrms"}));
    EXPECT_EQ(PeakVoltText(0.5f, 0), PeakVoltText(0.5f));
    EXPECT_EQ(PeakVoltText(4e-8f, 2), (TValueText{"40.000", "nV/√Hz"}));
    EXPECT_EQ(PeakVoltText(2.5e-6f, 2), (TValueText{"2.500", "uV/√Hz"}));
    EXPECT_EQ(PeakVoltText(0.001f, 2), (TValueText{"1.000", "mV/√Hz"}));
    EXPECT_EQ(PeakdBUnit(1, 2), "dBV/√Hz");
    EXPECT_EQ(PeakdBUnit(0, 2), "dB");
    EXPECT_EQ(PeakdBUnit(1, 1), "dBV");
    EXPECT_EQ(SpectrumUnitText(0), "Vrms");
    EXPECT_EQ(SpectrumUnitText(1), "Vrms");
    EXPECT_EQ(SpectrumUnitText(2), "V/√Hz");
}
