// TMeasureSession: one measurement with the unit, from opening and identifying it to the last
// sample of the block, as explicit states with one failure exit that carries the reason. It
// shows nothing: the window turns its results into panel texts and messages, kalvex-cli into
// exit codes. Qt-free; the unit's waits pump through the link's hooks as before.
#pragma once

#include "record.h"
#include "tables.h"

#include <chrono>
#include <cstdint>
#include <string>

class TADC;

// How long a host may rest between polls of a streaming unit: half the time one read's samples
// take at the rate (SamplesPerRead periods), within 200 us .. 20 ms. Reads keep up with the
// unit, and the host's core is not woken for reads that cannot be there yet.
std::chrono::microseconds PollPause(int32_t spsSel, uint8_t sinc3);

// How long a streaming unit may send nothing before an unattended measurement gives it up as
// lost: the slowest rate sends a sample every 200 ms (and its filter settles within a second),
// so five seconds of silence is a unit that has hung or gone.
constexpr int64_t STALL_LIMIT_US = 5'000'000;

// Why a start did not lead to a streaming unit.
enum class TStartResult {
    Started,
    NotFound,       // no device could be opened
    NoResponse,     // the device did not acknowledge "?"
    FilterRefused,  // "S3" / "S5" not acknowledged
    RateRefused,    // "F"+digit not acknowledged
    NameRefused,    // no usable answer to "U?"
    WrongModel,     // "U?" named another model
    VersionRefused, // no usable answer to "V?"
    SendError,      // the start command could not be written
    Stopped,        // a stop was asked for while the unit was being opened
    Busy,           // a measurement runs already
};

struct TUnitIdentity {
    std::string name; // as the unit answered "U?", also when it is another model
    std::string version;
    std::string rateText;
};

class TMeasureSession {
public:
    // Ready: opened and identified, no conversion started yet.
    enum class TState { Idle, Opening, Ready, Streaming, Complete, Failed };
    enum class TStep { Waiting, Progress, Complete, LinkLost };

    explicit TMeasureSession(TADC& unit) : Unit(unit) {}
    TMeasureSession(const TMeasureSession&) = delete;
    TMeasureSession& operator=(const TMeasureSession&) = delete;

    // Open, then Begin: a block of count samples (1 .. DATA_BUF_LEN) with ad.
    // Started: the unit streams. Anything else: nothing streams.
    TStartResult Start(const TADSetting& ad, int32_t count, uint32_t* dest);

    // Opens and identifies the unit with ad: "?", filter, rate, "U?", "V?". Started: Ready.
    // Not found or silent: the link is closed. A refused setup command leaves it open (the
    // next start opens afresh). A stop asked for meanwhile ends the opening once the reply
    // being waited for is in, and after "?" it outranks a refusal: Stopped, link closed.
    TStartResult Open(const TADSetting& ad);
    // From Ready: the start command for count samples that Step stores from dest on.
    // SendError: "AX" tried and the link closed.
    TStartResult Begin(int32_t count, uint32_t* dest);
    // From Ready: samples back to back until Stop, in runs of the largest count the start
    // command carries (MAX_RUN samples); when a run is in, only the start command goes out
    // again. Step stores them from dest on and reports Complete for each blockLen samples;
    // the block stays in dest until the next Step, which starts the next block at dest.
    TStartResult BeginContinuous(int32_t blockLen, uint32_t* dest);

    // One acquisition step: at most one read of the samples the rate asks for. Complete: the
    // block is in and "AX" sent. LinkLost: "AX" tried; a link that cannot take it is closed.
    TStep Step();
    // Ends a streaming block ("AX"; a link that cannot take it is closed); Received() keeps
    // the samples of the block that came (in continuous mode those of the block not yet
    // reported). While opening: as RequestStop.
    void Stop();
    // From an event handler that runs while Open waits for the unit.
    void RequestStop() { fStopRequested = true; }
    // A unit that sends nothing for longer than limitUs while it streams is given up as a lost
    // link: Step sends "AX" and reports LinkLost, and Stalled() tells why. 0 (the default):
    // Step waits for as long as it takes, for a user who is there to stop it.
    void SetStallLimit(int64_t limitUs) { StallLimitUs = limitUs; }
    bool Stalled() const { return fStalled; }
    // A complete block that the pipeline refused (its level): "AX" once more, as the cycle
    // does, and the session ends Failed.
    void RejectBlock();
    // "AX" where needed, then the link closed.
    void Close();

    static constexpr int32_t MAX_RUN = MAX_START_COUNT;

    TState State() const { return Current; }
    bool Continuous() const { return fContinuous; }
    // Runs started since BeginContinuous (1 after it), and the link clock (microseconds, as
    // the link's waits count it) when the current one was started.
    int64_t Runs() const { return RunCount; }
    int64_t RunStartUs() const { return RunStart; }
    // The samples the last Step stored: how many, and the position of the first in its run.
    int LastRead() const { return LastN; }
    int64_t LastReadInRun() const { return LastRunPos; }
    const uint32_t* LastReadData() const { return LastN > 0 ? Dest + Count - LastN : nullptr; }
    bool Streaming() const { return Current == TState::Streaming; }
    // A stop was asked for during the last opening.
    bool StopRequested() const { return fStopRequested; }
    const TUnitIdentity& Identity() const { return Unit_; }
    const TADSetting& Setting() const { return Ad; }
    int32_t Received() const { return Count; }
    int32_t Wanted() const { return Total; }
    uint32_t LastCode() const { return Count > 0 ? Dest[Count - 1] : 0; }
    // The complete block's count, rate and filter into sig (whose arrays hold the codes).
    void TakeBlock(TSignalData& sig) const;

private:
    TStartResult Fail(TStartResult why);
    // A setup command was refused: the reason, unless a stop was asked for meanwhile.
    TStartResult Refused(TStartResult why);
    TStartResult StoppedWhileOpening();
    // "AX"; a link that cannot take it is closed.
    void SendStop();
    // The start command of the next continuous run.
    bool StartRun();

    TADC& Unit;
    TState Current = TState::Idle;
    TADSetting Ad;
    TUnitIdentity Unit_;
    uint32_t* Dest = nullptr;
    int32_t Total = 0;
    int32_t Count = 0;
    bool fStopRequested = false;
    bool fContinuous = false;
    int64_t RunCount = 0;
    int64_t RunStart = 0;
    int64_t RunGot = 0; // samples of the current run received
    int LastN = 0;
    int64_t LastRunPos = 0;
    int64_t StallLimitUs = 0;
    int64_t LastDataUs = 0; // the link clock when samples last came (or streaming began)
    bool fStalled = false;
};
