#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "record.h"
#include "tables.h"

TEST(CoreRecord, CreatedRecordPointsItsBlocksAtItsOwnArrays) {
    auto r = TMeasureRecord::Create();
    EXPECT_EQ(r->SigData.pCode, r->CodeBuf.data());
    EXPECT_EQ(r->SigData.pVolt, r->VoltBuf.data());
    EXPECT_EQ(r->SigData.pSpectrum, r->Spectrum.data());
    EXPECT_EQ(r->RefData.pCode, r->RefCodeBuf.data());
    EXPECT_EQ(r->RefData.pVolt, r->RefVoltBuf.data());
    EXPECT_EQ(r->RefData.pSpectrum, r->RefSpectrum.data());
    EXPECT_EQ(r->SigData.ad_dnum, 0);
    EXPECT_EQ(r->RefData.ad_dnum, 0);
    EXPECT_GE(DATA_BUF_LEN, DataCountFromSel(8));
    EXPECT_GE(SPEC_BUF_LEN, DataCountFromSel(8) / 2);
}

TEST(CoreRecord, DefaultsAndDbRange) {
    TADSetting ad{7, 0, 1};
    SetDefaultADSetting(ad);
    EXPECT_EQ(ad, (TADSetting{13, 1, 0}));
    TFFTSetting fft;
    fft.DataCountSel = 2;
    fft.PenColorGraph = 1;
    TFileSetting file{1, "x", "y"};
    SetDefaultFFTSetting(fft, file);
    EXPECT_EQ(fft, TFFTSetting{});
    EXPECT_EQ(fft.DataCountMax, DataCountFromSel(fft.DataCountSel));
    EXPECT_EQ(file, TFileSetting{});
    EXPECT_TRUE(CheckdBRange(fft));

    TFFTSetting s;
    s.fAbsoGraph = 1;
    s.index_dB_max = 16, s.index_dB_min = 17;
    EXPECT_TRUE(CheckdBRange(s));
    s.index_dB_max = 17, s.index_dB_min = 17;
    EXPECT_FALSE(CheckdBRange(s));
    s.index_dB_max = 0, s.index_dB_min = 21;
    EXPECT_FALSE(CheckdBRange(s));
    s.index_dB_max = -1, s.index_dB_min = 2;
    EXPECT_FALSE(CheckdBRange(s));
    s.index_dB_max = -1, s.index_dB_min = 17;
    EXPECT_FALSE(CheckdBRange(s));
    s.index_dB_max = INT32_MIN, s.index_dB_min = 17;
    EXPECT_FALSE(CheckdBRange(s));
    s.index_dB_max = 2, s.index_dB_min = INT32_MAX;
    EXPECT_FALSE(CheckdBRange(s));
    s.fAbsoGraph = 0;
    s.index_dB_max = 2, s.index_dB_min = 20;
    EXPECT_TRUE(CheckdBRange(s));
    s.index_dB_max = 1;
    EXPECT_FALSE(CheckdBRange(s));
    s.index_dB_max = 2, s.index_dB_min = 2;
    EXPECT_FALSE(CheckdBRange(s));
    s.index_dB_max = 2, s.index_dB_min = INT32_MIN;
    EXPECT_FALSE(CheckdBRange(s));
}

