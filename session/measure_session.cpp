#include "measure_session.h"

#include "ad7177.h"
#include "tables.h"

#include <algorithm>

namespace {

bool BlockFits(int32_t count, const uint32_t* dest) {
    return dest && count >= 1 && count <= DATA_BUF_LEN;
}

} // namespace

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
    if (!Unit.StartConvert(Ad.ch_sel, count)) {
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
    if (Current != TState::Streaming) return TStep::Waiting;
    // Never past the end of the block, whatever the count.
    const int want = std::min(SamplesPerRead(Ad.spsSel), Total - Count);
    int n = 0;
    if (!Unit.ReadSamples(Dest + Count, n, want)) {
        SendStop();
        Current = TState::Failed;
        return TStep::LinkLost;
    }
    if (n <= 0) return TStep::Waiting;
    Count += n;
    if (Count < Total) return TStep::Progress;
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
    sig.spsSel = Ad.spsSel;
    sig.sinc3 = Ad.sinc3;
}
