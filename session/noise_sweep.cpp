#include "noise_sweep.h"

#include <charconv>
#include <cmath>

#include "block_pipeline.h"
#include "figures.h"
#include "myfft.h"
#include "numfmt.h"
#include "tables.h"

std::vector<TSweepPoint> SweepPoints(const std::vector<int32_t>& rates,
                                     const std::vector<uint8_t>& filters) {
    std::vector<TSweepPoint> points;
    for (int32_t r : rates)
        for (uint8_t f : filters)
            points.push_back({r, f});
    return points;
}

double SweepDurationSeconds(const TSweepPlan& plan, double overheadPerBlockS) {
    double s = 0.0;
    for (const TSweepPoint& p : plan.points)
        s += plan.count * static_cast<double>(SamplePeriodMs(p.spsSel, p.sinc3)) / 1000.0 +
             overheadPerBlockS;
    return s;
}

std::string DurationText(double seconds) {
    const long long total = seconds > 0.0 ? static_cast<long long>(std::ceil(seconds)) : 0;
    const long long h = total / 3600, m = total % 3600 / 60, s = total % 60;
    std::string t = "約 ";
    if (h > 0) return t + std::to_string(h) + " 時間 " + std::to_string(m) + " 分";
    if (m > 0) return t + std::to_string(m) + " 分 " + std::to_string(s) + " 秒";
    return t + std::to_string(s) + " 秒";
}

std::string SweepEstimateText(const TSweepPlan& plan) {
    return "所要時間の目安: " + DurationText(SweepDurationSeconds(plan));
}

TNoiseRow NoiseRowOf(const uint32_t* codes, int n, int32_t spsSel, uint8_t sinc3, int window) {
    TNoiseRow row;
    row.spsSel = spsSel;
    row.sinc3 = sinc3;
    row.rateText = RateText(spsSel, sinc3);
    row.count = n;
    row.periodMs = SamplePeriodMs(spsSel, sinc3);
    TFiguresInput in;
    in.codes = codes;
    in.n = n;
    in.window = window;
    TFigures f;
    if (!ComputeFigures(in, f)) return row;
    row.meanV = f.mean_v;
    row.rmsUv = f.noise_rms_v * 1e6;
    row.rmsCodes = f.noise_rms_code;
    row.ppUv = f.noise_pp_v * 1e6;
    row.ppCodes = f.noise_pp_code;
    row.effectiveBits = f.effective_bits;
    row.noiseFreeBits = f.noise_free_bits;
    // The density of a quiet input: the mean power per hertz over every bin clear of the
    // DC bins under the window (no line is taken out: a shorted input has none).
    std::vector<double> power;
    const double deltaF = row.periodMs > 0.0 ? 1000.0 / (row.periodMs * n) : 0.0;
    if (n >= 64 && deltaF > 0.0 && FigurePowerSpectrum(codes, n, window, power)) {
        const int first = FigureHalfWidth(window) + 1, last = n / 2 - 1;
        double sum = 0.0;
        for (int k = first; k <= last; ++k)
            sum += power[static_cast<size_t>(k)];
        if (last >= first) row.densityVrtHz = std::sqrt(sum / ((last - first + 1) * deltaF));
    }
    return row;
}

std::string NoiseTableCsv(const std::vector<TNoiseRow>& rows) {
    std::string out = "rate_index,rate,filter,samples,rms_uv,rms_codes,pp_uv,pp_codes,"
                      "effective_bits,noise_free_bits,density_v_per_rthz,mean_v,level_error\r\n";
    for (const TNoiseRow& r : rows) {
        out += std::to_string(r.spsSel) + ',' + r.rateText + ',' + (r.sinc3 ? "sinc3" : "sinc5") +
               ',' + std::to_string(r.count);
        for (double v : {r.rmsUv, r.rmsCodes, r.ppUv, r.ppCodes, r.effectiveBits, r.noiseFreeBits,
                         r.densityVrtHz, r.meanV}) {
            out += ',';
            if (r.levelError) continue; // no figures for a block outside the range
            AppendNumber(out, v);
        }
        out += r.levelError ? ",1\r\n" : ",0\r\n";
    }
    return out;
}