TEST(CoreRecord, EveryAcceptedDbRangeLiesOnTheScale) {
    // Top 0..16 above a bottom 3..20: 150 pairs with bottoms 3..17, 17 each for 18..20.
    // Relative mode: top 0 dB over any of the 18 bottoms.
    std::vector<int32_t> indices{INT32_MIN, -1000, 1000, INT32_MAX};
    for (int32_t i = -3; i <= 24; ++i)
        indices.push_back(i);
    int absolute = 0, relative = 0;
    for (uint8_t mode : {uint8_t{0}, uint8_t{1}})
        for (int32_t top : indices)
            for (int32_t bottom : indices) {
                TFFTSetting s;
                s.fAbsoGraph = mode;
                s.index_dB_max = top;
                s.index_dB_min = bottom;
                if (!CheckdBRange(s)) continue;
                (mode == 1 ? absolute : relative)++;
                EXPECT_GE(top, 0);
                EXPECT_LE(bottom, DB_SCALE_COUNT - 1);
                EXPECT_LT(top, bottom);
            }
    EXPECT_EQ(absolute, 201);
    EXPECT_EQ(relative, 18);
    // The scale itself never overflows, whatever index reaches it.
    EXPECT_EQ(dBScaleValue(20), -180);
    EXPECT_EQ(dBScaleValue(INT32_MAX), INT_MIN);
    EXPECT_EQ(dBScaleValue(INT32_MIN), INT_MAX);
}

TEST(CoreRecord, CodesConvertToVoltsAroundMidScale) {
    EXPECT_EQ(CodeToVolt(0x80000000u), 0.0f);
    EXPECT_EQ(CodeToVolt(0x00000001u), -2.5f);
    EXPECT_EQ(CodeToVolt(0xFFFFFFFEu),
              static_cast<float>(2.5 * (2147483648.0 - 2.0) / 2147483647.0));
    EXPECT_EQ(CodeToVolt(0x80000000u + 859u), static_cast<float>(859 * 2.5 / 2147483647.0));
}

TEST(CoreRecord, SampleCountsArePowersOfTwoInRange) {
    EXPECT_TRUE(IsValidDataCount(1024));
    EXPECT_TRUE(IsValidDataCount(262144));
    EXPECT_FALSE(IsValidDataCount(1023));
    EXPECT_FALSE(IsValidDataCount(1500));
    EXPECT_FALSE(IsValidDataCount(262145));
    EXPECT_FALSE(IsValidDataCount(524288));
    EXPECT_FALSE(IsValidDataCount(0));
    EXPECT_EQ(DataCountSelFor(65536), 6);
    EXPECT_EQ(DataCountSelFor(1500), -1);
    EXPECT_EQ(DataCountFromSel(-1), 0);
}

TEST(CoreTables, RateTableTextsPeriodsAndReads) {
    EXPECT_EQ(RateText(13, 1), "10ksps");
    EXPECT_EQ(RateText(2, 1), "16.67sps");
    EXPECT_EQ(RateText(2, 0), "16.66sps");
    EXPECT_EQ(RateText(8, 0), "397.5sps");
    EXPECT_EQ(RateText(14, 1), "0");
    EXPECT_EQ(RateText(-1, 0), "0");
    EXPECT_FLOAT_EQ(SamplePeriodMs(2, 1), 59.988003f);
    EXPECT_FLOAT_EQ(SamplePeriodMs(2, 0), 60.024010f);
    EXPECT_FLOAT_EQ(SamplePeriodMs(5, 1), 16.666666f);
    EXPECT_FLOAT_EQ(SamplePeriodMs(8, 0), 2.5157232f);
    EXPECT_EQ(SamplePeriodMs(13, 1), 0.1f);
    EXPECT_EQ(SamplePeriodMs(99, 1), 0.0f);
    // Every block size divides evenly into the reads of every rate.
    for (int r = 0; r < RATE_COUNT; ++r)
        EXPECT_EQ(1024 % SamplesPerRead(r), 0) << r;
    EXPECT_EQ(SamplesPerRead(13), 64);
    // 10 ksps, 65536 samples: 0.15259 Hz per bin.
    EXPECT_NEAR(1000.0f / (SamplePeriodMs(13, 1) * 65536), 0.15259, 1e-5);
    EXPECT_EQ(FreqScaleHz(0), 0.1);
    EXPECT_EQ(FreqScaleHz(14), 5000.0);
    EXPECT_EQ(dBScaleValue(17), -150);
    EXPECT_EQ(dBScaleValue(2), 0);
}
