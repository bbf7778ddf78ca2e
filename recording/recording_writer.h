// TRecordingWriter: a long recording streamed to a text file as it comes. The file is CSV with
// a header of '#' lines naming the unit, version, rate, filter, channel, start time and sample
// period, then "time_s,code,volts" and one line per sample. Whole lines reach the file at least
// every second, so a killed program, a full disk or a pulled cable loses at most the last
// second and always leaves a file that ends on a complete line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct TRecordingHeader {
    std::string unit;
    std::string version;
    std::string rateText;
    std::string filter;  // "Sinc3" or "Sinc5+Sinc1"
    std::string channel; // "CH0" / "CH1"
    std::string startTime;
    double periodMs = 0.0;
};

class TRecordingWriter {
public:
    TRecordingWriter() = default;
    ~TRecordingWriter();
    TRecordingWriter(const TRecordingWriter&) = delete;
    TRecordingWriter& operator=(const TRecordingWriter&) = delete;

    // Creates or replaces path (a regular file only; never blocks on a FIFO) and writes the
    // header. False with a reason in Error().
    bool Open(const std::string& path, const TRecordingHeader& header);
    // Adds samples; whole lines go to the file once a second has passed since the last time
    // (n = 0 only lets that second pass).
    bool Append(const uint32_t* codes, int n);
    // The samples appended from now on are timed from startS (seconds after the start of the
    // recording) plus their index in the run times the period; without a call, the first run
    // starts at 0.
    void StartRun(double startS);
    // Everything appended so far to the file, and to the disk.
    bool Flush();
    // Flushes and closes; true when every sample appended is in the file.
    bool Close();

    bool IsOpen() const { return Fd >= 0; }
    bool Failed() const { return fFailed; }
    const std::string& Error() const { return Err; }
    uint64_t Samples() const { return Index; }
    uint64_t SamplesWritten() const { return Written; }

    // Milliseconds of a steady clock; tests replace it.
    std::function<int64_t()> NowMs;

private:
    bool WriteOut();
    bool Fail(const std::string& why);

    int Fd = -1;
    std::string Buf;
    double PeriodS = 0.0;
    uint64_t Index = 0;    // samples appended
    uint64_t RunFirst = 0; // index of the current run's first sample
    double RunStartS = 0.0;
    uint64_t Written = 0; // samples whose lines are in the file
    uint64_t Pending = 0; // samples in Buf
    int64_t GoodSize = 0; // file size at the last complete write
    int64_t LastFlushMs = 0;
    bool fFailed = false;
    std::string Err;
};

// One sample line as the writer writes it, without the line end: time index x periodS
// (plus runStartS, the start of the sample's run).
std::string RecordingLine(uint64_t index, double periodS, uint32_t code, double runStartS = 0.0);
