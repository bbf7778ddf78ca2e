// Continuous blocks and long recordings against the simulated unit in process: gapless blocks
// with the start command alone on the wire, the run that ends and is started again, a stop that
// keeps the samples that came, and the recorder's file, summary and statistics against the
// signal's definition.
#include "block_average.h"
#include "block_pipeline.h"
#include "measure_session.h"
#include "recorder.h"
#include "recording_reader.h"
#include "recording_rows.h"
#include "temp_dir.h"
#include "virtual_unit.h"

#include <cmath>
#include <numbers>
#include <random>
#include <sstream>
#include <vector>

namespace {

constexpr double kVoltPerCode = 2.5 / 2147483647.0;
// The unit's clock at 10 ksps as the simulator runs it: the rate table's period, a 32-bit
// float (the sine's phase follows it; the time column of a recording uses the decimal 0.1 ms).
const double kUnitPeriodS = static_cast<double>(0.1f) / 1000.0;

double Volts(uint32_t code) {
    return (static_cast<double>(code) - 2147483648.0) * kVoltPerCode;
}

// CH0: one clean sine, no noise, so every sample's volts follow from its index.
TUnitConfig SineUnit(double freqHz, double ampV, double dcV = 0.0) {
    TUnitConfig c;
    c.channels[0].sines = {TSine{freqHz, ampV, 0.0}};
    c.channels[0].noiseRmsV = 0.0;
    c.channels[0].dcV = dcV;
    return c;
}

double D(size_t v) {
    return static_cast<double>(v);
}

class ContinuousTest : public DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        Ad.spsSel = 13; // 10 ksps
        Ad.sinc3 = 1;
        Ad.ch_sel = 0;
    }
    // Steps until a block is reported (or the link is lost), letting unit time pass.
    TMeasureSession::TStep NextBlock(TMeasureSession& s, int* stepsWithData = nullptr) {
        for (int i = 0; i < 1000000; ++i) {
            const TMeasureSession::TStep step = s.Step();
            if (s.LastRead() > 0 && stepsWithData) ++*stepsWithData;
            if (step == TMeasureSession::TStep::Complete ||
                step == TMeasureSession::TStep::LinkLost)
                return step;
            if (step == TMeasureSession::TStep::Waiting) Advance(6.4);
        }
        return TMeasureSession::TStep::Waiting;
    }

    TADSetting Ad;
    std::vector<uint32_t> Codes = std::vector<uint32_t>(DATA_BUF_LEN);
};

} // namespace

// Five blocks back to back are one stretch of the signal: sample k of the whole is
// A sin(2 pi f k T) (tolerance: two code steps, rounding and the sine's double arithmetic), and the
// only start command is the first.
TEST_F(ContinuousTest, BlocksFollowEachOtherWithoutAGap) {
    const double f = 37.0, a = 1.0, periodS = kUnitPeriodS;
    Attach(SineUnit(f, a));
    TMeasureSession s(*Adc);
    ASSERT_EQ(s.Open(Ad), TStartResult::Started);
    const size_t opened = Unit->Wire.size();
    ASSERT_EQ(s.BeginContinuous(1024, Codes.data()), TStartResult::Started);
    EXPECT_TRUE(s.Continuous());
    std::vector<uint32_t> all;
    for (int b = 0; b < 5; ++b) {
        ASSERT_EQ(NextBlock(s), TMeasureSession::TStep::Complete) << b;
        EXPECT_EQ(s.Received(), 1024);
        EXPECT_EQ(s.State(), TMeasureSession::TState::Streaming);
        all.insert(all.end(), Codes.begin(), Codes.begin() + 1024);
    }
    const double tol = 2.0 * kVoltPerCode;
    for (size_t k = 0; k < all.size(); ++k) {
        const double want = a * std::sin(2.0 * std::numbers::pi * f * periodS * D(k));
        ASSERT_NEAR(Volts(all[k]), want, tol) << "sample " << k;
    }
    // Between blocks nothing went to the unit: the start command and nothing else.
    EXPECT_EQ(Unit->Wire.substr(opened), "A0FFFFF\r");
    s.Stop();
    EXPECT_EQ(Unit->Wire.substr(Unit->Wire.size() - 3), "AX\r");
    EXPECT_EQ(s.State(), TMeasureSession::TState::Idle);
}

