// Scales, ticks, grids, ranges and bin ranges, checked against the worked examples.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "graph_scales.h"
#include "signal_stats.h"

namespace {

std::vector<int> Pos(const TGridLines& g) {
    return {g.pos.begin(), g.pos.begin() + g.count};
}

TFFTSetting Settings(int dBmax, int dBmin, uint8_t abso = 1) {
    TFFTSetting s;
    s.index_dB_max = dBmax;
    s.index_dB_min = dBmin;
    s.fAbsoGraph = abso;
    return s;
}

// A block of codes with its float volts as a measured block has them.
struct Block {
    std::vector<uint32_t> codes;
    std::vector<float> volts;
    TSignalData d;
    explicit Block(std::vector<uint32_t> c) : codes(std::move(c)), volts(codes.size(), 0.0f) {
        d.ad_dnum = static_cast<int32_t>(codes.size());
        d.pCode = codes.data();
        d.pVolt = volts.data();
        ConvertCodes(d);
    }
};

// Volts of k code steps, written from the converter's definition.
double Steps(double k) {
    return k * 2.5 / 2147483647.0;
}

} // namespace

TEST(GraphScales, FrequencyMappings) {
    // 1 Hz .. 1 kHz on 600 pixels: 50 Hz at trunc(339.79).
    EXPECT_EQ(LogX(600, 50, TraceLogAxis(1, 1000)), 339);
    EXPECT_EQ(LogX(600, 1, TraceLogAxis(1, 1000)), 0);
    EXPECT_EQ(LogX(600, 1000, TraceLogAxis(1, 1000)), 600) << "k is rounded up to a float";
    // Linear to 5 kHz: 2500 Hz in the middle.
    EXPECT_EQ(LinX(582, 2500, 5000), 291);
    // Degenerate axes map nowhere and never divide by zero.
    EXPECT_FALSE(TraceLogAxis(10, 10).valid);
    EXPECT_FALSE(GridLogAxis(0, 10).valid);
    EXPECT_EQ(LinX(600, 50, 0), 0);
}

TEST(GraphScales, dBMappingWithFloorAndTop) {
    const TdBAxis ax = MakedBAxis(Settings(2, 12));
    EXPECT_EQ(ax.D, 10);
    EXPECT_EQ(ax.F, -100.0f);
    EXPECT_EQ(ax.T, 0.0f);
    EXPECT_EQ(dBY(300, -50, ax), 150);
    EXPECT_EQ(dBY(300, -120, ax), 300) << "below the floor is drawn at the floor";
    EXPECT_LT(dBY(300, 6, ax), 0) << "above the top lies outside";
    // Relative mode always has its top at 0 dB.
    const TdBAxis rel = MakedBAxis(Settings(0, 12, 0));
    EXPECT_EQ(rel.T, 0.0f);
    // An inverted range is not an axis.
    EXPECT_FALSE(MakedBAxis(Settings(5, 5)).valid);
    EXPECT_EQ(dBY(300, -50, MakedBAxis(Settings(5, 5))), 0);
}

TEST(GraphScales, WaveformMappingPutsTheRangeOnTheMajorLines) {
    // -0.5 .. +1.0 V: span 2.25, base -0.875.
    const float span = (1.0f - -0.5f) * 1.5f, base = (1.0f + -0.5f) * 0.5f - span * 0.5f;
    EXPECT_FLOAT_EQ(span, 2.25f);
    EXPECT_FLOAT_EQ(base, -0.875f);
    EXPECT_EQ(WaveY(300, 1.0, base, span), 50);
    EXPECT_EQ(WaveY(300, -0.5, base, span), 250);
    EXPECT_EQ(WaveY(300, 0.25, base, span), 150);
    // A constant block is drawn on the centre line.
    EXPECT_EQ(WaveY(225, 5.0, 5.0, 0.0), 112);
    EXPECT_EQ(WaveY(225, 5.0, 5.0, NAN), 112);
}

TEST(GraphScales, LogTicks) {
    double f = 1;
    for (double e : {1.5, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0, 10.0, 15.0, 20.0})
        EXPECT_NEAR(f = NextLogTick(f), e, 1e-9);
    EXPECT_NEAR(NextLogTick(0.1), 0.15, 1e-12);
    EXPECT_NEAR(NextLogTick(0.9), 1.0, 1e-12);
    EXPECT_NEAR(NextLogTick(2500), 3000, 1e-9);
    // Float-rounded ticks below their decimal value still move on.
    EXPECT_GT(static_cast<float>(NextLogTick(0.7f)), 0.75f);
    EXPECT_GT(NextLogTick(0), 1e30);
}

