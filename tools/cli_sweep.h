// kalvex-cli's sweep command (cli_sweep.cpp) and the pieces of cli.cpp it shares with
// measure: the exit codes, the failure of a run, the rate names, the unit's start failures and
// the interrupt handling.
#pragma once

#include <signal.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "ft_fifo.h"
#include "measure_session.h"

namespace CLI {
class App;
}

namespace kalvex_cli {

// 1 stays what scripts know it as: the data file, or the one file of `settings`. The settings
// file of `analyze`, the output and internal errors came later and have codes of their own.
constexpr int kExitOk = 0;
constexpr int kExitInputFile = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLevel = 3;
constexpr int kExitWrite = 4;
constexpr int kExitSettingsFile = 5;
constexpr int kExitOutput = 6;
constexpr int kExitInternal = 7;
// measure and sweep: what went wrong with the unit.
constexpr int kExitNotFound = 10;
constexpr int kExitNoResponse = 11;
constexpr int kExitSetup = 12;
constexpr int kExitLinkLost = 13;
constexpr int kExitInterrupted = 130;

// A failure that ends the run: its exit code and the message line.
struct TFailure {
    int code;
    std::string message;
};

// The rate index a text names: one of the rate texts of either filter, or the index itself.
std::optional<int32_t> RateIndexOf(const std::string& text);
// The local time as the files' start time: "yyyy/MM/dd hh:mm:ss".
std::string NowText();
// The exit code and message of a start that failed.
TFailure StartFailureOf(TStartResult r);
// The exit code and message of a link lost while streaming, with the unit's silence when it
// stalled (STALL_LIMIT_US without a sample).
TFailure LinkLostFailure(const TMeasureSession& session);
// "the link to the unit was lost", or the unit's silence when it stalled.
std::string LinkLostCause(const TMeasureSession& session);
// --rate (a rate text or index) and --filter (sinc3 / sinc5), each at most once, for the
// commands that drive the unit.
void AddRateFilterOptions(CLI::App& command, std::string& rate, std::string& filter);

// Ctrl-C and SIGTERM while the unit is in use: the flag is set and the session is asked to
// stop from the link's pumped waits; the handlers and hooks are restored at the end.
class TInterruptScope {
public:
    explicit TInterruptScope(TMeasureSession& session);
    ~TInterruptScope();
    TInterruptScope(const TInterruptScope&) = delete;
    TInterruptScope& operator=(const TInterruptScope&) = delete;
    bool Interrupted() const;

private:
    struct sigaction oldInt_ {
    }, oldTerm_{};
    TLinkHooks oldHooks_;
};

// The sweep command's arguments.
struct TSweepArgs {
    std::string rates = "all"; // "0,5,13", rate texts, or "all"
    std::string filters = "sinc3,sinc5";
    int32_t ch = 0;
    int32_t count = 1024;
    std::string out; // the table as CSV; empty: none
    bool json = false;
};

// Adds "sweep" with its options to app, filling args.
CLI::App* AddSweepCommand(CLI::App& app, TSweepArgs& args);
// Runs the sweep: the estimate on err first, then each row on out as it is done.
std::optional<TFailure> Sweep(const TSweepArgs& args, std::ostream& out, std::ostream& err);

} // namespace kalvex_cli
