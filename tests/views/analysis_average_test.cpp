// The analysis figures of a continuous measurement with spectrum averaging: blocks go through
// the window's own steps (pipeline, averager), and the spectral figures must be those of the
// averaged power spectrum, computed here from the blocks' codes by a direct DFT in double
// (figures_reference.h); the code figures and the histogram stay the last block's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "analysis_model.h"
#include "block_average.h"
#include "block_pipeline.h"
#include "figures_reference.h"

namespace {

using namespace figref;

constexpr int kN = 1024;

// Blocks as the main window handles them in continuous measurement.
struct TRun {
    std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();
    TmyFFT engine;
    TSpectrumAverager avg;

    TRun(int window, int32_t scale, uint8_t adjust) {
        rec->FFTSetting.whichWindowFunc = window;
        rec->FFTSetting.fWinFuncAdjust = adjust;
        rec->ExtSetting.spectrumScale = scale;
    }
    void Block(const std::vector<uint32_t>& codes, bool average = true) {
        std::copy(codes.begin(), codes.end(), rec->CodeBuf.begin());
        TSignalData& sig = rec->SigData;
        sig.ad_dnum = static_cast<int32_t>(codes.size());
        SetBlockRate(sig, 13, 1); // 10 ksps
        TBlockReadouts ro;
        ASSERT_EQ(RunBlockPipeline(sig, rec->FFTSetting, engine, SpectrumWorkOf(*rec),
                                   TBlockSource::Held, ro, rec->ExtSetting.spectrumScale),
                  TBlockResult::Ok);
        if (average) AverageBlockSpectrum(sig, rec->FFTSetting, avg, ro);
    }
    TAnalysisResult Analysis() const { return ComputeAnalysis(AnalysisBlockOf(*rec, true, &avg)); }
    double DeltaF() const { return 1000.0 / (static_cast<double>(rec->SigData.periodMs) * kN); }
};

// A 1 V tone on bin 37 with its 2nd and 3rd harmonics and 20 uV of noise; a new seed per block.
std::vector<uint32_t> BlockCodes(unsigned seed) {
    return MakeCodes(kN, {{37.0, 1.0}, {74.0, 1e-4, 1.1}, {111.0, 3e-5, 2.0}}, 2e-5, 0.01, seed);
}

// The figures the definition gives for power s. Tolerances: the averaged power is the figures'
// double spectrum with each bin kept in single precision (about 1e-7 relative), so 1e-5 dB and
// 1e-5 relative; the float transform of the displayed spectrum would miss them by far (its
// rounding floor is some 0.01 dB on these -106 dBc harmonic bins).
void ExpectFiguresOf(const TFigures& f, const std::vector<double>& s, int window, double df) {
    const RefFigures r = ReferenceOfPower(s, window);
    ASSERT_TRUE(f.spectral);
    EXPECT_NEAR(f.fundamental_hz, r.meanBin * df, 1e-6 * df);
    EXPECT_NEAR(f.fundamental_vrms, std::sqrt(r.p1), 1e-5 * std::sqrt(r.p1));
    EXPECT_NEAR(f.snr_db, Db(r.p1 / r.pn), 1e-5);
    EXPECT_NEAR(f.thd_db, Db(r.ph / r.p1), 1e-5);
    EXPECT_NEAR(f.sinad_db, Db(r.p1 / (r.pn + r.ph)), 1e-5);
    EXPECT_NEAR(f.sfdr_db, Db(r.p1 / r.ps), 1e-5);
    EXPECT_NEAR(f.noise_density_v_rthz, std::sqrt(r.pn / r.noiseBins / df),
                1e-5 * f.noise_density_v_rthz);
    EXPECT_NEAR(f.band_noise_v, std::sqrt(r.pn), 1e-5 * f.band_noise_v);
    ASSERT_EQ(f.harmonics.size(), r.harmonics.size());
    for (size_t i = 0; i < r.harmonics.size(); ++i) {
        EXPECT_EQ(f.harmonics[i].order, r.harmonics[i].first);
        EXPECT_NEAR(f.harmonics[i].dbc, Db(r.harmonics[i].second / r.p1), 1e-5);
    }
}

// The code figures of the last block, from its codes.
void ExpectCodeFiguresOf(const TAnalysisResult& a, const std::vector<uint32_t>& codes) {
    double sum = 0, ss = 0;
    for (uint32_t c : codes)
        sum += c;
    const double mean = sum / static_cast<double>(codes.size());
    for (uint32_t c : codes)
        ss += (c - mean) * (c - mean);
    const auto [lo, hi] = std::minmax_element(codes.begin(), codes.end());
    EXPECT_DOUBLE_EQ(a.figures.mean_code, mean);
    EXPECT_NEAR(a.figures.noise_rms_code, std::sqrt(ss / static_cast<double>(codes.size())),
                1e-9 * a.figures.noise_rms_code);
    EXPECT_EQ(a.figures.noise_pp_code, static_cast<double>(*hi - *lo));
    EXPECT_EQ(a.histogram.samples, codes.size());
    EXPECT_NEAR(a.histogram.mean, mean, 1e-6);
}

} // namespace