// A run of 0xFFFFF samples ends; the session sends the start command again (no "?", no rate,
// no "AX"), counts the run and takes its start time from the link's clock.
TEST_F(ContinuousTest, ARunThatEndsIsFollowedByTheStartCommandAlone) {
    TUnitConfig c = SineUnit(50.0, 0.5);
    Attach(c);
    TMeasureSession s(*Adc);
    ASSERT_EQ(s.Open(Ad), TStartResult::Started);
    const size_t opened = Unit->Wire.size();
    ASSERT_EQ(s.BeginContinuous(262144, Codes.data()), TStartResult::Started);
    const int64_t firstStart = s.RunStartUs();
    EXPECT_EQ(s.Runs(), 1);
    int64_t total = 0;
    for (int b = 0; b < 5; ++b) {
        ASSERT_EQ(NextBlock(s), TMeasureSession::TStep::Complete) << b;
        total += s.Received();
    }
    EXPECT_EQ(total, 5 * 262144);
    EXPECT_EQ(s.Runs(), 2);
    // The second run started after the first one's 104.8575 s of samples.
    EXPECT_GE(s.RunStartUs() - firstStart, static_cast<int64_t>(0xFFFFF) * 100);
    EXPECT_EQ(Unit->Wire.substr(opened), "A0FFFFF\rA0FFFFF\r");
    s.Stop();
}

// A stop in the middle of a block keeps the samples that came, with their real count; the
// pipeline gives them volts and statistics (against a two-pass reference) and says the count
// does not take a spectrum.
TEST_F(ContinuousTest, AStopKeepsThePartOfTheBlockThatCame) {
    for (const bool continuous : {false, true}) {
        SCOPED_TRACE(continuous ? "continuous" : "single block");
        Attach(SineUnit(20.0, 0.25, 0.1));
        TMeasureSession s(*Adc);
        ASSERT_EQ(s.Open(Ad), TStartResult::Started);
        if (continuous) {
            ASSERT_EQ(s.BeginContinuous(4096, Codes.data()), TStartResult::Started);
            ASSERT_EQ(NextBlock(s), TMeasureSession::TStep::Complete);
        } else {
            ASSERT_EQ(s.Begin(4096, Codes.data()), TStartResult::Started);
        }
        int got = 0;
        while (got < 1100) { // 1152 after whole reads of 64: no power of two
            if (s.Step() == TMeasureSession::TStep::Waiting) Advance(6.4);
            got = s.Received() % 4096;
        }
        s.Stop();
        const int kept = s.Received();
        EXPECT_GE(kept, 1000);
        EXPECT_LT(kept, 4096);
        EXPECT_EQ(s.State(), TMeasureSession::TState::Idle);

        auto rec = TMeasureRecord::Create();
        std::copy(Codes.begin(), Codes.begin() + kept, rec->CodeBuf.begin());
        TSignalData& sig = rec->SigData;
        s.TakeBlock(sig);
        EXPECT_EQ(sig.ad_dnum, kept);
        TmyFFT engine;
        TBlockReadouts ro;
        TFFTSetting fft;
        EXPECT_EQ(
            RunBlockPipeline(sig, fft, engine, SpectrumWorkOf(*rec), TBlockSource::Measured, ro),
            TBlockResult::Invalid);
        double sum = 0.0, sq = 0.0;
        uint32_t lo = UINT32_MAX, hi = 0;
        for (int i = 0; i < kept; ++i) {
            sum += Codes[i];
            lo = std::min(lo, Codes[i]);
            hi = std::max(hi, Codes[i]);
        }
        const double mean = sum / kept;
        for (int i = 0; i < kept; ++i)
            sq += (Codes[i] - mean) * (Codes[i] - mean);
        EXPECT_EQ(ro.codeMax, hi);
        EXPECT_EQ(ro.codeMin, lo);
        EXPECT_NEAR(ro.codeStdDev, std::sqrt(sq / kept), 1e-4 * std::sqrt(sq / kept));
        EXPECT_NEAR(sig.pVolt[kept - 1], Volts(Codes[kept - 1]), 1e-6);
        Adc->CloseDevice();
        d2xx::DetachVirtualDevice();
    }
}

