// The converter figures against a reference written from their definitions
// (figures_reference.h). Signals are made with fixed seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "figures.h"
#include "figures_reference.h"

namespace {

using namespace figref;

TFigures Compute(const std::vector<uint32_t>& codes, int window, double deltaF) {
    TFigures f;
    TFiguresInput in;
    in.codes = codes.data();
    in.n = static_cast<int>(codes.size());
    in.window = window;
    in.deltaF = deltaF;
    EXPECT_TRUE(ComputeFigures(in, f));
    return f;
}

} // namespace

// Every window, a coherent and a non-coherent tone with harmonics and noise: each figure as
// the definition gives it, to 1e-6 dB (the two transforms differ only in rounding).
TEST(Figures, MatchTheDefinitionForEveryWindow) {
    const int n = 2048;
    const double df = 10000.0 / n;
    unsigned seed = 7;
    for (double bin : {100.0, 137.37}) {
        const std::vector<Tone> tones{{bin, 1.0}, {2 * bin, 1e-4, 1.1}, {3 * bin, 3e-5, 2.0}};
        const auto codes = MakeCodes(n, tones, 4e-6, 0.01, seed++);
        for (int w = 0; w <= 3; ++w) {
            SCOPED_TRACE(testing::Message() << "bin " << bin << " window " << w);
            const RefFigures r = Reference(codes, w);
            const TFigures f = Compute(codes, w, df);
            ASSERT_TRUE(f.spectral);
            EXPECT_NEAR(f.fundamental_hz, r.meanBin * df, 1e-9 * df * n);
            EXPECT_NEAR(f.fundamental_vrms, std::sqrt(r.p1), 1e-9);
            EXPECT_NEAR(f.snr_db, Db(r.p1 / r.pn), 1e-6);
            EXPECT_NEAR(f.thd_db, Db(r.ph / r.p1), 1e-6);
            EXPECT_NEAR(f.sinad_db, Db(r.p1 / (r.pn + r.ph)), 1e-6);
            EXPECT_NEAR(f.sfdr_db, Db(r.p1 / r.ps), 1e-6);
            const double a1 = std::sqrt(r.p1), fs = 2.5 / std::sqrt(2.0);
            EXPECT_NEAR(f.fundamental_dbfs, 20 * std::log10(a1 / fs), 1e-6);
            EXPECT_NEAR(f.enob_bits,
                        (Db(r.p1 / (r.pn + r.ph)) - 1.76 + 20 * std::log10(fs / a1)) / 6.02, 1e-6);
            EXPECT_NEAR(f.noise_density_v_rthz, std::sqrt(r.pn / r.noiseBins / df),
                        1e-9 * f.noise_density_v_rthz);
            EXPECT_NEAR(f.band_noise_v, std::sqrt(r.pn), 1e-9 * f.band_noise_v);
            ASSERT_EQ(f.harmonics.size(), r.harmonics.size());
            for (size_t i = 0; i < r.harmonics.size(); ++i) {
                EXPECT_EQ(f.harmonics[i].order, r.harmonics[i].first);
                EXPECT_NEAR(f.harmonics[i].dbc, Db(r.harmonics[i].second / r.p1), 1e-6);
            }
        }
    }
}

// What an owner reads from a coherent tone (whole cycles in the block, as a test set-up makes
// it): 1 V peak is 707.1 mVrms, the harmonics and the noise come out at the levels put in,
// whatever the window.
TEST(Figures, ReadTheSignalThatWasPutIn) {
    const int n = 16384;
    const double df = 10000.0 / n;
    const double noise = 10e-6;
    const auto codes =
        MakeCodes(n, {{1001.0, 1.0}, {2002.0, 1e-5, 0.7}, {3003.0, 1e-5 / std::sqrt(10.0), 0.1}},
                  noise, 0.0, 99);
    for (int w = 0; w <= 3; ++w) {
        SCOPED_TRACE(w);
        const TFigures f = Compute(codes, w, df);
        ASSERT_TRUE(f.spectral);
        EXPECT_NEAR(f.fundamental_vrms, 1.0 / std::sqrt(2.0), 2e-4);
        EXPECT_NEAR(f.fundamental_hz, 1001.0 * df, 1e-6 * df);
        ASSERT_GE(f.harmonics.size(), 2u);
        EXPECT_NEAR(f.harmonics[0].dbc, -100.0, 1.0);
        EXPECT_NEAR(f.harmonics[1].dbc, -110.0, 1.0);
        EXPECT_NEAR(f.harmonics[0].hz, 2002.0 * df, 1e-6 * df);
        EXPECT_NEAR(f.thd_db, 10 * std::log10(1e-10 + 1e-11), 0.5);
        // This flat-top's skirt reaches past its 6 bins (about -63 dBc for a full-scale tone):
        // its noise figures measure the window, not the noise.
        if (w == 3) continue;
        // All the noise but the few bins under the components: SNR = 10 lg(0.5 / noise^2).
        EXPECT_NEAR(f.snr_db, Db(0.5 / (noise * noise)), 0.3);
        // White noise of 10 uV over 5 kHz: 10e-6 / sqrt(5000) V/rtHz.
        EXPECT_NEAR(f.noise_density_v_rthz, noise / std::sqrt(5000.0),
                    0.05 * noise / std::sqrt(5000.0));
    }
}

