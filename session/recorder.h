// TRecorder: a long recording from an opened unit. The unit streams continuously (runs of the
// largest count the start command carries, the start command alone between runs); every
// sample goes to the CSV writer as it comes, into the strip chart's min/max summary and into
// the running statistics (volts). Memory stays flat however long it runs: one read buffer,
// the summary's bounded levels and the writer's second of lines.
#pragma once

#include "measure_session.h"
#include "recording_writer.h"
#include "strip_summary.h"

#include <cstdint>
#include <string>
#include <vector>

class TRecorder {
public:
    enum class TState { Idle, Recording, Ended };
    // Why a recording ended.
    enum class TEnd { None, Stopped, LinkLost, WriteFailed };

    explicit TRecorder(TMeasureSession& session) : Session(session) {}
    TRecorder(const TRecorder&) = delete;
    TRecorder& operator=(const TRecorder&) = delete;
    ~TRecorder();

    // From an opened (Ready) session: creates path with the header made from the session's
    // unit and setting and startTime, then starts the unit. False: nothing streams; the reason
    // in Error() (the file's, or the start command's with the link closed).
    bool Begin(const std::string& path, const std::string& startTime);
    // One acquisition step. The state turns Ended when the link is lost or a write fails (the
    // file is closed then, with every whole line that was written).
    TState Step();
    // Ends the recording: "AX", then the file flushed and closed.
    void Stop();
    // The recording stops by itself (Ended, Stopped) once it holds n samples (0: no limit).
    void SetLimit(uint64_t n) { Limit = n; }

    TState State() const { return Current; }
    TEnd EndReason() const { return End; }
    const std::string& Error() const { return Err; }
    const std::string& Path() const { return FilePath; }
    uint64_t Samples() const { return Summary.Count(); }
    uint64_t SamplesWritten() const { return Writer.SamplesWritten(); }
    int64_t Runs() const { return Session.Runs(); }
    double PeriodMs() const { return Period; }
    // Seconds of the recording so far (samples x period, gaps between runs left out).
    double Seconds() const { return static_cast<double>(Samples()) * Period / 1000.0; }
    const TStripSummary& Strip() const { return Summary; }
    const TRunningStats& Stats() const { return Volts; }
    const TRecordingHeader& Header() const { return Head; }

    // Samples per read buffer.
    static constexpr int32_t CHUNK = 4096;

private:
    void Finish(TEnd why);

    TMeasureSession& Session;
    TRecordingWriter Writer;
    TStripSummary Summary;
    TRunningStats Volts;
    TRecordingHeader Head;
    std::vector<uint32_t> Buf = std::vector<uint32_t>(CHUNK);
    TState Current = TState::Idle;
    TEnd End = TEnd::None;
    std::string Err, FilePath;
    double Period = 0.0;
    int64_t FirstRunUs = 0;
    int64_t RunSeen = 0;
    double RunStartS = 0.0; // the current run's time origin in the file
    uint64_t RunFirst = 0;  // its first sample
    uint64_t Limit = 0;
};