TEST_F(ContinuousTest, ALostLinkEndsTheStream) {
    TUnitConfig c = SineUnit(20.0, 0.25);
    c.faults.dropAfter = 3000;
    Attach(c);
    TMeasureSession s(*Adc);
    ASSERT_EQ(s.Open(Ad), TStartResult::Started);
    ASSERT_EQ(s.BeginContinuous(1024, Codes.data()), TStartResult::Started);
    TMeasureSession::TStep last = TMeasureSession::TStep::Waiting;
    for (int b = 0; b < 10 && last != TMeasureSession::TStep::LinkLost; ++b)
        last = NextBlock(s);
    EXPECT_EQ(last, TMeasureSession::TStep::LinkLost);
    EXPECT_EQ(s.State(), TMeasureSession::TState::Failed);
}

namespace {

using Line = TRecordingRow;

// Every line must end in CR LF and parse.
std::vector<Line> SampleLines(const std::string& text) {
    bool whole = false;
    std::vector<Line> rows = RecordingRows(text, &whole);
    EXPECT_TRUE(whole) << "every line ends in CR LF and parses";
    return rows;
}

} // namespace

// A recording of 3 s at 10 ksps: every sample in the file, timed k x T, volts from the code;
// the running statistics and the summary against the file's own samples (two-pass, double).
TEST_F(ContinuousTest, ARecordingHoldsEverySampleAndItsStatistics) {
    const double f = 3.0, a = 0.2, dc = -0.3;
    Attach(SineUnit(f, a, dc));
    TempDir dir;
    const std::string path = dir.file("rec.csv");
    TMeasureSession s(*Adc);
    ASSERT_EQ(s.Open(Ad), TStartResult::Started);
    TRecorder r(s);
    ASSERT_TRUE(r.Begin(path, "2026/12/09 10:00:00")) << r.Error();
    while (r.Samples() < 30000) {
        ASSERT_EQ(r.Step(), TRecorder::TState::Recording);
        if (s.LastRead() == 0) Advance(6.4);
    }
    r.Stop();
    EXPECT_EQ(r.State(), TRecorder::TState::Ended);
    EXPECT_EQ(r.EndReason(), TRecorder::TEnd::Stopped);
    EXPECT_EQ(r.SamplesWritten(), r.Samples());
    const std::string text = TempDir::Read(path);
    EXPECT_NE(text.find("# unit: ZR4410QM\r\n"), std::string::npos);
    EXPECT_NE(text.find("# rate: 10ksps\r\n"), std::string::npos);
    EXPECT_NE(text.find("# filter: Sinc3\r\n"), std::string::npos);
    EXPECT_NE(text.find("# channel: CH0\r\n"), std::string::npos);
    EXPECT_NE(text.find("# start: 2026/12/09 10:00:00\r\n"), std::string::npos);
    const std::vector<Line> rows = SampleLines(text);
    ASSERT_EQ(rows.size(), r.Samples());
    double sum = 0.0, lo = 1e9, hi = -1e9;
    for (size_t k = 0; k < rows.size(); ++k) {
        ASSERT_NEAR(rows[k].t, D(k) * 1e-4, 1e-6) << k;
        ASSERT_NEAR(rows[k].v, Volts(rows[k].code), 1e-9) << k;
        ASSERT_NEAR(rows[k].v, dc + a * std::sin(2.0 * std::numbers::pi * f * D(k) * kUnitPeriodS),
                    2.0 * kVoltPerCode)
            << k;
        sum += rows[k].v;
        lo = std::min(lo, rows[k].v);
        hi = std::max(hi, rows[k].v);
    }
    const double mean = sum / D(rows.size());
    double sq = 0.0;
    for (const Line& l : rows)
        sq += (l.v - mean) * (l.v - mean);
    EXPECT_NEAR(r.Stats().MeanValue(), mean, 1e-9);
    EXPECT_NEAR(r.Stats().StdDev(), std::sqrt(sq / D(rows.size())), 1e-9);
    EXPECT_NEAR(r.Stats().PeakToPeak(), hi - lo, 1e-9);
    std::vector<TMinMax> cols;
    r.Strip().Query(0, r.Samples(), 1, cols);
    ASSERT_EQ(cols.size(), 1u);
    EXPECT_NEAR(Volts(cols[0].hi), hi, 1e-9);
    EXPECT_NEAR(Volts(cols[0].lo), lo, 1e-9);

    // Read back as a range: the codes of [1 s, 1.5 s).
    TRecordingContent content;
    std::string err;
    ASSERT_TRUE(ReadRecording(path, {1.0, 1.5, 0}, content, err)) << err;
    ASSERT_EQ(content.codes.size(), 5000u);
    EXPECT_EQ(content.codes.front(), rows[10000].code);
    EXPECT_EQ(content.codes.back(), rows[14999].code);
    EXPECT_EQ(content.header.rateText, "10ksps");
    EXPECT_DOUBLE_EQ(content.header.periodMs, 0.1);
}