TEST(GraphScales, LogFrequencyGrid) {
    // 1 Hz .. 1 kHz: majors at 10 and 100 Hz, 29 lines, none at the ends.
    const TGridLines g = LogFreqGridLines(600, 1, 1000);
    ASSERT_EQ(g.count, 29);
    int majors = 0;
    for (int i = 0; i < g.count; i++) {
        if (g.major[i]) {
            ++majors;
            EXPECT_TRUE(g.pos[i] == 200 || g.pos[i] == 400) << g.pos[i];
        }
        EXPECT_GT(g.pos[i], 0);
        EXPECT_LT(g.pos[i], 599);
    }
    EXPECT_EQ(majors, 2);
    // Every float end of the scale: no line on or beyond either end.
    for (int s = 0; s < 14; s++)
        for (int e = s + 1; e < 15; e++) {
            const TGridLines h = LogFreqGridLines(1000, FreqScaleValue(s), FreqScaleValue(e));
            for (int i = 0; i < h.count; i++) {
                EXPECT_GT(h.pos[i], 0) << s << " " << e;
                EXPECT_LT(h.pos[i], 999) << s << " " << e;
                if (i > 0) {
                    EXPECT_GT(h.pos[i], h.pos[i - 1]) << s << " " << e;
                }
            }
        }
    EXPECT_EQ(LogFreqGridLines(600, 10, 10).count, 0);
}

TEST(GraphScales, LinearFrequencyGrid) {
    EXPECT_EQ(LinFreqStep(2500), 200.0f);
    EXPECT_EQ(LinFreqStep(10), 1.0f);
    const TGridLines g = LinFreqGridLines(500, 2500);
    ASSERT_EQ(g.count, 12) << "every 200 Hz, the last at 2400 Hz";
    EXPECT_EQ(g.pos[0], 40);
    EXPECT_EQ(g.pos[11], 480);
    // Ends below 10 Hz: the steps of 10, 20 and 50 Hz a decade or more lower, so 9 lines at
    // the tenths of the width (within a pixel of W * k / 10), none at the end itself.
    for (double fE : {0.1, 0.2, 0.5, 1.0, 2.0, 5.0}) {
        const auto f = static_cast<float>(fE);
        EXPECT_NEAR(LinFreqStep(f), fE / 10, 1e-6 * fE);
        const TGridLines lines = LinFreqGridLines(600, f);
        ASSERT_EQ(lines.count, 9) << fE;
        for (int k = 1; k <= 9; k++)
            EXPECT_NEAR(lines.pos[static_cast<size_t>(k - 1)], 600.0 * k / 10, 1.0) << fE;
    }
    EXPECT_EQ(LinFreqStep(7), 0.5f);
    EXPECT_EQ(LinFreqGridLines(600, 1e-30f).count, 9);
    EXPECT_LE(LinFreqGridLines(600, 1e-45f).count, TGridLines::CAPACITY) << "bounded";
}

TEST(GraphScales, dBAndWaveGrids) {
    EXPECT_EQ(LogGriddBDivisions(2), 8);
    EXPECT_EQ(LogGriddBDivisions(3), 6);
    EXPECT_EQ(LogGriddBDivisions(1), 10);
    EXPECT_EQ(dBGridLines(100, 8).count, 7);
    EXPECT_EQ(Pos(dBGridLines(100, 2)), std::vector<int>{50});
    EXPECT_EQ(Pos(dBGridLines(100, 3)), (std::vector<int>{33, 66}));

    const TGridLines v = WaveVoltGridLines(225, 5);
    ASSERT_EQ(v.count, 14);
    EXPECT_EQ(v.pos[0], 97); // 112.5 - 15
    EXPECT_TRUE(v.major[8] && v.major[9]);
    EXPECT_EQ(v.pos[8], 37);
    EXPECT_EQ(v.pos[9], 187);

    const TGridLines t = WaveTimeGridLines(600, 102.4f);
    ASSERT_EQ(t.count, 19);
    EXPECT_NEAR(t.pos[9], 300, 1);
    EXPECT_EQ(WaveTimeGridLines(600, 0).count, 0);
}

TEST(GraphScales, VoltAndCodeRanges) {
    TSignalData empty;
    EXPECT_EQ(VoltRangeOne(empty, false).top, 0.001f);
    EXPECT_EQ(CodeRangeOne(empty).max, 2147483848u);
    EXPECT_EQ(CodeRangeOne(empty).min, 2147483448u);

    // +16, +256 and -256 codes (mean +16/3, as a double near 2^31 within 3e-7 codes); +4096 and
    // 0 codes (mean +2048).
    Block a({0x80000010u, 0x80000100u, 0x7FFFFF00u});
    EXPECT_NEAR(VoltRangeOne(a.d, false).top, Steps(256), 1e-18);
    EXPECT_NEAR(VoltRangeOne(a.d, true).top, Steps(256 - 16.0 / 3), 1e-15);
    EXPECT_NEAR(VoltRangeOne(a.d, true).bottom, Steps(-256 - 16.0 / 3), 1e-15);
    EXPECT_EQ(CodeRangeOne(a.d).max, 0x80000100u);

    Block b({0x80001000u, 0x80000000u});
    EXPECT_NEAR(VoltRangeBoth(a.d, b.d, false).bottom, Steps(-256), 1e-18);
    EXPECT_NEAR(VoltRangeBoth(a.d, b.d, false).top, Steps(4096), 1e-18);
    const TVoltRange bothDc = VoltRangeBoth(a.d, b.d, true);
    EXPECT_NEAR(bothDc.top, Steps(2048), 1e-18) << "each block's own mean is removed first";
    EXPECT_NEAR(bothDc.bottom, Steps(-2048), 1e-18);
    EXPECT_EQ(CodeRangeBoth(a.d, b.d).max, 0x80001000u);
    EXPECT_EQ(CodeRangeBoth(a.d, b.d).min, 0x7FFFFF00u);
    // An empty block is left out of the shared range, whatever its stale statistics.
    TSignalData stale;
    stale.VoltMax = 99;
    stale.VoltMin = -99;
    EXPECT_NEAR(VoltRangeBoth(a.d, stale, false).top, Steps(256), 1e-18);
    EXPECT_NEAR(VoltRangeBoth(stale, a.d, false).bottom, Steps(-256), 1e-18);
    EXPECT_EQ(CodeRangeBoth(stale, a.d).min, 0x7FFFFF00u);
    stale.ad_dnum = -5;
    EXPECT_EQ(BlockCount(stale), 0);
}

