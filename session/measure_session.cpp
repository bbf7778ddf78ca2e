#include "measure_session.h"

#include "ad7177.h"
#include "tables.h"

#include <algorithm>

TStartResult TMeasureSession::Fail(TStartResult why) {
    Current = TState::Failed;
    return why;
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
    if (fStopRequested) return Fail(TStartResult::Stopped);
    if (!u.CheckResponse()) {
        u.CloseDevice();
        return Fail(TStartResult::NoResponse);
    }
    // The steps below leave the link open when the unit refuses: the next start opens it
    // afresh anyway.
    if (fStopRequested) return Fail(TStartResult::Stopped);
    if (!(ad.sinc3 == 1 ? u.SetFilterSinc3() : u.SetFilterSinc5()))
        return Fail(TStartResult::FilterRefused);
    if (fStopRequested) return Fail(TStartResult::Stopped);
    if (!u.SetRate(ad.spsSel)) return Fail(TStartResult::RateRefused);
    Unit_.rateText = u.GetRateText(ad.spsSel, ad.sinc3);
    if (fStopRequested) return Fail(TStartResult::Stopped);
    if (!u.GetUnitName(Unit_.name)) return Fail(TStartResult::NameRefused);
    if (Unit_.name != u.GetModelName()) return Fail(TStartResult::WrongModel);
    if (fStopRequested) return Fail(TStartResult::Stopped);
    if (!u.GetVersion(Unit_.version)) return Fail(TStartResult::VersionRefused);
    if (fStopRequested) return Fail(TStartResult::Stopped);
    return TStartResult::Started;
}

TStartResult TMeasureSession::Start(const TADSetting& ad, int32_t count, uint32_t* dest) {
    if (Current == TState::Opening || Current == TState::Streaming) return TStartResult::Busy;
    if (!dest || count < 1 || count > DATA_BUF_LEN) return Fail(TStartResult::SendError);
    const TStartResult opened = Open(ad);
    if (opened != TStartResult::Started) return opened;
    Dest = dest;
    Total = count;
    Count = 0;
    if (!Unit.StartConvert(ad.ch_sel, count)) {
        Unit.StopConvert();
        Unit.CloseDevice();
        return Fail(TStartResult::SendError);
    }
    Current = TState::Streaming;
    return TStartResult::Started;
}

TMeasureSession::TStep TMeasureSession::Step() {
    if (Current != TState::Streaming) return TStep::Waiting;
    // Never past the end of the block, whatever the count.
    const int want = std::min(SamplesPerRead(Ad.spsSel), Total - Count);
    int n = 0;
    if (!Unit.ReadSamples(Dest + Count, n, want)) {
        Unit.StopConvert();
        Current = TState::Failed;
        return TStep::LinkLost;
    }
    if (n <= 0) return TStep::Waiting;
    Count += n;
    if (Count < Total) return TStep::Progress;
    if (!Unit.StopConvert()) Unit.CloseDevice();
    Current = TState::Complete;
    return TStep::Complete;
}

void TMeasureSession::Stop() {
    if (Current == TState::Opening) {
        fStopRequested = true;
        return;
    }
    if (Current != TState::Streaming) return;
    if (!Unit.StopConvert()) Unit.CloseDevice();
    Current = TState::Idle;
}

void TMeasureSession::Close() {
    if (Current == TState::Streaming) Unit.StopConvert();
    Unit.CloseDevice();
    Current = TState::Idle;
}
