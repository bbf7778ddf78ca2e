#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "signal_stats.h"

namespace {

struct Block {
    std::vector<uint32_t> codes;
    std::vector<float> volts;
    TSignalData sig;
    explicit Block(std::vector<uint32_t> c) : codes(std::move(c)), volts(codes.size(), -99.0f) {
        sig.ad_dnum = static_cast<int32_t>(codes.size());
        sig.pCode = codes.data();
        sig.pVolt = volts.data();
    }
};

TSignalData& Rate(Block& b, int32_t sel, uint8_t sinc3 = 1) {
    SetBlockRate(b.sig, sel, sinc3);
    return b.sig;
}

} // namespace

TEST(AnalysisLevel, AnyCodeAtARangeEndRejectsTheWholeBlock) {
    std::vector<uint32_t> c(1024, 0x80000000u);
    c.back() = 0xFFFFFFFFu;
    Block hi(c);
    EXPECT_FALSE(CheckLevelAndConvert(Rate(hi, 13)));
    EXPECT_EQ(hi.volts[0], -99.0f) << "converted before the check";
    c.back() = 0x80000000u;
    c[0] = 0x00000000u;
    Block lo(c);
    EXPECT_FALSE(CheckLevelAndConvert(Rate(lo, 13)));
    c[0] = 0x00000001u;
    c[1] = 0xFFFFFFFEu;
    Block inside(c);
    EXPECT_TRUE(CheckLevelAndConvert(Rate(inside, 13)));
    EXPECT_NEAR(inside.sig.VoltMax, 2.5f, 1e-6);
    EXPECT_NEAR(inside.sig.VoltMin, -2.5f, 1e-6);
}

TEST(AnalysisLevel, ConversionExtremesMeanAndResolution) {
    Block b({0x80000000u, 0xC0000000u, 0x40000000u, 0x80000000u});
    ConvertCodes(Rate(b, 13));
    EXPECT_EQ(b.volts[0], 0.0f);
    EXPECT_NEAR(b.volts[1], 1.25f, 1e-6);
    EXPECT_NEAR(b.volts[2], -1.25f, 1e-6);
    EXPECT_NEAR(b.sig.VoltAve, 0.0f, 1e-6);
    // All codes equal and negative: the running extremes must not stick at their start values.
    Block same(std::vector<uint32_t>(1024, 0x40000000u));
    ConvertCodes(Rate(same, 0));
    EXPECT_EQ(same.sig.VoltMax, same.sig.VoltMin);
    EXPECT_NEAR(same.sig.VoltAve, same.sig.VoltMax, 1e-5);
    EXPECT_NEAR(same.sig.deltaF, 0.0048828125, 1e-9);
    EXPECT_EQ(GetCodeMax(same.sig), GetCodeMin(same.sig));
    EXPECT_EQ(CalcCodeStdDev(same.sig), 0.0);
    Block fast(std::vector<uint32_t>(65536, 0x80000001u));
    ConvertCodes(Rate(fast, 13));
    EXPECT_EQ(fast.sig.deltaF, 0.152587890625f);
    ConvertCodes(Rate(same, 2, 0)); // the Sinc5 rate of index 2
    EXPECT_NEAR(same.sig.deltaF, 16.66 / 1024, 1e-6);
}

TEST(AnalysisLevel, CodeStatisticsAndEmptyBlocks) {
    // Population deviation (divisor N) of codes near the top of the unsigned range.
    Block top({0xFFFFFFF0u, 0xFFFFFFF2u, 0xFFFFFFF0u, 0xFFFFFFF2u});
    EXPECT_DOUBLE_EQ(CalcCodeStdDev(top.sig), 1.0);
    EXPECT_EQ(GetCodeMax(top.sig), 0xFFFFFFF2u);
    EXPECT_EQ(GetCodeMin(top.sig), 0xFFFFFFF0u);
    Block empty({});
    ConvertCodes(Rate(empty, 13));
    EXPECT_EQ(empty.sig.deltaF, 0.0f);
    EXPECT_EQ(GetCodeMax(empty.sig), 0u);
    EXPECT_EQ(GetCodeMin(empty.sig), 0xFFFFFFFFu);
    EXPECT_EQ(CalcCodeStdDev(empty.sig), 0.0);
    const std::vector<float> s = {100.0f, 3.0f, 4.0f, 0.0f, 99.0f};
    EXPECT_FLOAT_EQ(CalcRms(s.data(), 8), 5.0f); // DC and bin N/2 left out
}

TEST(AnalysisPeak, SearchAndStepping) {
    std::vector<float> s(512, 0.0f);
    EXPECT_EQ(FindPeakBin(s.data(), 1024), 1);
    s[0] = 10.0f; // DC never counts
    s[7] = 2.0f;
    s[300] = 2.0f;
    EXPECT_EQ(FindPeakBin(s.data(), 1024), 7);
    s[511] = 3.0f;
    EXPECT_EQ(FindPeakBin(s.data(), 1024), 511);
    EXPECT_EQ(FindPeakBin(s.data(), 2), -1);
    EXPECT_EQ(PeakForwardBin(510, 1024), 511);
    EXPECT_EQ(PeakForwardBin(511, 1024), 511);
    EXPECT_EQ(PeakBackBin(2, 1024), 1);
    EXPECT_EQ(PeakBackBin(1, 1024), 1);
    EXPECT_EQ(ClampBin(-5, 1024), 1);
    EXPECT_EQ(ClampBin(9999, 1024), 511);
    EXPECT_EQ(PeakForwardBin(3, 0), -1);
}

TEST(AnalysisPeak, DecibelsAbsoluteRelativeAndFloor) {
    const std::vector<float> s = {1.0f, 1.0f, 0.70710678f, 1e-8f, 0.0f, 2.0f};
    std::vector<float> db(s.size());
    ToDecibels(s.data(), 6, db.data(), -150.0f, true, 0.0f);
    EXPECT_EQ(db[0], -150.0f);
    EXPECT_NEAR(db[2], -3.0103f, 1e-3);
    EXPECT_EQ(db[3], -150.0f); // 10 nV is -160 dBV
    EXPECT_EQ(db[4], -150.0f);
    ToDecibels(s.data(), 6, db.data(), -60.0f, false, SpectrumMax(s.data(), 5));
    EXPECT_NEAR(db[1], 0.0f, 1e-6);
    EXPECT_NEAR(db[5], 6.0206f, 1e-3); // twice the measurement's largest bin
    ToDecibels(s.data(), 6, db.data(), -60.0f, false, 0.0f);
    EXPECT_EQ(db[1], -60.0f);
    // A value exactly at the float threshold stays on the floor.
    const std::vector<float> at = {0.0f, static_cast<float>(std::pow(10.0, -3.0))};
    ToDecibels(at.data(), 2, db.data(), -60.0f, true, 0.0f);
    EXPECT_EQ(db[1], -60.0f);
}

TEST(AnalysisPeak, MicroVoltsUseTheDivisorTwoToThe31) {
    EXPECT_EQ(CodeToMicroVolt(0x80000000u), 0.0);
    EXPECT_DOUBLE_EQ(CodeToMicroVolt(0xFFFFFFFFu), 2499999.998835846);
    EXPECT_DOUBLE_EQ(CodeToMicroVolt(0), -2500000.0);
    EXPECT_NEAR(CodeCountToMicroVolt(859), 1.0000076, 1e-7);
}
