// kalvex-cli record against the simulated unit on a socket, and analyze of a recording's time
// range: the file's samples against the signal's definition, the printed statistics against a
// two-pass computation over the file, the range's spectrum line against the tone, a lost link.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <numbers>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "cli.h"
#include "recording_rows.h"
#include "temp_dir.h"
#include "unit_process.h"

namespace {

using Row = TRecordingRow;

std::vector<Row> Rows(const std::string& text, bool* wholeLines) {
    return RecordingRows(text, wholeLines);
}

double D(size_t v) {
    return static_cast<double>(v);
}

struct CliRun {
    int code;
    std::string out, err;
};

class CliRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        env = std::make_unique<TSimulatedUnitEnv>(KALVEX_UNITSIM, dir.file("unit.sock"));
        socket = env->SocketPath();
    }
    void TearDown() override { env.reset(); }
    std::unique_ptr<TUnitProcess> Sim(std::vector<std::string> extra) {
        auto p = env->Start(std::move(extra), "50");
        EXPECT_TRUE(p->Running());
        return p;
    }
    std::unique_ptr<TSimulatedUnitEnv> env; // never a USB chip of this machine
    static CliRun Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int code = RunKalvexCli(args, out, err);
        return {code, out.str(), err.str()};
    }
    TempDir dir;
    std::string socket;
};

} // namespace

// Two seconds at 10 ksps of a 97.65625 Hz tone (bin 80 of 8192): exactly 20 000 lines, each
// the tone at k x T (two code steps, the unit's clock being the rate table's float period),
// and the summary's mean, RMS noise and p-p as the file's own samples give them (1e-9 V).
TEST_F(CliRecordTest, RecordsForADurationWithItsStatistics) {
    const double f = 97.65625, a = 0.5, dc = 0.125;
    auto sim = Sim({"--ch0", "dc=0.125,sine=97.65625:0.5"});
    const std::string path = dir.file("r.csv");
    const CliRun r = Run({"record", "--duration", "2", "--out", path, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["samples"], 20000);
    EXPECT_EQ(j["runs"], 1);
    EXPECT_EQ(j["rate_text"], "10ksps");
    EXPECT_EQ(j["ended"], "done");

    const std::string text = TempDir::Read(path);
    EXPECT_EQ(text.rfind("# Kalvex recording\r\n# unit: ZR4410QM\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\n# rate: 10ksps\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n# channel: CH0\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n# period_ms: 0.1\r\n"), std::string::npos);
    bool whole = false;
    const std::vector<Row> rows = Rows(text, &whole);
    EXPECT_TRUE(whole);
    ASSERT_EQ(rows.size(), 20000u);
    const double unitT = static_cast<double>(0.1f) / 1000.0;
    const double code = 2.5 / 2147483647.0;
    double sum = 0.0, lo = 1e9, hi = -1e9;
    for (size_t k = 0; k < rows.size(); ++k) {
        ASSERT_NEAR(rows[k].t, D(k) * 1e-4, 5e-7) << k;
        ASSERT_NEAR(rows[k].v, dc + a * std::sin(2.0 * std::numbers::pi * f * D(k) * unitT),
                    2.0 * code)
            << k;
        sum += rows[k].v;
        lo = std::min(lo, rows[k].v);
        hi = std::max(hi, rows[k].v);
    }
    const double mean = sum / D(rows.size());
    double sq = 0.0;
    for (const Row& row : rows)
        sq += (row.v - mean) * (row.v - mean);
    EXPECT_NEAR(j["mean_v"].get<double>(), mean, 1e-9);
    EXPECT_NEAR(j["rms_noise_v"].get<double>(), std::sqrt(sq / D(rows.size())), 1e-9);
    EXPECT_NEAR(j["pp_v"].get<double>(), hi - lo, 1e-9);

    // analyze takes [0.5 s, 1.5 s): 10 000 samples, of which the first 8192 are the block.
    const CliRun an = Run({"analyze", path, "--from", "0.5", "--to", "1.5", "--json"});
    ASSERT_EQ(an.code, 0) << an.err;
    const auto b = nlohmann::json::parse(an.out);
    EXPECT_EQ(b["samples"], 8192);
    EXPECT_EQ(b["peak_bin"], 80);
    EXPECT_NEAR(b["peak_hz"].get<double>(), f, 1e-6);
    // Hanning with its RMS correction: an on-bin tone reads 0.5 x 1.633 of its RMS.
    EXPECT_NEAR(b["peak_v"].get<double>(), a / std::sqrt(2.0) * 0.5 * 1.632993162, 0.002);
    double codeSum = 0.0;
    for (size_t k = 5000; k < 5000 + 8192; ++k)
        codeSum += rows[k].code;
    EXPECT_NEAR(b["code_mean"].get<double>(), codeSum / 8192.0, 1e-6);
}

TEST_F(CliRecordTest, ARangeTooShortOrAFileThatIsNoRecordingFails) {
    auto sim = Sim({});
    const std::string path = dir.file("s.csv");
    ASSERT_EQ(Run({"record", "--duration", "0.3", "--out", path}).code, 0);
    const CliRun shortRange = Run({"analyze", path, "--from", "0.1", "--to", "0.15"});
    EXPECT_EQ(shortRange.code, 1);
    EXPECT_NE(shortRange.err.find("fewer than 1024"), std::string::npos) << shortRange.err;
    // A recording cut off in its header (a copy, not the writer) is refused, not misread.
    TempDir::Write(dir.file("cut.csv"), "# Kalvex recording\r\n# unit: ZR4410QM\r\n");
    const CliRun cut = Run({"analyze", dir.file("cut.csv")});
    EXPECT_EQ(cut.code, 1);
    EXPECT_NE(cut.err.find("no column line"), std::string::npos) << cut.err;
    TempDir::Write(dir.file("bad.csv"),
                   "# Kalvex recording\r\n# period_ms: 0.1\r\n# rate: 10ksps\r\n"
                   "time_s,code,volts\r\n0.0,12x,0.1\r\n");
    const CliRun bad = Run({"analyze", dir.file("bad.csv")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("line 5"), std::string::npos) << bad.err;
}

// A pulled cable, or a unit that hangs with the cable in (five seconds without a sample), ends
// the recording: exit 13, the message says which, the file closed on a whole line with every
// sample the summary counts.
TEST_F(CliRecordTest, ALostLinkOrAHungUnitClosesTheFileWithWhatCame) {
    for (const char* fault : {"--drop-after", "--hang-after"}) {
        SCOPED_TRACE(fault);
        auto sim = Sim({fault, "30000"});
        const std::string path = dir.file(std::string(fault + 2) + ".csv");
        const CliRun r = Run({"record", "--out", path, "--json"});
        EXPECT_EQ(r.code, 13) << r.err;
        EXPECT_NE(r.err.find("is closed with"), std::string::npos) << r.err;
        const bool hung = std::string(fault) == "--hang-after";
        EXPECT_EQ(r.err.find("sent no sample for 5 s") != std::string::npos, hung) << r.err;
        const auto j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j["ended"], "link_lost");
        bool whole = false;
        const std::vector<Row> rows = Rows(TempDir::Read(path), &whole);
        EXPECT_TRUE(whole);
        EXPECT_EQ(j["samples"].get<size_t>(), rows.size());
        EXPECT_GT(rows.size(), 20000u);
        EXPECT_LE(rows.size(), 30001u);
    }
}

TEST_F(CliRecordTest, AFileThatCannotBeCreatedStartsNothing) {
    auto sim = Sim({});
    const CliRun r = Run({"record", "--duration", "1", "--out", dir.file("no/such/dir.csv")});
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("no/such/dir.csv"), std::string::npos) << r.err;
    const CliRun usage = Run({"record", "--duration", "1"});
    EXPECT_EQ(usage.code, 2);
    const CliRun rate = Run({"record", "--rate", "3ksps", "--out", dir.file("x.csv")});
    EXPECT_EQ(rate.code, 2);
}