// Across the end of a run the time column jumps to the host's clock at the new run's start:
// never backwards, never less than the run's length. A unit whose clock runs faster than the
// host's (here the simulator at twice the rate) starts the next run right after the last one.
TEST_F(ContinuousTest, ARecordingNotesTheRestartOfARunInItsTimes) {
    for (const double speed : {1.0, 2.0}) {
        SCOPED_TRACE(speed);
        TUnitConfig c = SineUnit(1.0, 0.1);
        c.speed = speed;
        Attach(c);
        TempDir dir;
        const std::string path = dir.file("long.csv");
        TMeasureSession s(*Adc);
        ASSERT_EQ(s.Open(Ad), TStartResult::Started);
        TRecorder r(s);
        ASSERT_TRUE(r.Begin(path, "x")) << r.Error();
        const uint64_t want = 0xFFFFF + 5000;
        while (r.Samples() < want) {
            ASSERT_EQ(r.Step(), TRecorder::TState::Recording);
            if (s.LastRead() == 0) Advance(6.4 / speed);
        }
        r.Stop();
        EXPECT_EQ(r.Runs(), 2);
        const std::vector<Line> rows = SampleLines(TempDir::Read(path));
        ASSERT_EQ(rows.size(), r.Samples());
        const size_t first2 = 0xFFFFF;
        EXPECT_NEAR(rows[first2 - 1].t, D(first2 - 1) * 1e-4, 1e-6);
        EXPECT_GE(rows[first2].t, D(first2) * 1e-4 - 1e-6);
        if (speed > 1.0) {
            EXPECT_NEAR(rows[first2].t, D(first2) * 1e-4, 1e-6);
        }
        for (size_t k = first2 + 1; k < rows.size(); ++k)
            ASSERT_NEAR(rows[k].t - rows[k - 1].t, 1e-4, 2e-6) << k;
        Adc->CloseDevice();
        d2xx::DetachVirtualDevice();
    }
}

