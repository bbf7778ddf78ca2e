// The measurement session against the simulated unit in process: the states, each reason a
// start fails for, a lost link, a stop asked for while the unit is opened, and the block
// pipeline's figures against a direct computation.
#include "block_pipeline.h"
#include "measure_session.h"
#include "virtual_unit.h"

#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

class SessionTest : public DeviceLinkTest {
protected:
    // Steps the session as the window's poll does, letting the unit's time pass between steps.
    TMeasureSession::TStep RunToEnd(TMeasureSession& s, double periodMs) {
        for (int i = 0; i < 100000; ++i) {
            const TMeasureSession::TStep step = s.Step();
            if (step == TMeasureSession::TStep::Complete ||
                step == TMeasureSession::TStep::LinkLost)
                return step;
            if (step == TMeasureSession::TStep::Waiting) Advance(periodMs);
        }
        return TMeasureSession::TStep::Waiting;
    }
    // Where each frame first stands on the wire; npos when it never came.
    size_t At(const std::string& frame) const { return Unit->Wire.find(frame); }

    std::vector<uint32_t> Codes = std::vector<uint32_t>(DATA_BUF_LEN);
};

} // namespace

TEST_F(SessionTest, MeasuresABlockWithTheCycleFramesInOrder) {
    Attach();
    TMeasureSession s(*Adc);
    TADSetting ad;
    ad.spsSel = 10;
    ad.sinc3 = 0;
    ad.ch_sel = 1;
    ASSERT_EQ(s.Start(ad, 2048, Codes.data()), TStartResult::Started);
    EXPECT_EQ(s.State(), TMeasureSession::TState::Streaming);
    EXPECT_EQ(s.Identity().name, "ZR4410QM");
    EXPECT_EQ(s.Identity().version, "1.00");
    EXPECT_EQ(s.Identity().rateText, "1ksps");
    // A second start while streaming is refused without a byte.
    const std::string before = Unit->Wire;
    EXPECT_EQ(s.Start(ad, 2048, Codes.data()), TStartResult::Busy);
    EXPECT_EQ(Unit->Wire, before);

    EXPECT_EQ(RunToEnd(s, 1.0), TMeasureSession::TStep::Complete);
    EXPECT_EQ(s.State(), TMeasureSession::TState::Complete);
    EXPECT_EQ(s.Received(), 2048);
    const size_t q = At("?\r"), f = At("S5\r"), r = At("FA\r"), u = At("U?\r"), v = At("V?\r"),
                 a = At("A100800\r"), x = Unit->Wire.rfind("AX\r");
    ASSERT_NE(q, std::string::npos);
    EXPECT_TRUE(q < f && f < r && r < u && u < v && v < a && a < x) << Unit->Wire;
    EXPECT_EQ(x + 3, Unit->Wire.size()); // "AX" is the last word
    // Every sample is a record of the unit's signal: no code is at either end of the range.
    for (int i = 0; i < 2048; ++i)
        ASSERT_NE(Codes[static_cast<size_t>(i)], 0u) << i;
    EXPECT_EQ(s.LastCode(), Codes[2047]);
}

