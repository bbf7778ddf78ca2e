// The simulated unit's signal model.
#include "signal_model.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(SimSignal, VoltsToCodes) {
    EXPECT_EQ(VoltToCode(0.0), 0x80000000u);
    EXPECT_EQ(VoltToCode(2.5), 0xFFFFFFFFu);
    EXPECT_EQ(VoltToCode(-2.5), 1u);
    EXPECT_EQ(VoltToCode(3.0), 0xFFFFFFFFu);
    EXPECT_EQ(VoltToCode(-3.0), 0u);
    EXPECT_EQ(VoltToCode(std::nan("")), 0u);
    EXPECT_EQ(VoltToCode(1.0), 0x80000000u + 858993459u);
}

TEST(SimSignal, ParsesChannelText) {
    auto s = ParseChannelSignal("dc=0.5,sine=50:0.25,sine=1e3:1:90,noise=1e-6");
    ASSERT_TRUE(s);
    EXPECT_DOUBLE_EQ(s->dcV, 0.5);
    ASSERT_EQ(s->sines.size(), 2u);
    EXPECT_DOUBLE_EQ(s->sines[1].freqHz, 1000.0);
    EXPECT_DOUBLE_EQ(s->sines[1].phaseDeg, 90.0);
    EXPECT_DOUBLE_EQ(s->noiseRmsV, 1e-6);
    auto back = ParseChannelSignal(DescribeChannelSignal(*s));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->sines.size(), 2u);
    auto none = ParseChannelSignal("none");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->sines.empty());
    EXPECT_EQ(none->noiseRmsV, 0.0);
    for (const char* bad : {"", "dc", "dc=", "dc=x", "sine=50", "sine=50:1:2:3", "noise=-1",
                            "sine=-5:1", "hum=50", "dc=1,,noise=0"})
        EXPECT_FALSE(ParseChannelSignal(bad)) << bad;
}

TEST(SimSignal, DefaultPictures) {
    // CH0: 1 V peak at 1 kHz (10 samples a cycle at 10 ksps), faint harmonics, little noise.
    TSignalGenerator ch0(DefaultChannelSignal(0), 0.1, 3);
    double vmax = -10, vmin = 10;
    double fundamental = 0;
    const int n = 10000;
    for (int k = 0; k < n; ++k) {
        double v = (static_cast<double>(ch0.Next()) - 2147483648.0) * 2.5 / 2147483647.0;
        vmax = std::max(vmax, v);
        vmin = std::min(vmin, v);
        fundamental += v * std::sin(2 * M_PI * k / 10.0);
    }
    EXPECT_NEAR(2.0 * fundamental / n, 1.0, 1e-4);
    // The samples sit at multiples of 36 degrees: the largest is sin(72 degrees).
    EXPECT_NEAR(vmax, std::sin(0.4 * M_PI), 2e-3);
    EXPECT_NEAR(vmin, -std::sin(0.4 * M_PI), 2e-3);
    // CH1: noise of a few microvolts around 0 V.
    TSignalGenerator ch1(DefaultChannelSignal(1), 0.1, 3);
    double sum2 = 0;
    for (int k = 0; k < n; ++k) {
        double v = (static_cast<double>(ch1.Next()) - 2147483648.0) * 2.5 / 2147483647.0;
        sum2 += v * v;
    }
    EXPECT_NEAR(std::sqrt(sum2 / n), 2e-6, 0.2e-6);
}