// Six blocks into a linear mean of four, for every window and every amplitude scale (with and
// without the window's RMS correction): the spectral figures are those of the mean of the last
// four blocks' power spectra, the code figures and the histogram those of the last block.
TEST(AnalysisAverage, LinearMeanOfTheLastBlocksForEveryWindowAndScale) {
    std::vector<std::vector<uint32_t>> blocks;
    for (unsigned b = 0; b < 6; ++b)
        blocks.push_back(BlockCodes(100 + b));
    struct TCase {
        int32_t scale;
        uint8_t adjust;
    };
    for (int window = 0; window <= 3; ++window) {
        std::vector<double> mean(kN / 2, 0.0);
        for (size_t b = 2; b < 6; ++b) {
            const std::vector<double> s = RefPowerSpectrum(blocks[b], window);
            for (size_t k = 0; k < mean.size(); ++k)
                mean[k] += s[k] / 4.0;
        }
        for (const TCase c : {TCase{0, 1}, TCase{0, 0}, TCase{1, 0}, TCase{2, 0}}) {
            SCOPED_TRACE(testing::Message() << "window " << window << " scale " << c.scale
                                            << " correction " << int{c.adjust});
            TRun run(window, c.scale, c.adjust);
            SetupAverager(run.avg, 1, 4);
            for (const auto& codes : blocks)
                run.Block(codes);
            const TAnalysisResult a = run.Analysis();
            ASSERT_TRUE(a.hasBlock);
            EXPECT_EQ(a.averagedBlocks, 4);
            EXPECT_EQ(AveragedBlocksText(a), "スペクトル特性：平均 4 ブロック");
            ExpectFiguresOf(a.figures, mean, window, run.DeltaF());
            ExpectCodeFiguresOf(a, blocks.back());
            EXPECT_TRUE(a.fundamental);
        }
    }
}

// The exponential mean (weights 1, 1/2, 1/3, then 1/N) and peak hold (the largest power each
// bin had) under Hanning.
TEST(AnalysisAverage, ExponentialMeanAndPeakHold) {
    std::vector<std::vector<uint32_t>> blocks;
    for (unsigned b = 0; b < 5; ++b)
        blocks.push_back(BlockCodes(200 + b));
    std::vector<double> expo(kN / 2, 0.0), peak(kN / 2, 0.0);
    for (size_t b = 0; b < blocks.size(); ++b) {
        const std::vector<double> s = RefPowerSpectrum(blocks[b], 1);
        const double w = 1.0 / static_cast<double>(std::min<size_t>(b + 1, 3));
        for (size_t k = 0; k < s.size(); ++k) {
            expo[k] += w * (s[k] - expo[k]);
            peak[k] = std::max(peak[k], s[k]);
        }
    }
    {
        TRun run(1, 0, 1);
        SetupAverager(run.avg, 2, 3);
        for (const auto& codes : blocks)
            run.Block(codes);
        const TAnalysisResult a = run.Analysis();
        EXPECT_EQ(a.averagedBlocks, 3);
        EXPECT_EQ(AveragedBlocksText(a), "スペクトル特性：平均 3 ブロック");
        ExpectFiguresOf(a.figures, expo, 1, run.DeltaF());
    }
    {
        TRun run(1, 0, 1);
        SetupAverager(run.avg, 3, 3);
        for (const auto& codes : blocks)
            run.Block(codes);
        const TAnalysisResult a = run.Analysis();
        EXPECT_EQ(a.averagedBlocks, 5);
        EXPECT_TRUE(a.peakHold);
        EXPECT_EQ(AveragedBlocksText(a), "スペクトル特性：ピーク保持 5 ブロック");
        ExpectFiguresOf(a.figures, peak, 1, run.DeltaF());
        ExpectCodeFiguresOf(a, blocks.back());
    }
}

// Without averaging, after a reset, or once another block replaced the averaged spectrum (a
// settings change recomputed it, a file was loaded), the figures are the last block's alone,
// in double from its codes (1e-6 dB, as the figures tests hold them).
TEST(AnalysisAverage, OneBlockWhenNothingIsAveraged) {
    const std::vector<uint32_t> first = BlockCodes(300), last = BlockCodes(301);
    const RefFigures one = Reference(last, 1);
    auto expectSingle = [&](const TAnalysisResult& a) {
        ASSERT_TRUE(a.hasBlock);
        EXPECT_EQ(a.averagedBlocks, 0);
        EXPECT_EQ(AveragedBlocksText(a), "");
        ASSERT_TRUE(a.figures.spectral);
        EXPECT_NEAR(a.figures.snr_db, Db(one.p1 / one.pn), 1e-6);
        EXPECT_NEAR(a.figures.thd_db, Db(one.ph / one.p1), 1e-6);
        EXPECT_NEAR(a.figures.sfdr_db, Db(one.p1 / one.ps), 1e-6);
        EXPECT_NEAR(a.figures.band_noise_v, std::sqrt(one.pn), 1e-9 * a.figures.band_noise_v);
        ExpectCodeFiguresOf(a, last);
    };
    {
        SCOPED_TRACE("averaging off");
        TRun run(1, 0, 1);
        SetupAverager(run.avg, 0, 16);
        run.Block(first);
        run.Block(last);
        expectSingle(run.Analysis());
    }
    {
        SCOPED_TRACE("reset after the last block");
        TRun run(1, 0, 1);
        SetupAverager(run.avg, 1, 16);
        run.Block(first);
        run.Block(last);
        EXPECT_EQ(run.Analysis().averagedBlocks, 2);
        run.avg.Reset();
        expectSingle(run.Analysis());
    }
    {
        SCOPED_TRACE("spectrum recomputed without averaging");
        TRun run(1, 0, 1);
        SetupAverager(run.avg, 1, 16);
        run.Block(first);
        run.Block(last, false);
        expectSingle(run.Analysis());
    }
    {
        SCOPED_TRACE("no averager given");
        TRun run(1, 0, 1);
        SetupAverager(run.avg, 1, 16);
        run.Block(first);
        run.Block(last);
        expectSingle(ComputeAnalysis(AnalysisBlockOf(*run.rec, true)));
    }
}