TEST_F(SessionTest, EachRefusalHasItsReason) {
    struct Case {
        const char* what;
        TStartResult want;
        bool closed; // the link is closed afterwards
    };
    const Case cases[] = {
        {"silent", TStartResult::NoResponse, true},  {"S3", TStartResult::FilterRefused, false},
        {"FD", TStartResult::RateRefused, false},    {"U?", TStartResult::NameRefused, false},
        {"V?", TStartResult::VersionRefused, false}, {"model", TStartResult::WrongModel, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TUnitConfig config;
        if (std::string(c.what) == "silent")
            config.faults.silent = true;
        else if (std::string(c.what) == "model")
            config.modelName = "ZR4410QX";
        else
            config.faults.ngCommand = c.what;
        Adc = std::make_unique<TADC>();
        Attach(config);
        TMeasureSession s(*Adc);
        EXPECT_EQ(s.Start(TADSetting{}, 1024, Codes.data()), c.want);
        EXPECT_EQ(s.State(), TMeasureSession::TState::Failed);
        EXPECT_EQ(At("A0"), std::string::npos) << "no conversion is started";
        EXPECT_EQ(!Adc->IsOpen(), c.closed);
    }
    d2xx::DetachVirtualDevice();
    Adc = std::make_unique<TADC>();
    TMeasureSession none(*Adc);
    // Without any unit (and no simulator socket in this environment) nothing is found.
    setenv("KALVEX_UNIT_SOCKET", "/nonexistent/kalvex-test.sock", 1);
    EXPECT_EQ(none.Start(TADSetting{}, 1024, Codes.data()), TStartResult::NotFound);
    unsetenv("KALVEX_UNIT_SOCKET");
    EXPECT_FALSE(Adc->IsOpen());
}

TEST_F(SessionTest, LostLinkAndStop) {
    TUnitConfig config;
    config.faults.dropAfter = 100;
    Attach(config);
    TMeasureSession s(*Adc);
    ASSERT_EQ(s.Start(TADSetting{}, 1024, Codes.data()), TStartResult::Started);
    EXPECT_EQ(RunToEnd(s, 0.1), TMeasureSession::TStep::LinkLost);
    EXPECT_EQ(s.State(), TMeasureSession::TState::Failed);
    EXPECT_LE(s.Received(), 100);
    EXPECT_EQ(s.Step(), TMeasureSession::TStep::Waiting); // nothing more is read

    // A stop ends the block with "AX" and the session can start again.
    Adc = std::make_unique<TADC>();
    Attach();
    TMeasureSession t(*Adc);
    ASSERT_EQ(t.Start(TADSetting{}, 4096, Codes.data()), TStartResult::Started);
    Advance(5);
    t.Step();
    Unit->Wire.clear();
    t.Stop();
    EXPECT_EQ(Unit->Wire, "AX\r");
    EXPECT_EQ(t.State(), TMeasureSession::TState::Idle);
    EXPECT_EQ(t.Start(TADSetting{}, 1024, Codes.data()), TStartResult::Started);
}

// A unit that hangs mid-block (the link up, nothing coming): waited for without a limit, as
// the window does for a user who can stop it; with a limit, given up as a lost link once it
// has been silent that long, with "AX" sent. The slowest rate never looks hung.
TEST_F(SessionTest, AHungUnitIsGivenUpOnlyWithAStallLimit) {
    TUnitConfig config;
    config.faults.hangAfter = 128; // two reads of 64 at 10 ksps
    Attach(config);
    TMeasureSession s(*Adc);
    ASSERT_EQ(s.Start(TADSetting{}, 1024, Codes.data()), TStartResult::Started);
    for (int i = 0; i < 600; ++i) { // a minute of unit time
        ASSERT_NE(s.Step(), TMeasureSession::TStep::LinkLost) << i;
        Advance(100);
    }
    EXPECT_EQ(s.Received(), 128);
    EXPECT_TRUE(s.Streaming());
    s.Stop();

    Adc = std::make_unique<TADC>();
    Attach(config);
    TMeasureSession t(*Adc);
    t.SetStallLimit(STALL_LIMIT_US);
    ASSERT_EQ(t.Start(TADSetting{}, 1024, Codes.data()), TStartResult::Started);
    int64_t lastData = ClockUs;
    TMeasureSession::TStep step = TMeasureSession::TStep::Waiting;
    for (int i = 0; i < 1000 && step != TMeasureSession::TStep::LinkLost; ++i) {
        step = t.Step();
        if (t.LastRead() > 0) lastData = ClockUs;
        if (step == TMeasureSession::TStep::Waiting) Advance(10);
    }
    ASSERT_EQ(step, TMeasureSession::TStep::LinkLost);
    EXPECT_TRUE(t.Stalled());
    EXPECT_EQ(t.State(), TMeasureSession::TState::Failed);
    EXPECT_EQ(t.Received(), 128);
    EXPECT_GT(ClockUs - lastData, STALL_LIMIT_US);
    EXPECT_LE(ClockUs - lastData, STALL_LIMIT_US + 20000);
    EXPECT_EQ(Unit->Wire.rfind("AX\r") + 3, Unit->Wire.size()) << "the stop goes out all the same";

    // 5 sps: a sample every 200 ms (64 of them, 12.8 s) is no stall.
    Adc = std::make_unique<TADC>();
    Attach();
    TMeasureSession slow(*Adc);
    slow.SetStallLimit(STALL_LIMIT_US);
    TADSetting ad;
    ad.spsSel = 0;
    ASSERT_EQ(slow.Start(ad, 64, Codes.data()), TStartResult::Started);
    EXPECT_EQ(RunToEnd(slow, 10.0), TMeasureSession::TStep::Complete);
    EXPECT_FALSE(slow.Stalled());
}

TEST_F(SessionTest, StopAskedForWhileOpeningStartsNothing) {
    Attach();
    TMeasureSession s(*Adc);
    int pumps = 0;
    // The click arrives during the first reply wait, as the window's pump would deliver it.
    Tft_FIFO::Hooks.pump = [&] {
        ClockUs += PumpStepUs;
        if (++pumps == 1) s.Stop();
    };
    EXPECT_EQ(s.Start(TADSetting{}, 1024, Codes.data()), TStartResult::Stopped);
    EXPECT_EQ(At("A0"), std::string::npos);
    EXPECT_NE(s.State(), TMeasureSession::TState::Streaming);
    // The next start is not stopped by the old request.
    Tft_FIFO::Hooks.pump = [this] { ClockUs += PumpStepUs; };
    EXPECT_EQ(s.Start(TADSetting{}, 1024, Codes.data()), TStartResult::Started);
}

// Open and Begin apart, as a caller that starts several blocks after one opening: Begin only
// from Ready, and a count the buffer cannot take is refused before a byte goes out.
TEST_F(SessionTest, BeginOnlyFromAnOpenedUnit) {
    Attach();
    TMeasureSession s(*Adc);
    EXPECT_EQ(s.Begin(1024, Codes.data()), TStartResult::SendError);
    EXPECT_EQ(At("A0"), std::string::npos);
    ASSERT_EQ(s.Open(TADSetting{}), TStartResult::Started);
    EXPECT_EQ(s.State(), TMeasureSession::TState::Ready);
    EXPECT_EQ(At("A0"), std::string::npos) << "opening starts no conversion";
    EXPECT_EQ(s.Begin(DATA_BUF_LEN + 1, Codes.data()), TStartResult::SendError);
    EXPECT_EQ(At("A0"), std::string::npos);
    ASSERT_EQ(s.Open(TADSetting{}), TStartResult::Started);
    ASSERT_EQ(s.Begin(1024, Codes.data()), TStartResult::Started);
    EXPECT_NE(At("A000400\r"), std::string::npos);
    EXPECT_EQ(RunToEnd(s, 0.1), TMeasureSession::TStep::Complete);
    TSignalData sig;
    s.TakeBlock(sig);
    EXPECT_EQ(sig.ad_dnum, 1024);
    EXPECT_EQ(sig.spsSel, 13);
    EXPECT_FLOAT_EQ(sig.periodMs, 0.1f);
}

// A complete block the pipeline refused: one more "AX", and the session ends Failed.
TEST_F(SessionTest, RejectedBlockSendsTheStopAgain) {
    Attach();
    TMeasureSession s(*Adc);
    s.RejectBlock(); // nothing to reject yet: nothing is sent
    EXPECT_TRUE(Unit->Wire.empty());
    ASSERT_EQ(s.Start(TADSetting{}, 1024, Codes.data()), TStartResult::Started);
    ASSERT_EQ(RunToEnd(s, 0.1), TMeasureSession::TStep::Complete);
    Unit->Wire.clear();
    s.RejectBlock();
    EXPECT_EQ(Unit->Wire, "AX\r");
    EXPECT_EQ(s.State(), TMeasureSession::TState::Failed);
    s.RejectBlock(); // only once
    EXPECT_EQ(Unit->Wire, "AX\r");
}

// A stop asked for after "?" outranks the refusal whose reply was awaited: the user sees
// "stopped", not a refused rate, and the link is closed.
TEST_F(SessionTest, StopOutranksALaterRefusal) {
    TUnitConfig config;
    config.faults.ngCommand = "FD";
    Attach(config);
    TMeasureSession s(*Adc);
    bool asked = false;
    Tft_FIFO::Hooks.pump = [&] {
        ClockUs += PumpStepUs;
        // While the reply to the rate command, which the unit refuses, is awaited.
        if (!asked && Unit->Wire.find("FD\r") != std::string::npos) {
            asked = true;
            s.RequestStop();
        }
    };
    EXPECT_EQ(s.Start(TADSetting{}, 1024, Codes.data()), TStartResult::Stopped);
    EXPECT_TRUE(asked);
    EXPECT_FALSE(Adc->IsOpen());
    EXPECT_EQ(At("A0"), std::string::npos);
    Tft_FIFO::Hooks.pump = [this] { ClockUs += PumpStepUs; };
    // Without a stop the same unit gives its own reason.
    EXPECT_EQ(s.Start(TADSetting{}, 1024, Codes.data()), TStartResult::RateRefused);
}

// RMS and the largest line of a known block against the definitions computed here in double:
// an on-bin sine under the rectangular window.
// A host that rests PollPause between polls still reads faster than the unit sends (two
// pauses fit in the time one read's samples take), and is never woken needlessly often nor
// left asleep for long at the slow rates.
TEST(PollPause, KeepsUpWithEveryRateAndFilter) {
    using std::chrono::microseconds;
    for (int32_t sel = 0; sel < RATE_COUNT; ++sel) {
        for (uint8_t sinc3 : {uint8_t{0}, uint8_t{1}}) {
            const double readUs =
                static_cast<double>(SamplePeriodMs(sel, sinc3)) * 1000.0 * SamplesPerRead(sel);
            const microseconds p = PollPause(sel, sinc3);
            EXPECT_LE(2.0 * static_cast<double>(p.count()), std::max(readUs, 400.0)) << sel;
            EXPECT_GE(p, microseconds(200)) << sel;
            EXPECT_LE(p, microseconds(20000)) << sel;
        }
    }
    EXPECT_EQ(PollPause(13, 1), microseconds(3200)); // 64 samples at 10 ksps: 6.4 ms a read
    EXPECT_EQ(PollPause(0, 1), microseconds(20000)); // 5 sps: a sample every 200 ms
    EXPECT_EQ(PollPause(-1, 1), microseconds(200));  // no rate: poll often
}

TEST(BlockPipeline, FiguresOfAKnownBlock) {
    auto rec = TMeasureRecord::Create();
    const int n = 4096;
    const int bin = 300;
    const double peakV = 0.8;
    for (int i = 0; i < n; ++i) {
        const double v = peakV * std::sin(2 * std::numbers::pi * bin * i / n);
        rec->CodeBuf[static_cast<size_t>(i)] =
            static_cast<uint32_t>(std::llround(v * 2147483647.0 / 2.5 + 2147483648.0));
    }
    TSignalData& sig = rec->SigData;
    sig.ad_dnum = n;
    sig.spsSel = 13;
    sig.sinc3 = 1;
    TADSetting ad;
    TFFTSetting fft;
    fft.whichWindowFunc = 0;
    TmyFFT engine;
    TBlockReadouts r;
    ASSERT_EQ(RunBlockPipeline(sig, fft, engine, SpectrumWorkOf(*rec), TBlockSource::Measured, r),
              TBlockResult::Ok);
    EXPECT_EQ(r.peakBin, bin);
    EXPECT_NEAR(r.peakVolt, peakV / std::sqrt(2.0), 1e-5);
    EXPECT_NEAR(r.rms, peakV / std::sqrt(2.0), 1e-5);
    EXPECT_NEAR(r.peakdB, 20 * std::log10(peakV / std::sqrt(2.0)), 1e-3);
    EXPECT_NEAR(r.peakHz, bin * 10000.0 / n, 1e-3);
    double mean = 0, ss = 0;
    for (int i = 0; i < n; ++i)
        mean += rec->CodeBuf[static_cast<size_t>(i)];
    mean /= n;
    for (int i = 0; i < n; ++i)
        ss += std::pow(rec->CodeBuf[static_cast<size_t>(i)] - mean, 2);
    EXPECT_NEAR(r.codeStdDev, std::sqrt(ss / n), std::sqrt(ss / n) * 1e-6);

    fft.fAbsoGraph = 0; // relative: the largest line is 0 dB
    ASSERT_EQ(RunBlockPipeline(sig, fft, engine, SpectrumWorkOf(*rec), TBlockSource::Held, r),
              TBlockResult::Ok);
    EXPECT_NEAR(r.peakdB, 0.0f, 1e-4);

    // A full-scale code fails a fresh block, not a held one.
    rec->CodeBuf[7] = 0xFFFFFFFFu;
    EXPECT_EQ(RunBlockPipeline(sig, fft, engine, SpectrumWorkOf(*rec), TBlockSource::Measured, r),
              TBlockResult::LevelError);
    EXPECT_EQ(RunBlockPipeline(sig, fft, engine, SpectrumWorkOf(*rec), TBlockSource::Held, r),
              TBlockResult::Ok);
    sig.ad_dnum = 1000; // not a count the spectrum takes
    EXPECT_EQ(RunBlockPipeline(sig, fft, engine, SpectrumWorkOf(*rec), TBlockSource::Held, r),
              TBlockResult::Invalid);
}
