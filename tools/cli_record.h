// kalvex-cli record: a long recording from the unit to a CSV file, headless; and the reading of
// such a recording (or a time range of it) as a block for analyze.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "cli_sweep.h"
#include "record.h"

namespace kalvex_cli {

struct TRecordArgs {
    std::string rate;   // a rate text or index; empty: the defaults'
    std::string filter; // "sinc3" / "sinc5"; empty: the defaults'
    int32_t ch = 0;
    double duration = 0.0; // seconds; 0: until interrupted
    std::string out;       // the CSV file
    bool json = false;
};

// Adds "record" with its options to app, filling args.
CLI::App* AddRecordCommand(CLI::App& app, TRecordArgs& args);

// Opens the unit, records until the duration is reached or Ctrl-C (a normal end: exit 0), and
// prints a summary (samples, seconds, runs, mean, RMS noise, peak-to-peak) once the file is
// closed. A lost link closes the file with what came and fails with kExitLinkLost, a failed
// write with kExitWrite; the file is closed in every case.
std::optional<TFailure> Record(const TRecordArgs& args, std::ostream& out, std::ostream& err);

// True when path starts like a recording ("# Kalvex recording").
bool IsRecordingFile(const std::string& path);

// The samples of [fromS, toS) of a recording (toS below fromS: to the end) as a block in sig
// (whose arrays take DATA_BUF_LEN): the first 2^n of them (1024 .. 262144) that the range
// holds, rate and filter from the header into ad and sig, the start time into file. An error
// text when the file is no readable recording or the range holds fewer than 1024 samples.
std::optional<std::string> LoadRecordingBlock(const std::string& path, double fromS, double toS,
                                              TSignalData& sig, TADSetting& ad, TFileSetting& file);

} // namespace kalvex_cli
