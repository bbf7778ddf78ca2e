// TMeasureSession: one measurement with the unit, from opening and identifying it to the last
// sample of the block, as explicit states with one failure exit that carries the reason. It
// shows nothing: the window turns its results into panel texts and messages, kalvex-cli into
// exit codes. Qt-free; the unit's waits pump through the link's hooks as before.
#pragma once

#include "record.h"

#include <cstdint>
#include <string>

class TADC;

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
    std::string name;
    std::string version;
    std::string rateText;
};

class TMeasureSession {
public:
    enum class TState { Idle, Opening, Streaming, Complete, Failed };
    enum class TStep { Waiting, Progress, Complete, LinkLost };

    explicit TMeasureSession(TADC& unit) : Unit(unit) {}
    TMeasureSession(const TMeasureSession&) = delete;
    TMeasureSession& operator=(const TMeasureSession&) = delete;

    // Opens and identifies the unit with ad, then starts a block of count samples (1 ..
    // DATA_BUF_LEN) that Step stores from dest on. Started: the unit streams (Streaming).
    // Anything else: nothing streams; the unit is closed where the cycle closes it.
    TStartResult Start(const TADSetting& ad, int32_t count, uint32_t* dest);
    // Opening and identifying only, for a caller that starts by itself.
    TStartResult Open(const TADSetting& ad);

    // One acquisition step: at most one read of the samples the rate asks for.
    TStep Step();
    // Ends a streaming block ("AX"); a link that cannot take it is closed.
    void Stop();
    // From an event handler that runs while Start waits for the unit: Start ends with Stopped
    // before the conversion is started.
    void RequestStop() { fStopRequested = true; }
    // "AX" where needed, then the link closed.
    void Close();

    TState State() const { return Current; }
    bool Streaming() const { return Current == TState::Streaming; }
    const TUnitIdentity& Identity() const { return Unit_; }
    const TADSetting& Setting() const { return Ad; }
    int32_t Received() const { return Count; }
    int32_t Wanted() const { return Total; }
    uint32_t LastCode() const { return Count > 0 ? Dest[Count - 1] : 0; }

private:
    TStartResult Fail(TStartResult why);

    TADC& Unit;
    TState Current = TState::Idle;
    TADSetting Ad;
    TUnitIdentity Unit_;
    uint32_t* Dest = nullptr;
    int32_t Total = 0;
    int32_t Count = 0;
    bool fStopRequested = false;
};
