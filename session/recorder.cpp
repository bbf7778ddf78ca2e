#include "recorder.h"

#include "tables.h"

#include <algorithm>
#include <charconv>

namespace {

// The period as the rate table states it (0.1 ms, not the float's 0.100000001...), so that the
// time column reads as the rate says.
double TablePeriodMs(float periodMs) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, periodMs);
    double v = periodMs;
    std::from_chars(buf, r.ptr, v);
    return v;
}

} // namespace

TRecorder::~TRecorder() {
    if (Current == TState::Recording) Stop();
}

bool TRecorder::Begin(const std::string& path, const std::string& startTime) {
    if (Current == TState::Recording) {
        Err = "a recording runs already";
        return false;
    }
    Summary.Clear();
    Volts.Clear();
    End = TEnd::None;
    Err.clear();
    FilePath = path;
    RunSeen = 0;
    RunStartS = 0.0;
    RunFirst = 0;
    const TADSetting& ad = Session.Setting();
    const TUnitIdentity& id = Session.Identity();
    Period = TablePeriodMs(SamplePeriodMs(ad.spsSel, ad.sinc3));
    Head = {};
    Head.unit = id.name;
    Head.version = id.version;
    Head.rateText = id.rateText;
    Head.filter = ad.sinc3 == 1 ? "Sinc3" : "Sinc5+Sinc1";
    Head.channel = "CH" + std::to_string(ad.ch_sel);
    Head.startTime = startTime;
    Head.periodMs = Period;
    if (!Writer.Open(path, Head)) {
        Err = Writer.Error();
        return false;
    }
    if (Session.BeginContinuous(CHUNK, Buf.data()) != TStartResult::Started) {
        Writer.Close();
        Err = "the start command could not be sent";
        return false;
    }
    FirstRunUs = Session.RunStartUs();
    Current = TState::Recording;
    return true;
}

TRecorder::TState TRecorder::Step() {
    if (Current != TState::Recording) return Current;
    const TMeasureSession::TStep step = Session.Step();
    if (step == TMeasureSession::TStep::LinkLost) {
        Finish(TEnd::LinkLost);
        return Current;
    }
    int n = Session.LastRead();
    if (Limit > 0 && Samples() + static_cast<uint64_t>(n) > Limit)
        n = static_cast<int>(Limit - Samples());
    if (n > 0) {
        if (Session.Runs() != RunSeen) {
            // A new run: its time origin is the host's clock when its start command went out,
            // but never before the previous run's last sample by its index (a unit clock a
            // little fast, or a simulated unit faster than real time, would move it back).
            const double hostS = static_cast<double>(Session.RunStartUs() - FirstRunUs) / 1e6;
            const double endS =
                RunStartS + static_cast<double>(Samples() - RunFirst) * Period / 1000.0;
            RunStartS = RunSeen == 0 ? 0.0 : std::max(hostS, endS);
            RunFirst = Samples();
            RunSeen = Session.Runs();
            Writer.StartRun(RunStartS);
        }
        const uint32_t* codes = Session.LastReadData();
        Summary.Add(codes, static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            Volts.Add((static_cast<double>(codes[i]) - CODE_OF_ZERO_VOLT) * VOLT_PER_CODE);
    }
    if (!Writer.Append(Session.LastReadData(), n)) {
        Err = Writer.Error();
        Session.Stop();
        Finish(TEnd::WriteFailed);
    } else if (Limit > 0 && Samples() >= Limit) {
        Stop();
    }
    return Current;
}

void TRecorder::Stop() {
    if (Current != TState::Recording) return;
    Session.Stop();
    Finish(TEnd::Stopped);
}

void TRecorder::Finish(TEnd why) {
    End = why;
    if (!Writer.Close() && why != TEnd::WriteFailed) {
        End = TEnd::WriteFailed;
        Err = Writer.Error();
    }
    Current = TState::Ended;
}
