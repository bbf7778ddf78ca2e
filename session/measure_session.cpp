#include "measure_session.h"

#include "ad7177.h"
#include "tables.h"

#include <algorithm>
#include <chrono>

namespace {

bool BlockFits(int32_t count, const uint32_t* dest) {
    return dest && count >= 1 && count <= DATA_BUF_LEN;
}

int64_t LinkNowUs() {
    if (Tft_FIFO::Hooks.nowUs) return Tft_FIFO::Hooks.nowUs();
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::chrono::microseconds PollPause(int32_t spsSel, uint8_t sinc3) {
    const double us =
        static_cast<double>(SamplePeriodMs(spsSel, sinc3)) * 1000.0 * SamplesPerRead(spsSel) / 2.0;
    return std::chrono::microseconds(std::clamp<int64_t>(static_cast<int64_t>(us), 200, 20000));
}

TStartResult TMeasureSession::Fail(TStartResult why) {
    Current = TState::Failed;
    return why;
}

TStartResult TMeasureSession::StoppedWhileOpening() {
    Unit.CloseDevice();
    return Fail(TStartResult::Stopped);
}

TStartResult TMeasureSession::Refused(TStartResult why) {
    return fStopRequested ? StoppedWhileOpening() : Fail(why);
}

void TMeasureSession::SendStop() {
    if (!Unit.StopConvert()) Unit.CloseDevice();
}

TStartResult TMeasureSession::Open(const TADSetting& ad) {
    if (Current == TState::Opening || Current == TState::Streaming) return TStartResult::Busy;
    Current = TState::Opening;
    fStopRequested = false;
    Ad = ad;
    Unit_ = {};
    TADC& u = Unit;
    if (!u.OpenDevice()) {
        u.CloseDevice();
        return Fail(TStartResult::NotFound);
    }
    if (!u.CheckResponse()) {
        u.CloseDevice();
        return Fail(TStartResult::NoResponse);
    }
    if (fStopRequested) return StoppedWhileOpening();
    if (!(ad.sinc3 == 1 ? u.SetFilterSinc3() : u.SetFilterSinc5()))
        return Refused(TStartResult::FilterRefused);
    if (fStopRequested) return StoppedWhileOpening();
    if (!u.SetRate(ad.spsSel)) return Refused(TStartResult::RateRefused);
    Unit_.rateText = u.GetRateText(ad.spsSel, ad.sinc3);
    if (fStopRequested) return StoppedWhileOpening();
    if (!u.GetUnitName(Unit_.name)) return Refused(TStartResult::NameRefused);
    if (Unit_.name != u.GetModelName()) return Refused(TStartResult::WrongModel);
    if (fStopRequested) return StoppedWhileOpening();
    if (!u.GetVersion(Unit_.version)) return Refused(TStartResult::VersionRefused);
    if (fStopRequested) return StoppedWhileOpening();
    Current = TState::Ready;
    return TStartResult::Started;
}

TStartResult TMeasureSession::Begin(int32_t count, uint32_t* dest) {
    if (Current == TState::Streaming) return TStartResult::Busy;
    if (Current != TState::Ready || !BlockFits(count, dest)) return Fail(TStartResult::SendError);
    Dest = dest;
    Total = count;
    Count = 0;
    LastN = 0;
    fContinuous = false;
    fStalled = false;
    LastDataUs = LinkNowUs();
    if (!Unit.StartConvert(Ad.ch_sel, count)) {
        Unit.StopConvert();
        Unit.CloseDevice();
        return Fail(TStartResult::SendError);
    }
    Current = TState::Streaming;
    return TStartResult::Started;
}

bool TMeasureSession::StartRun() {
    RunGot = 0;
    ++RunCount;
    RunStart = LinkNowUs();
    LastDataUs = RunStart;
    return Unit.StartConvert(Ad.ch_sel, MAX_RUN);
}

TStartResult TMeasureSession::BeginContinuous(int32_t blockLen, uint32_t* dest) {
    if (Current == TState::Streaming) return TStartResult::Busy;
    if (Current != TState::Ready || !BlockFits(blockLen, dest))
        return Fail(TStartResult::SendError);
    Dest = dest;
    Total = blockLen;
    Count = 0;
    LastN = 0;
    RunCount = 0;
    fContinuous = true;
    fStalled = false;
    if (!StartRun()) {
        Unit.StopConvert();
        Unit.CloseDevice();
        return Fail(TStartResult::SendError);
    }
    Current = TState::Streaming;
    return TStartResult::Started;
}

TStartResult TMeasureSession::Start(const TADSetting& ad, int32_t count, uint32_t* dest) {
    if (Current == TState::Opening || Current == TState::Streaming) return TStartResult::Busy;
    // A count that cannot be taken is refused before a byte goes to the unit.
    if (!BlockFits(count, dest)) return Fail(TStartResult::SendError);
    const TStartResult opened = Open(ad);
    if (opened != TStartResult::Started) return opened;
    return Begin(count, dest);
}

TMeasureSession::TStep TMeasureSession::Step() {
    LastN = 0;
    if (Current != TState::Streaming) return TStep::Waiting;
    if (fContinuous) {
        // The block reported last is done with: the next one fills dest afresh.
        if (Count >= Total) Count = 0;
        if (RunGot >= MAX_RUN && !StartRun()) {
            SendStop();
            Current = TState::Failed;
            return TStep::LinkLost;
        }
    }
    // Never past the end of the block (or of the run), whatever the count.
    int want = std::min(SamplesPerRead(Ad.spsSel), Total - Count);
    if (fContinuous) want = static_cast<int>(std::min<int64_t>(want, MAX_RUN - RunGot));
    int n = 0;
    if (!Unit.ReadSamples(Dest + Count, n, want)) {
        SendStop();
        Current = TState::Failed;
        return TStep::LinkLost;
    }
    if (n <= 0) {
        if (StallLimitUs > 0 && LinkNowUs() - LastDataUs > StallLimitUs) {
            SendStop();
            Current = TState::Failed;
            fStalled = true;
            return TStep::LinkLost;
        }
        return TStep::Waiting;
    }
    if (StallLimitUs > 0) LastDataUs = LinkNowUs();
    Count += n;
    LastN = n;
    LastRunPos = RunGot;
    RunGot += n;
    if (Count < Total) return TStep::Progress;
    if (fContinuous) return TStep::Complete;
    SendStop();
    Current = TState::Complete;
    return TStep::Complete;
}

void TMeasureSession::Stop() {
    if (Current == TState::Opening) {
        fStopRequested = true;
        return;
    }
    if (Current != TState::Streaming) return;
    SendStop();
    // A continuous block reported complete has been taken: what is kept is the next one's.
    if (fContinuous && Count >= Total) Count = 0;
    Current = TState::Idle;
}

void TMeasureSession::RejectBlock() {
    if (Current != TState::Complete) return;
    // The unit takes the stop command twice in a row.
    Unit.StopConvert();
    Current = TState::Failed;
}

void TMeasureSession::Close() {
    if (Current == TState::Streaming) Unit.StopConvert();
    Unit.CloseDevice();
    Current = TState::Idle;
}

void TMeasureSession::TakeBlock(TSignalData& sig) const {
    sig.ad_dnum = Count;
    SetBlockRate(sig, Ad.spsSel, Ad.sinc3);
}