namespace {

// Lines in the file at `path` (0 when it is not there yet).
size_t LinesIn(const std::string& path) {
    size_t n = 0;
    for (char c : TempDir::Read(path))
        n += c == '\n';
    return n;
}

// kalvex-cli as a process of its own, ended by a signal `ms` milliseconds after its output file
// first holds sample lines (opening the unit takes a while, longer under the sanitizers).
int RunAndSignal(const std::vector<std::string>& args, const std::string& out, int sig, int ms) {
    std::vector<std::string> all = {KALVEX_CLI};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"--out", out});
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) return -1;
    posix_spawn_file_actions_destroy(&fa);
    // The header has about ten lines; the writer flushes every second.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (LinesIn(out) < 20 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ::kill(pid, sig);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

} // namespace

// A killed recorder leaves a file that kalvex-cli reads, whole lines up to at most about a
// second before the kill. A kill that lands inside a write can cut that write at any page (the
// kernel ends a write at a fatal signal), so only the very last line may be cut short; readers
// leave it out. Ctrl-C is a normal end with the file closed on a whole line.
TEST_F(CliRecordTest, AKillLeavesAValidFileAndCtrlCEndsNormally) {
    auto sim = Sim({});
    const std::string killed = dir.file("killed.csv");
    const int status = RunAndSignal({"record"}, killed, SIGKILL, 2500);
    EXPECT_TRUE(WIFSIGNALED(status));
    std::string text = TempDir::Read(killed);
    const size_t lastEnd = text.rfind("\r\n");
    ASSERT_NE(lastEnd, std::string::npos);
    const std::string cut = text.substr(lastEnd + 2);
    EXPECT_LT(cut.size(), 40u) << "more than a piece of one line after the last line end";
    EXPECT_EQ(cut.find_first_of("\r\n"), std::string::npos);
    text.resize(lastEnd + 2);
    bool whole = false;
    const std::vector<Row> rows = Rows(text, &whole);
    EXPECT_TRUE(whole);
    // 2.5 s at 50 x 10 ksps after the first lines, minus at most the last second's lines.
    EXPECT_GT(rows.size(), 100000u);
    for (size_t k = 1; k < rows.size(); ++k)
        ASSERT_NEAR(rows[k].t - rows[k - 1].t, 1e-4, 5e-7) << k;
    const CliRun read = Run({"analyze", killed, "--json"});
    EXPECT_EQ(read.code, 0) << read.err;

    const std::string stopped = dir.file("stopped.csv");
    const int st = RunAndSignal({"record"}, stopped, SIGINT, 1000);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 0);
    const std::vector<Row> rows2 = Rows(TempDir::Read(stopped), &whole);
    EXPECT_TRUE(whole);
    EXPECT_GT(rows2.size(), 1000u);
}
