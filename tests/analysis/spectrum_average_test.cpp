#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "spectrum_average.h"

namespace {

std::vector<std::vector<float>> Blocks(int count, int bins, unsigned seed) {
    std::mt19937 rng(seed);
    std::exponential_distribution<double> power(1.0); // one bin of white noise: chi-square 2
    std::vector<std::vector<float>> b(static_cast<size_t>(count),
                                      std::vector<float>(static_cast<size_t>(bins)));
    for (auto& s : b)
        for (auto& v : s)
            v = static_cast<float>(std::sqrt(power(rng)) * 1e-6);
    return b;
}

} // namespace

// Each mode against its definition over the blocks themselves, in double.
TEST(SpectrumAverage, EachModeAsDefined) {
    const int bins = 257;
    const auto blocks = Blocks(40, bins, 2);
    TSpectrumAverager lin, exp, peak;
    lin.Setup(TAverageMode::Linear, 16);
    exp.Setup(TAverageMode::Exponential, 8);
    peak.Setup(TAverageMode::PeakHold, 16);
    std::vector<double> e(bins, 0.0);
    for (int b = 0; b < 40; ++b) {
        lin.Add(blocks[static_cast<size_t>(b)].data(), bins);
        exp.Add(blocks[static_cast<size_t>(b)].data(), bins);
        peak.Add(blocks[static_cast<size_t>(b)].data(), bins);
        EXPECT_EQ(lin.Count(), std::min(b + 1, 16));
        EXPECT_EQ(peak.Count(), b + 1);
        const double w = 1.0 / std::min(b + 1, 8);
        for (int k = 0; k < bins; ++k) {
            const double p = std::pow(
                static_cast<double>(blocks[static_cast<size_t>(b)][static_cast<size_t>(k)]), 2);
            e[static_cast<size_t>(k)] += w * (p - e[static_cast<size_t>(k)]);
        }
        for (int k = 0; k < bins; k += 16) {
            double sum = 0, hi = 0;
            for (int j = std::max(0, b - 15); j <= b; ++j)
                sum += std::pow(
                    static_cast<double>(blocks[static_cast<size_t>(j)][static_cast<size_t>(k)]), 2);
            for (int j = 0; j <= b; ++j)
                hi = std::max<double>(hi, blocks[static_cast<size_t>(j)][static_cast<size_t>(k)]);
            const double mean = std::sqrt(sum / std::min(b + 1, 16));
            ASSERT_NEAR(lin.Result()[static_cast<size_t>(k)], mean, mean * 1e-6) << b << " " << k;
            ASSERT_NEAR(exp.Result()[static_cast<size_t>(k)], std::sqrt(e[static_cast<size_t>(k)]),
                        std::sqrt(e[static_cast<size_t>(k)]) * 1e-6);
            ASSERT_EQ(peak.Result()[static_cast<size_t>(k)], hi);
        }
    }
}

// What averaging is for: the scatter of a noise floor shrinks as 1/sqrt(N) (in power); a reset
// or a block of another length starts afresh.
TEST(SpectrumAverage, SixteenBlocksSteadyTheFloor) {
    const int bins = 4096;
    const auto blocks = Blocks(16, bins, 9);
    TSpectrumAverager a;
    a.Setup(TAverageMode::Linear, 16);
    auto spread = [&](const std::vector<float>& s) {
        double m = 0, v = 0;
        for (float x : s)
            m += double(x) * x;
        m /= bins;
        for (float x : s)
            v += std::pow(double(x) * x - m, 2);
        return std::sqrt(v / bins) / m; // relative scatter of the power
    };
    a.Add(blocks[0].data(), bins);
    const double one = spread(a.Result());
    for (int b = 1; b < 16; ++b)
        a.Add(blocks[static_cast<size_t>(b)].data(), bins);
    EXPECT_NEAR(one, 1.0, 0.05);
    EXPECT_NEAR(spread(a.Result()), 0.25, 0.02);

    a.Reset();
    EXPECT_EQ(a.Count(), 0);
    EXPECT_TRUE(a.Result().empty());
    a.Add(blocks[0].data(), 100);
    a.Add(blocks[1].data(), bins);
    EXPECT_EQ(a.Count(), 1);
    EXPECT_EQ(a.Bins(), bins);
}

// The power average beside the spectra: the same mean (here linear over 4) of the powers given,
// to float rounding per bin; gone once a block comes without its power, back after a reset.
TEST(SpectrumAverage, PowerBesideTheSpectra) {
    const int bins = 64;
    const auto blocks = Blocks(6, bins, 4);
    std::vector<std::vector<double>> powers;
    for (const auto& s : blocks) {
        std::vector<double>& p = powers.emplace_back();
        for (float v : s)
            p.push_back(3.0 * static_cast<double>(v) * v + 1e-14); // not the spectrum's own
    }
    TSpectrumAverager a;
    a.Setup(TAverageMode::Linear, 4);
    for (size_t b = 0; b < blocks.size(); ++b)
        a.Add(blocks[b].data(), bins, powers[b].data());
    ASSERT_EQ(a.PowerResult().size(), static_cast<size_t>(bins));
    for (size_t k = 0; k < static_cast<size_t>(bins); ++k) {
        const double mean = (powers[2][k] + powers[3][k] + powers[4][k] + powers[5][k]) / 4.0;
        ASSERT_NEAR(a.PowerResult()[k], mean, 3e-7 * mean) << k;
    }
    a.Add(blocks[0].data(), bins);
    EXPECT_TRUE(a.PowerResult().empty());
    a.Add(blocks[1].data(), bins, powers[1].data());
    EXPECT_TRUE(a.PowerResult().empty()) << "the average still holds a block without power";
    a.Reset();
    a.Add(blocks[1].data(), bins, powers[1].data());
    ASSERT_EQ(a.PowerResult().size(), static_cast<size_t>(bins));
    EXPECT_NEAR(a.PowerResult()[7], powers[1][7], 3e-7 * powers[1][7]);
}