// A harmonic above half the rate folds back; one that lands on the fundamental or DC is left
// out; the band limits the band noise.
TEST(Figures, HarmonicsFoldAndSkipTakenBins) {
    const int n = 4096;
    const double df = 1.0;
    // 2 x 1500 = 3000 folds to 4096 - 3000 = 1096.
    const auto codes = MakeCodes(n, {{1500.0, 1.0}, {1096.0, 1e-3}}, 1e-6, 0.0, 3);
    const TFigures f = Compute(codes, 1, df);
    ASSERT_TRUE(f.spectral);
    ASSERT_FALSE(f.harmonics.empty());
    EXPECT_EQ(f.harmonics[0].order, 2);
    EXPECT_NEAR(f.harmonics[0].hz, 1096.0, 1e-6);
    EXPECT_NEAR(f.harmonics[0].dbc, -60.0, 0.1);

    // At n/3 every harmonic folds onto the fundamental or onto DC: none is kept.
    const auto third = MakeCodes(n, {{n / 3.0, 1.0}}, 1e-6, 0.0, 4);
    EXPECT_TRUE(Compute(third, 1, df).harmonics.empty());
    // Just below half the rate the second harmonic folds onto DC.
    const auto nearNyquist = MakeCodes(n, {{2047.0, 1.0}}, 1e-6, 0.0, 5);
    for (const THarmonicFigure& h : Compute(nearNyquist, 1, df).harmonics)
        EXPECT_NE(h.order, 2);

    TFiguresInput in;
    in.codes = codes.data();
    in.n = n;
    in.window = 1;
    in.deltaF = df;
    in.bandLoHz = 100;
    in.bandHiHz = 200;
    TFigures band;
    ASSERT_TRUE(ComputeFigures(in, band));
    // 101 of the 2002 noise bins (2044 above DC less 7 components of 7 bins) of white noise.
    EXPECT_NEAR(band.band_noise_v / f.band_noise_v, std::sqrt(101.0 / 2002.0),
                0.15 * std::sqrt(101.0 / 2002.0));
}

// Noise and resolution straight from the codes, for any count.
TEST(Figures, CodeNoiseAndResolution) {
    std::vector<uint32_t> codes(3000);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> d(-40, 40);
    double sum = 0;
    for (auto& c : codes) {
        c = static_cast<uint32_t>(0x90000000u + static_cast<uint32_t>(d(rng) + 100));
        sum += c;
    }
    const double mean = sum / 3000;
    double ss = 0;
    uint32_t lo = codes[0], hi = codes[0];
    for (uint32_t c : codes) {
        ss += (c - mean) * (c - mean);
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
    const TFigures f = Compute(codes, 1, 1.0);
    EXPECT_FALSE(f.spectral);
    EXPECT_DOUBLE_EQ(f.mean_code, mean);
    EXPECT_NEAR(f.mean_v, (mean - 2147483648.0) * kLsb, 1e-15);
    EXPECT_NEAR(f.noise_rms_code, std::sqrt(ss / 3000), 1e-9);
    EXPECT_EQ(f.noise_pp_code, hi - lo);
    EXPECT_NEAR(f.effective_bits, std::log2(5.0 / (std::sqrt(ss / 3000) * kLsb)), 1e-9);
    EXPECT_NEAR(f.noise_free_bits, std::log2(5.0 / ((hi - lo) * kLsb)), 1e-9);

    const std::vector<uint32_t> still(1024, 0x80000000u);
    const TFigures q = Compute(still, 0, 1.0);
    EXPECT_EQ(q.noise_rms_code, 0.0);
    EXPECT_EQ(q.effective_bits, 32.0);
    EXPECT_EQ(q.noise_free_bits, 32.0);
    EXPECT_FALSE(q.spectral); // no fundamental in a silent block

    TFigures untouched;
    untouched.mean_v = 42;
    TFiguresInput bad;
    EXPECT_FALSE(ComputeFigures(bad, untouched));
    bad.codes = still.data();
    bad.n = 1024;
    bad.window = 4;
    EXPECT_FALSE(ComputeFigures(bad, untouched));
    EXPECT_EQ(untouched.mean_v, 42);
}
