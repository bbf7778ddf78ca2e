// The spectrum scale through the block pipeline: the peak readout in the scale's unit, the RMS
// readout the block's RMS in every scale.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "block_pipeline.h"

namespace {

// A 0.8 V peak tone on bin 100 of 4096 samples at 10 ksps, as codes.
void FillTone(TMeasureRecord& rec) {
    TSignalData& sig = rec.SigData;
    const int n = 4096;
    for (int i = 0; i < n; ++i) {
        const double v = 0.8 * std::sin(2 * std::numbers::pi * 100 * i / n);
        rec.CodeBuf[static_cast<size_t>(i)] =
            static_cast<uint32_t>(std::llround(v * 2147483647.0 / 2.5) + 2147483648LL);
    }
    sig.ad_dnum = n;
    SetBlockRate(sig, 13, 1);
}

} // namespace

// Tone: the line reads 0.8 / sqrt(2) with every window. Density: the line reads
// |X| sqrt(2 / (N df S2)) with |X| = A S1 / 2 on the bin (Hanning, sums from the definition).
// RMS: 0.8 / sqrt(2) in every scale (the tone is on a bin, so the windowed power is exact to
// 1e-6; tolerance 1e-5 relative for the single-precision transform).
TEST(PipelineScale, PeakInTheScaleAndRmsAlwaysTheBlocks) {
    auto rec = TMeasureRecord::Create();
    TmyFFT engine;
    const double rms = 0.8 / std::sqrt(2.0);
    for (int window = 0; window <= 3; ++window) {
        for (int32_t scale : {0, 1, 2}) {
            FillTone(*rec);
            TFFTSetting fft;
            fft.whichWindowFunc = window;
            TBlockReadouts ro;
            ASSERT_EQ(RunBlockPipeline(rec->SigData, fft, engine, SpectrumWorkOf(*rec),
                                       TBlockSource::Held, ro, scale),
                      TBlockResult::Ok);
            EXPECT_EQ(ro.peakBin, 100);
            SCOPED_TRACE("window " + std::to_string(window) + " scale " + std::to_string(scale));
            if (window != 3 || scale != 0) { // the flat-top's RMS correction is for noise only
                EXPECT_NEAR(ro.rms, rms, rms * 1e-3);
            }
            if (scale != 0) {
                EXPECT_NEAR(ro.rms, rms, rms * 1e-5);
            }
            if (scale == 1) {
                EXPECT_NEAR(ro.peakVolt, rms, rms * 1e-5);
            }
            if (scale == 2 && window == 1) {
                const int n = 4096;
                double s1 = 0, s2 = 0;
                for (int i = 0; i < n; ++i) {
                    const double w = 0.5 * (1 - std::cos(2 * std::numbers::pi * (i + 0.5) / n));
                    s1 += w;
                    s2 += w * w;
                }
                const double df = 10000.0 / n;
                const double want = 0.8 * s1 / 2 * std::sqrt(2.0 / (n * df * s2));
                EXPECT_NEAR(ro.peakVolt, want, want * 1e-5);
            }
        }
    }
}
