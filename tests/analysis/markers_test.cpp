#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "markers.h"

namespace {

// A Rayleigh noise floor of median about 1e-6 with lines put in where the test wants them.
std::vector<float> Floor(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::exponential_distribution<double> p(1.0);
    std::vector<float> s(static_cast<size_t>(n / 2));
    for (auto& v : s)
        v = static_cast<float>(1.2e-6 * std::sqrt(p(rng)));
    return s;
}

} // namespace

// "Next peak" skips the noise's own wiggles and stops at each line in turn, both ways.
TEST(Markers, NextPeakStopsAtLinesOnly) {
    const int n = 65536;
    std::vector<float> s = Floor(n, 5);
    const int lines[] = {100, 2000, 2003, 30000};
    for (int k : lines) {
        s[static_cast<size_t>(k - 1)] = 3e-4f;
        s[static_cast<size_t>(k)] = 1e-3f;
        s[static_cast<size_t>(k + 1)] = 3e-4f;
    }
    const float floor = SpectrumMedian(s.data(), n);
    EXPECT_NEAR(floor, 1e-6, 0.1e-6);
    int at = 1;
    std::vector<int> right;
    for (int i = 0; i < 6; ++i) {
        const int next = NextPeakBin(s.data(), n, at, +1, floor);
        if (next == at) break;
        right.push_back(next);
        at = next;
    }
    EXPECT_EQ(right, (std::vector<int>{100, 2000, 2003, 30000}));
    std::vector<int> left;
    for (int i = 0; i < 6; ++i) {
        const int next = NextPeakBin(s.data(), n, at, -1, floor);
        if (next == at) break;
        left.push_back(next);
        at = next;
    }
    EXPECT_EQ(left, (std::vector<int>{2003, 2000, 100}));
    // A flat top counts once, at its first bin, from either side.
    std::vector<float> flat(64, 0.0f);
    flat[10] = flat[11] = flat[12] = 1.0f;
    EXPECT_EQ(NextPeakBin(flat.data(), 128, 1, +1, 1e-3f), 10);
    EXPECT_EQ(NextPeakBin(flat.data(), 128, 40, -1, 1e-3f), 10);
    EXPECT_EQ(NextPeakBin(flat.data(), 128, 10, +1, 1e-3f), 10); // nothing further: stays
}

TEST(Markers, SnapAndHarmonics) {
    std::vector<float> s(512, 0.0f);
    s[200] = 1.0f;
    s[203] = 2.0f;
    EXPECT_EQ(SnapToPeak(s.data(), 1024, 198, 3), 200);
    EXPECT_EQ(SnapToPeak(s.data(), 1024, 198, 5), 203);
    EXPECT_EQ(SnapToPeak(s.data(), 1024, -50, 2), 1); // clamped into the spectrum
    EXPECT_EQ(SnapToPeak(s.data(), 1024, 9999, 0), 511);
    EXPECT_EQ(SnapToPeak(nullptr, 1024, 5, 1), -1);

    // Bin 100 of 1000: 200..400 lie below n/2; 500 is n/2 itself; 600 folds to 400.
    const int n = 1000;
    EXPECT_EQ(HarmonicBins(100.0, n), (std::vector<int>{200, 300, 400, 400}));
    EXPECT_EQ(HarmonicBins(300.0, n), (std::vector<int>{400, 100, 200, 200}));
    // 4 x 250 lands on DC, 2 x and 6 x on n/2: left out.
    EXPECT_EQ(HarmonicBins(250.0, n), (std::vector<int>{250, 250}));
}

// "Next line" leaves the flank of a strong line: a smooth skirt falling 1 / d^3 from the line
// (as a window's leakage does) carries small maxima above the noise; only a maximum the
// spectrum falls 10 dB below on both sides, before rising higher, counts.
TEST(Markers, NextLineSkipsTheSkirtOfALine) {
    const int n = 8192;
    std::vector<float> s = Floor(n, 9);
    const int line = 1000;
    for (int d = -400; d <= 400; ++d) {
        const double skirt = d == 0 ? 1.0 : 1e-2 / std::pow(std::abs(d), 3.0);
        float& v = s[static_cast<size_t>(line + d)];
        v = static_cast<float>(std::max<double>(v, skirt));
    }
    // Wiggles on the skirt at 1006 and 1012, 5 % above the bin before them: maxima far above
    // the noise.
    for (int k : {1006, 1012})
        s[static_cast<size_t>(k)] = 1.05f * s[static_cast<size_t>(k - 1)];
    s[1500] = 1e-3f; // a real line, in the noise
    const float floor = SpectrumMedian(s.data(), n);
    EXPECT_EQ(NextPeakBin(s.data(), n, line, +1, floor), 1006) << "the wiggle counts there";
    EXPECT_EQ(NextLineBin(s.data(), n, line, +1, floor), 1500);
    EXPECT_EQ(NextLineBin(s.data(), n, 1500, -1, floor), line) << "the way back";
    EXPECT_EQ(NextLineBin(s.data(), n, 1500, +1, floor), 1500) << "nothing further";
    // Two lines 3 bins apart with 3e-4 between them: the lower one, 0.9e-3, stands
    // 20 log10(0.9e-3 / 3e-4) = 9.54 dB above the dip towards the higher one.
    std::vector<float> t = Floor(65536, 5);
    for (int k : {2000, 2003}) {
        t[static_cast<size_t>(k - 1)] = 3e-4f;
        t[static_cast<size_t>(k + 1)] = 3e-4f;
    }
    t[2000] = 1e-3f;
    t[2003] = 0.9e-3f;
    const float f2 = SpectrumMedian(t.data(), 65536);
    EXPECT_EQ(NextLineBin(t.data(), 65536, 2000, +1, f2), 2000) << "10 dB asked: not a line";
    EXPECT_EQ(NextLineBin(t.data(), 65536, 2000, +1, f2, 15.0f, 9.0f), 2003);
    EXPECT_EQ(NextLineBin(t.data(), 65536, 2003, -1, f2), 2000) << "the higher one always";
    EXPECT_EQ(NextLineBin(nullptr, 65536, 5, +1, f2), 5);
}
