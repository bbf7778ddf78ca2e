#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "histogram.h"

// Counts per code against a direct tally, missing codes, and the Gaussian over the bins.
TEST(CodeHistogram, CountsEveryCodeAndTheGaps) {
    std::mt19937 rng(11);
    std::normal_distribution<double> g(0.0, 6.0);
    std::vector<uint32_t> codes(20000);
    std::map<uint32_t, uint32_t> tally;
    for (auto& c : codes) {
        c = static_cast<uint32_t>(0x80001000 + std::lround(g(rng)));
        ++tally[c];
    }
    TCodeHistogram h;
    ASSERT_TRUE(BuildCodeHistogram(codes.data(), static_cast<int>(codes.size()), 1000, h));
    EXPECT_EQ(h.codesPerBin, 1u);
    const uint32_t lo = tally.begin()->first, hi = tally.rbegin()->first;
    EXPECT_EQ(h.firstCode, lo);
    ASSERT_EQ(h.counts.size(), hi - lo + 1);
    uint64_t missing = 0;
    for (uint32_t c = lo; c <= hi; ++c) {
        const auto it = tally.find(c);
        EXPECT_EQ(h.counts[c - lo], it == tally.end() ? 0u : it->second) << c;
        missing += it == tally.end();
    }
    EXPECT_EQ(h.missingCodes, missing);
    double expected = 0;
    for (size_t i = 0; i < h.counts.size(); ++i)
        expected += h.GaussianCount(i);
    EXPECT_NEAR(expected, 20000.0, 20000.0 * 1e-3); // the tails beyond the extremes are tiny
    EXPECT_NEAR(h.sigma, 6.0, 0.15);
    // One code wide, the bin holds about the density at its centre (within 1 / (24 sigma^2)).
    const double c = 0x80001000 - h.mean, s = h.sigma;
    EXPECT_NEAR(h.GaussianCount(0x80001000 - lo),
                20000.0 / (s * std::sqrt(2 * M_PI)) * std::exp(-c * c / (2 * s * s)), 3.0);
}

// A wide block is grouped in powers of two, aligned to their width, every sample counted once;
// the extremes of the code range do not overflow.
TEST(CodeHistogram, GroupsWideBlocksWithoutLosingSamples) {
    const std::vector<uint32_t> codes{0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    TCodeHistogram h;
    ASSERT_TRUE(BuildCodeHistogram(codes.data(), 6, 256, h));
    EXPECT_LE(h.counts.size(), 256u);
    EXPECT_EQ(h.codesPerBin & (h.codesPerBin - 1), 0u);
    EXPECT_EQ(h.firstCode % h.codesPerBin, 0u);
    uint64_t total = 0;
    for (uint32_t c : h.counts)
        total += c;
    EXPECT_EQ(total, 6u);
    EXPECT_EQ(h.counts.front(), 2u);
    EXPECT_EQ(h.counts.back(), 2u);
    EXPECT_EQ(h.missingCodes, 4294967296ull - 6);

    const std::vector<uint32_t> one(100, 12345u);
    ASSERT_TRUE(BuildCodeHistogram(one.data(), 100, 1, h));
    ASSERT_EQ(h.counts.size(), 1u);
    EXPECT_EQ(h.counts[0], 100u);
    EXPECT_EQ(h.sigma, 0.0);
    EXPECT_EQ(h.GaussianCount(0), 100.0);
    EXPECT_EQ(h.missingCodes, 0u);

    TCodeHistogram untouched;
    EXPECT_FALSE(BuildCodeHistogram(nullptr, 5, 10, untouched));
    EXPECT_FALSE(BuildCodeHistogram(one.data(), 0, 10, untouched));
    EXPECT_TRUE(untouched.counts.empty());
}