// A pulled cable ends the recording: the file is closed with every sample that came, each on
// a whole line, and the recorder says why.
TEST_F(ContinuousTest, ALostLinkEndsTheRecordingWithTheFileClosed) {
    TUnitConfig c = SineUnit(5.0, 0.1);
    c.faults.dropAfter = 7000;
    Attach(c);
    TempDir dir;
    const std::string path = dir.file("cut.csv");
    TMeasureSession s(*Adc);
    ASSERT_EQ(s.Open(Ad), TStartResult::Started);
    TRecorder r(s);
    ASSERT_TRUE(r.Begin(path, "x")) << r.Error();
    for (int i = 0; i < 200000 && r.State() == TRecorder::TState::Recording; ++i)
        if (r.Step() == TRecorder::TState::Recording && s.LastRead() == 0) Advance(6.4);
    EXPECT_EQ(r.State(), TRecorder::TState::Ended);
    EXPECT_EQ(r.EndReason(), TRecorder::TEnd::LinkLost);
    const std::string text = TempDir::Read(path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(SampleLines(text).size(), r.Samples());
    EXPECT_GT(r.Samples(), 6000u);
    EXPECT_LE(r.Samples(), 7001u);
}

TEST_F(ContinuousTest, ARecordingThatCannotCreateItsFileStartsNothing) {
    Attach(SineUnit(5.0, 0.1));
    TempDir dir;
    TMeasureSession s(*Adc);
    ASSERT_EQ(s.Open(Ad), TStartResult::Started);
    const size_t opened = Unit->Wire.size();
    TRecorder r(s);
    EXPECT_FALSE(r.Begin(dir.file("missing/rec.csv"), "x"));
    EXPECT_FALSE(r.Error().empty());
    EXPECT_EQ(Unit->Wire.size(), opened); // no start command went out
    EXPECT_EQ(s.State(), TMeasureSession::TState::Ready);
}

// The averaging step against its definition, per bin in double: the linear mean of N blocks is
// sqrt(sum a_k^2 / N) over the last N, the exponential one weighs 1/1, 1/2, ... up to 1/N, peak
// hold keeps the largest; the largest line follows the average (tolerance 1e-6 relative, float
// storage).
TEST(BlockAverage, TheHeldSpectrumIsTheAverageOfTheBlocks) {
    constexpr int n = 1024, bins = n / 2;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(1e-6, 1e-3);
    std::vector<std::vector<float>> blocks(6, std::vector<float>(bins));
    for (auto& b : blocks)
        for (float& v : b)
            v = static_cast<float>(u(rng));
    blocks[2][77] = 0.5f; // a line in one block only: it rises in the average, held in peak hold
    struct Case {
        int mode;
        int count;
    };
    for (const Case c : {Case{1, 4}, Case{2, 4}, Case{3, 4}}) {
        SCOPED_TRACE(c.mode);
        TSpectrumAverager avg;
        SetupAverager(avg, c.mode, c.count);
        std::vector<float> held(static_cast<size_t>(bins));
        TSignalData sig;
        sig.ad_dnum = n;
        sig.pSpectrum = held.data();
        sig.deltaF = 10.0f;
        TFFTSetting fft;
        std::vector<double> expPow(static_cast<size_t>(bins), 0.0),
            peak(static_cast<size_t>(bins), 0.0);
        TBlockReadouts ro;
        for (size_t b = 0; b < blocks.size(); ++b) {
            std::copy(blocks[b].begin(), blocks[b].end(), held.begin());
            ro.rms = 1.0f;
            AverageBlockSpectrum(sig, fft, avg, ro);
            const double w = 1.0 / static_cast<double>(std::min<size_t>(b + 1, 4));
            for (size_t k = 0; k < static_cast<size_t>(bins); ++k) {
                const double p = static_cast<double>(blocks[b][k]) * blocks[b][k];
                expPow[k] += w * (p - expPow[k]);
                peak[k] = std::max(peak[k], static_cast<double>(blocks[b][k]));
            }
        }
        double sumPow = 0.0;
        for (size_t k = 0; k < static_cast<size_t>(bins); ++k) {
            double want = 0.0;
            if (c.mode == 1) {
                for (size_t b = 2; b < 6; ++b)
                    want += static_cast<double>(blocks[b][k]) * blocks[b][k];
                want = std::sqrt(want / 4.0);
            } else if (c.mode == 2) {
                want = std::sqrt(expPow[k]);
            } else {
                want = peak[k];
            }
            ASSERT_NEAR(held[k], want, 1e-6 * want) << "bin " << k;
            if (k >= 1 && k < static_cast<size_t>(bins) - 1) {
                sumPow += want * want;
            }
        }
        EXPECT_EQ(ro.peakBin, 77);
        EXPECT_NEAR(ro.peakHz, 770.0, 1e-9);
        EXPECT_EQ(avg.Count(), c.mode == 3 ? 6 : 4);
        EXPECT_EQ(AverageCountText(avg), c.mode == 3 ? "ピーク保持 6" : "平均 4/4");
        // The RMS keeps the pipeline's scale: its ratio to the last block's bins RMS (2e-4
        // relative: the RMS sums its bins in float).
        double lastPow = 0.0;
        for (size_t k = 1; k < static_cast<size_t>(bins) - 1; ++k)
            lastPow += static_cast<double>(blocks[5][k]) * blocks[5][k];
        EXPECT_NEAR(ro.rms, std::sqrt(sumPow / lastPow), 2e-4 * std::sqrt(sumPow / lastPow));
    }
}
