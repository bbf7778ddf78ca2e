// The noise table: one block on the chosen channel for each chosen rate and filter, each
// reduced to its noise figures (RMS and peak-to-peak noise in microvolts and codes, effective
// and noise-free bits, noise density). Step-driven like TMeasureSession, so the window's poll
// timer and kalvex-cli's loop drive it alike; Stop ends it after the row being taken. Qt-free.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "measure_session.h"
#include "record.h"

class TmyFFT;

// One line of the table.
struct TNoiseRow {
    int32_t spsSel = 0;
    uint8_t sinc3 = 1;
    std::string rateText;
    int32_t count = 0;
    double periodMs = 0.0;
    bool levelError = false; // a code at either end of the range: no figures
    double meanV = 0.0;
    double rmsUv = 0.0;
    double rmsCodes = 0.0;
    double ppUv = 0.0;
    double ppCodes = 0.0;
    double effectiveBits = 0.0;
    double noiseFreeBits = 0.0;
    double densityVrtHz = 0.0; // noise density, V/sqrt(Hz), mean over the bins above DC
};

struct TSweepPoint {
    int32_t spsSel = 0;
    uint8_t sinc3 = 1;
    bool operator==(const TSweepPoint&) const = default;
};

struct TSweepPlan {
    std::vector<TSweepPoint> points; // in the order they are measured
    int32_t ch = 0;
    int32_t count = 1024;
};

// What one block costs besides its samples: opening ("AX", settling, "?", filter, rate,
// "U?", "V?") and the start command, generously.
inline constexpr double SWEEP_BLOCK_OVERHEAD_S = 0.5;

// The rates (each in every filter given, filters inner) as a plan's points.
std::vector<TSweepPoint> SweepPoints(const std::vector<int32_t>& rates,
                                     const std::vector<uint8_t>& filters);
// Sum of count x period over the points, plus the overhead per block, in seconds.
double SweepDurationSeconds(const TSweepPlan& plan,
                            double overheadPerBlockS = SWEEP_BLOCK_OVERHEAD_S);
// "約 3 分 25 秒", "約 2 時間 5 分", "約 12 秒" (rounded up to whole seconds).
std::string DurationText(double seconds);
// "所要時間の目安: 約 ...".
std::string SweepEstimateText(const TSweepPlan& plan);

// The noise figures of one block of codes (n >= 1), from analysis/figures; the density needs
// n a power of two of at least 64, else it is 0. window as whichWindowFunc.
TNoiseRow NoiseRowOf(const uint32_t* codes, int n, int32_t spsSel, uint8_t sinc3, int window);

// The table as CSV (CR LF, '.' decimal point, full precision), a header line first.
std::string NoiseTableCsv(const std::vector<TNoiseRow>& rows);

class TNoiseSweep {
public:
    enum class TState { Idle, Running, Done, Stopped, Failed };
    enum class TStep { Waiting, Progress, Row, Finished };

    // session drives the unit; fft gives the window and the spectrum options of each block.
    TNoiseSweep(TMeasureSession& session, TSweepPlan plan, const TFFTSetting& fft);
    ~TNoiseSweep();
    TNoiseSweep(const TNoiseSweep&) = delete;
    TNoiseSweep& operator=(const TNoiseSweep&) = delete;

    // One step: starts the next block when none streams, else one acquisition step. Row: a
    // row was added (Rows().back()). Finished: the sweep ended (Done, Stopped or Failed).
    TStep Step();
    // Ends the block that streams ("AX") and the sweep: Stopped. Rows taken stay.
    void Stop();

    TState State() const { return State_; }
    const std::vector<TNoiseRow>& Rows() const { return Rows_; }
    const TSweepPlan& Plan() const { return Plan_; }
    // The point being measured (0-based), its samples so far.
    int CurrentPoint() const { return Next_; }
    int32_t Received() const;
    // Why the sweep failed: the start's reason, or Started with LinkLost() for a lost link.
    TStartResult FailReason() const { return Why_; }
    bool LinkLost() const { return LinkLost_; }

private:
    TStep Finish(TState s);
    TStep TakeBlock();

    TMeasureSession& Session;
    TSweepPlan Plan_;
    TFFTSetting Fft;
    std::unique_ptr<TMeasureRecord> Rec;
    std::unique_ptr<TmyFFT> Engine;
    std::vector<TNoiseRow> Rows_;
    TState State_ = TState::Idle;
    int Next_ = 0;
    TStartResult Why_ = TStartResult::Started;
    bool LinkLost_ = false;
};