TNoiseSweep::TNoiseSweep(TMeasureSession& session, TSweepPlan plan, const TFFTSetting& fft)
    : Session(session), Plan_(std::move(plan)), Fft(fft), Rec(TMeasureRecord::Create()),
      Engine(std::make_unique<TmyFFT>()) {
    // Every block has the plan's count, whatever the settings say.
    Fft.DataCountMax = Plan_.count;
    Fft.DataCountSel = DataCountSelFor(Plan_.count);
}

TNoiseSweep::~TNoiseSweep() {
    if (State_ == TState::Running) Session.Close();
}

int32_t TNoiseSweep::Received() const {
    return Session.Streaming() || Session.State() == TMeasureSession::TState::Complete
               ? Session.Received()
               : 0;
}

TNoiseSweep::TStep TNoiseSweep::Finish(TState s) {
    Session.Close();
    State_ = s;
    return TStep::Finished;
}

TNoiseSweep::TStep TNoiseSweep::Step() {
    if (State_ != TState::Idle && State_ != TState::Running) return TStep::Finished;
    if (!Session.Streaming()) {
        if (Next_ >= static_cast<int>(Plan_.points.size())) return Finish(TState::Done);
        if (Plan_.count < MIN_DATA_COUNT || Plan_.count > MAX_DATA_COUNT) {
            Why_ = TStartResult::SendError;
            return Finish(TState::Failed);
        }
        State_ = TState::Running;
        const TSweepPoint& p = Plan_.points[static_cast<size_t>(Next_)];
        TADSetting ad;
        ad.spsSel = p.spsSel;
        ad.sinc3 = p.sinc3;
        ad.ch_sel = Plan_.ch;
        const TStartResult r = Session.Start(ad, Plan_.count, Rec->CodeBuf.data());
        if (State_ != TState::Running) { // stopped from an event pumped while opening
            Session.Close();
            return TStep::Finished;
        }
        if (r == TStartResult::Stopped) return Finish(TState::Stopped);
        if (r != TStartResult::Started) {
            Why_ = r;
            return Finish(TState::Failed);
        }
        return TStep::Progress;
    }
    switch (Session.Step()) {
    case TMeasureSession::TStep::Complete:
        return TakeBlock();
    case TMeasureSession::TStep::LinkLost:
        LinkLost_ = true;
        return Finish(TState::Failed);
    case TMeasureSession::TStep::Progress:
        return TStep::Progress;
    case TMeasureSession::TStep::Waiting:
        break;
    }
    return TStep::Waiting;
}

TNoiseSweep::TStep TNoiseSweep::TakeBlock() {
    const TSweepPoint& p = Plan_.points[static_cast<size_t>(Next_)];
    TSignalData& sig = Rec->SigData;
    Session.TakeBlock(sig);
    sig.ad_dnum = Plan_.count;
    SetBlockRate(sig, p.spsSel, p.sinc3);
    TBlockReadouts ro;
    const TBlockResult r =
        RunBlockPipeline(sig, Fft, *Engine, SpectrumWorkOf(*Rec), TBlockSource::Measured, ro);
    TNoiseRow row;
    if (r == TBlockResult::LevelError) {
        Session.RejectBlock();
        row = NoiseRowOf(nullptr, 0, p.spsSel, p.sinc3, Fft.whichWindowFunc);
        row.count = Plan_.count;
        row.levelError = true;
    } else {
        row = NoiseRowOf(sig.pCode, Plan_.count, p.spsSel, p.sinc3, Fft.whichWindowFunc);
    }
    Rows_.push_back(std::move(row));
    ++Next_;
    return TStep::Row;
}

void TNoiseSweep::Stop() {
    if (State_ != TState::Idle && State_ != TState::Running) return;
    if (Session.State() == TMeasureSession::TState::Opening) {
        // Inside Start's pumped wait: the opening ends once the reply is in.
        Session.RequestStop();
        State_ = TState::Stopped;
        return;
    }
    if (Session.Streaming()) Session.Stop();
    Finish(TState::Stopped);
}
