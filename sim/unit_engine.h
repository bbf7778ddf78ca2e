// The simulated unit's protocol engine: command lines in, replies and sample records out, all
// on a clock the caller drives (real time for the socket server, test time for the virtual
// device).
//
// As stern as the real unit: a conversion ends on "AX" or at its count and on nothing else.
// While it streams, every other command is still answered, the reply going out between two
// records; a start command is refused ("NG") and the running conversion goes on.
#pragma once

#include "signal_model.h"
#include "tables.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

struct TUnitFaults {
    bool silent = false;        // ignore every command
    std::string ngCommand;      // answer "NG" to exactly this command line
    long long noCrAt = -1;      // this record (0-based) ends in LF instead of CR
    long long fullScaleAt = -1; // this record carries a full-scale code
    bool fullScaleHigh = true;  // 0xFFFFFFFF, else 0x00000000
    long long dropAfter = -1;   // the link goes down after this many records
    long long hangAfter = -1;   // the unit hangs after this many records: the link stays up,
                                // nothing more comes and no command is answered
    int splitAt = 0;            // send each reply in two pieces, the first this long (0: whole)
    double splitGapMs = 3.0;    // pause between the two pieces
    double replyDelayMs = 0.2;  // from the command's CR to the reply
};

struct TUnitConfig {
    std::string modelName = UNIT_MODEL_NAME;
    std::string version = "1.00";
    std::array<TChannelSignal, 3> channels{DefaultChannelSignal(0), DefaultChannelSignal(1),
                                           DefaultChannelSignal(2)};
    double speed = 1.0; // records come this many times faster than the selected rate
    uint64_t seed = 1;
    TUnitFaults faults;
};

class TUnitEngine {
public:
    static constexpr int64_t NEVER = INT64_MAX;

    explicit TUnitEngine(TUnitConfig config);

    // Bytes from the host, received at nowNs.
    void Receive(const char* data, size_t n, int64_t nowNs);
    // Appends everything the unit has sent up to nowNs, replies and records in the order the
    // unit sent them.
    void Collect(int64_t nowNs, std::string& out);
    // Everything the unit sends up to nowNs is lost (no host reads it); the unit's state and
    // clock go on as if it had been collected.
    void Discard(int64_t nowNs);

    int64_t NextReplyNs() const;
    int64_t NextRecordNs() const;
    bool Dropped() const { return fDropped; }
    // Records of the current conversion are still due.
    bool Converting() const { return NextRecordNs() != NEVER; }
    // The conversion runs at nowNs: neither stopped nor past its count.
    bool ConvertingAt(int64_t nowNs) const;
    int RateIndex() const { return Rate; }
    bool Sinc3() const { return fSinc3; }
    long long RecordsSent() const { return Sent; }
    const TUnitConfig& Config() const { return Cfg; }

private:
    void Command(const std::string& line, int64_t nowNs);
    void Reply(const std::string& text, int64_t nowNs);
    bool StartConversion(const std::string& line, int64_t nowNs);
    int64_t RecordTimeNs(long long k) const;
    bool RecordDue(long long k, int64_t limitNs) const;
    // Appends what is due up to nowNs, at most MAX_BURST records.
    void Produce(int64_t nowNs, std::string& out);

    TUnitConfig Cfg;
    std::string Line;
    bool fLineTooLong = false;
    std::deque<std::pair<int64_t, std::string>> Pending;
    std::string Held; // due before a new conversion started, not yet collected
    int Rate = 13;
    bool fSinc3 = true;
    bool fRun = false;      // a conversion was started
    int64_t StopNs = NEVER; // "AX" came then: no record of this run is due after it
    bool fDropped = false;
    bool fHung = false;
    long long Requested = 0; // 0: until "AX"
    long long Sent = 0;      // records of the current run
    long long TotalSent = 0; // records put on the wire since power-on
    int64_t RunStartNs = 0;
    double RecordNs = 0.0;
    std::optional<TSignalGenerator> Generator;
    uint64_t Runs = 0;
};