TEST(GraphScales, SpectrumBinRanges) {
    // 65536 samples at 10 ksps, 10 Hz .. 5 kHz: bins 65 .. 32767.
    const float df = 0.152587890625f;
    int j = 0, k = 0;
    ASSERT_TRUE(LogBinRange(df, 32768, 10, 5000, j, k));
    EXPECT_EQ(j, 65);
    EXPECT_EQ(k, 32767);
    // Linear to 100 Hz: bins 1 .. 655.
    EXPECT_EQ(LinLastBin(df, 32768, 100), 655);
    // A start beyond the last bin, no resolution, no bins: nothing to draw.
    EXPECT_FALSE(LogBinRange(df, 32768, 6000, 7000, j, k));
    EXPECT_FALSE(LogBinRange(0, 32768, 10, 5000, j, k));
    EXPECT_EQ(LinLastBin(0, 32768, 100), -1);
}

TEST(GraphScales, MouseToBinInvertsTheMappings) {
    const float df = 0.152587890625f;
    // Logarithmic 1 Hz .. 1 kHz: the x of a bin comes back to that bin or its neighbour.
    for (int bin : {7, 66, 655, 3277, 6553}) {
        const int x = LogX(600, bin * static_cast<double>(df), GridLogAxis(1, 1000));
        const int back = LogXToBin(600, x, 1, 1000, df);
        EXPECT_LE(back, bin) << bin;
        EXPECT_GE(LogX(600, (back + 1) * static_cast<double>(df), GridLogAxis(1, 1000)), x);
    }
    EXPECT_EQ(LogXToBin(600, 0, 1, 1000, df), 6);    // 1 Hz
    EXPECT_EQ(LinXToBin(500, 250, 5000, df), 16384); // 2500 Hz
    EXPECT_EQ(LogXToBin(600, 10, 10, 10, df), -1);
    EXPECT_EQ(LinXToBin(500, 10, 5000, 0), -1);
}

// dB indices from a damaged file, any int: the axis, the grids and the dB form stay defined
// (formed without overflow; the sanitizer build checks) and every loop is bounded by what it
// draws. Before, index_dB_min 2147483647 looped two billion times per grid.
TEST(GraphScales, AnydBIndicesGiveABoundedAxis) {
    const int32_t v[] = {INT32_MIN, INT32_MIN + 1, -1000000,      -1,       0, 1, 2, 3, 12, 17, 21,
                         22,        1000000,       INT32_MAX - 1, INT32_MAX};
    const float spectrum[4] = {1, 0.5f, 1e-9f, 0};
    float dB[4];
    for (int32_t top : v) {
        for (int32_t bottom : v) {
            for (uint8_t abso : {uint8_t{0}, uint8_t{1}}) {
                const TdBAxis ax = MakedBAxis(Settings(top, bottom, abso));
                const int64_t D = int64_t{bottom} - top;
                ASSERT_EQ(ax.D, D);
                ASSERT_EQ(ax.valid, D >= 1);
                for (float d : {-1e30f, ax.F, 0.0f, 50.0f, 1e30f, NAN}) {
                    const int y = dBY(225, d, ax);
                    ASSERT_LE(std::abs(y), 1 << 22) << top << " " << bottom;
                }
                for (int64_t n : {D, LogGriddBDivisions(D)}) {
                    const TGridLines g = dBGridLines(225, n);
                    ASSERT_LE(g.count, TGridLines::CAPACITY);
                    for (int i = 0; i < g.count; i++)
                        ASSERT_TRUE(g.pos[i] >= 0 && g.pos[i] < 225) << n;
                }
                ::ToDecibels(spectrum, 4, dB, ax.F, abso == 1, 1.0f);
                for (float x : dB)
                    ASSERT_FALSE(std::isnan(x));
            }
        }
    }
    EXPECT_EQ(dBGridLines(225, int64_t{INT32_MAX} - INT32_MIN).count, 0);
    EXPECT_EQ(LogGriddBDivisions(int64_t{INT32_MIN} - INT32_MAX), 0);
    EXPECT_EQ(LogGriddBDivisions(0), 0);
    // The most lines the settings can ask for are still drawn.
    EXPECT_EQ(dBGridLines(225, 20).count, 19);
}
