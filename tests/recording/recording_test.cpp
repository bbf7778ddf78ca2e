// The recording writer (what reaches the file and when, a full disk, a FIFO) and the strip
// chart's summary (every column's extremes against the samples themselves, bounded memory).
#include <gtest/gtest.h>

#include "recording_rows.h"
#include "recording_writer.h"
#include "strip_summary.h"
#include "temp_dir.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Slurp(const std::string& path) {
    return TempDir::Read(path);
}

TRecordingHeader Header() {
    TRecordingHeader h;
    h.unit = "ZR4410QM";
    h.version = "1.00";
    h.rateText = "10ksps";
    h.filter = "Sinc3";
    h.channel = "CH0";
    h.startTime = "2026/12/09 10:00:00";
    h.periodMs = 0.1;
    return h;
}

// The sample lines of a recording, parsed as a reader would: time, code, volts.
using Row = TRecordingRow;

std::vector<Row> Rows(const std::string& text) {
    return RecordingRows(text);
}

} // namespace

TEST(RecordingWriter, LinesReachTheFileWithinASecondAndReadBack) {
    TempDir dir;
    const std::string path = dir.file("rec.csv");
    int64_t now = 0;
    TRecordingWriter w;
    w.NowMs = [&] { return now; };
    ASSERT_TRUE(w.Open(path, Header()));
    const std::string head = Slurp(path);
    for (const char* line :
         {"# unit: ZR4410QM\r\n", "# version: 1.00\r\n", "# rate: 10ksps\r\n",
          "# filter: Sinc3\r\n", "# channel: CH0\r\n", "# start: 2026/12/09 10:00:00\r\n",
          "# period_ms: 0.1\r\n", "time_s,code,volts\r\n"})
        EXPECT_NE(head.find(line), std::string::npos) << line;

    std::vector<uint32_t> codes(5000);
    std::mt19937 rng(8);
    for (auto& c : codes)
        c = static_cast<uint32_t>(rng());
    codes[0] = 0x80000000u;
    codes[1] = 0xFFFFFFFFu;
    codes[2] = 0;
    ASSERT_TRUE(w.Append(codes.data(), 2500));
    now = 999;
    ASSERT_TRUE(w.Append(codes.data() + 2500, 100));
    EXPECT_EQ(Slurp(path), head) << "nothing goes out before the second is up";
    now = 1000;
    ASSERT_TRUE(w.Append(codes.data() + 2600, 2400));
    EXPECT_EQ(w.SamplesWritten(), 5000u);
    const std::vector<Row> rows = Rows(Slurp(path));
    ASSERT_EQ(rows.size(), 5000u);
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].code, codes[i]) << i;
        ASSERT_NEAR(rows[i].t, static_cast<double>(i) * 1e-4, 1e-9) << i;
        const double volts = (static_cast<double>(codes[i]) - 2147483648.0) * 2.5 / 2147483647.0;
        ASSERT_NEAR(rows[i].v, volts, 0.6e-10) << i;
    }
    EXPECT_TRUE(w.Close());
    // Time from the index: no drift after 36 million samples at 10 ksps.
    EXPECT_EQ(RecordingLine(36000000, 1e-4, 0x80000000u), "3600.000000,2147483648,0.0000000000");
}

// Past a file-size limit (as on a full disk) the writer fails, and the file ends on the last
// whole line written before. In a child, so that the limit stays there.
TEST(RecordingWriter, AFullDiskLeavesAFileOfWholeLines) {
    TempDir dir;
    const std::string path = dir.file("full.csv");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        rlimit lim{20000, 20000};
        setrlimit(RLIMIT_FSIZE, &lim);
        int64_t now = 0;
        TRecordingWriter w;
        w.NowMs = [&] { return now; };
        if (!w.Open(path, Header())) _exit(2);
        std::vector<uint32_t> codes(100, 0x80001234u);
        bool failed = false;
        for (int i = 0; i < 100 && !failed; ++i) {
            now += 1000;
            failed = !w.Append(codes.data(), 100);
        }
        _exit(failed && w.Failed() && !w.Close() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string text = Slurp(path);
    ASSERT_FALSE(text.empty());
    EXPECT_LE(text.size(), 20000u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const std::vector<Row> rows = Rows(text);
    EXPECT_GT(rows.size(), 100u);
    EXPECT_EQ(rows.size() % 100, 0u) << "whole flushes only";
}

TEST(RecordingWriter, RefusesWhatIsNoRegularFile) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.csv");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TRecordingWriter w;
    EXPECT_FALSE(w.Open(fifo, Header())); // and does not block
    EXPECT_NE(w.Error().find("not a regular file"), std::string::npos);
    EXPECT_FALSE(w.Open(dir.path(), Header()));
    EXPECT_FALSE(w.Open(dir.file("missing/x.csv"), Header()));
    EXPECT_FALSE(w.Append(nullptr, 0));
    TRecordingHeader h = Header();
    h.periodMs = 0;
    EXPECT_FALSE(w.Open(dir.file("y.csv"), h));
}

// Every column's extremes cover the samples of the column, and reach no further beyond its
// edges than a quarter of the column or one finest entry; this holds while the finest level
// is given up for memory.
TEST(StripSummary, ColumnsHoldTheirSamplesExtremes) {
    std::mt19937 rng(21);
    std::vector<uint32_t> codes(300000);
    // A slow wander with noise and a few spikes, so that columns differ.
    double x = 2e9;
    for (size_t i = 0; i < codes.size(); ++i) {
        x += std::normal_distribution<double>(0, 1e5)(rng);
        codes[i] = static_cast<uint32_t>(std::clamp(x, 0.0, 4.29e9));
        if (i % 77777 == 5) codes[i] = 0xFFFFFFF0u;
    }
    for (size_t budget : {size_t{1} << 20, size_t{256}}) {
        SCOPED_TRACE(budget);
        TStripSummary s(16, budget);
        for (size_t i = 0; i < codes.size(); i += 1000)
            s.Add(codes.data() + i, 1000);
        EXPECT_EQ(s.Count(), codes.size());
        if (budget == 256) {
            EXPECT_GT(s.FinestBlock(), 16u);
            EXPECT_LT(s.Bytes(), 64u * 1024u);
        }
        std::vector<TMinMax> cols;
        for (auto [a, b, n] : {std::tuple<uint64_t, uint64_t, int>{0, 300000, 800},
                               {123457, 124001, 300},
                               {299000, 300000, 50},
                               {0, 5, 10}}) {
            s.Query(a, b, n, cols);
            ASSERT_EQ(cols.size(), static_cast<size_t>(n));
            const double per = static_cast<double>(b - a) / n;
            for (int c = 0; c < n; ++c) {
                const uint64_t c0 = a + static_cast<uint64_t>(std::floor(per * c));
                const uint64_t c1 =
                    c == n - 1 ? b : a + static_cast<uint64_t>(std::floor(per * (c + 1)));
                if (c1 <= c0) {
                    EXPECT_TRUE(cols[static_cast<size_t>(c)].Empty());
                    continue;
                }
                const auto [lo, hi] = std::minmax_element(codes.begin() + static_cast<long>(c0),
                                                          codes.begin() + static_cast<long>(c1));
                const uint64_t slack = std::max<uint64_t>(s.FinestBlock(), (c1 - c0) / 4);
                const uint64_t w0 = c0 >= slack ? c0 - slack : 0,
                               w1 = std::min<uint64_t>(c1 + slack, codes.size());
                const auto [wlo, whi] = std::minmax_element(codes.begin() + static_cast<long>(w0),
                                                            codes.begin() + static_cast<long>(w1));
                const TMinMax m = cols[static_cast<size_t>(c)];
                ASSERT_LE(m.lo, *lo) << a << " col " << c;
                ASSERT_GE(m.hi, *hi) << a << " col " << c;
                ASSERT_GE(m.lo, *wlo) << a << " col " << c;
                ASSERT_LE(m.hi, *whi) << a << " col " << c;
            }
        }
    }
}

TEST(RunningStats, MatchesTwoPassFigures) {
    std::mt19937 rng(4);
    std::normal_distribution<double> g(1.25, 2e-8);
    std::vector<double> v(100000);
    TRunningStats s;
    for (double& x : v) {
        x = g(rng);
        s.Add(x);
    }
    double mean = 0, ss = 0;
    for (double x : v)
        mean += x;
    mean /= 100000.0;
    for (double x : v)
        ss += (x - mean) * (x - mean);
    EXPECT_NEAR(s.MeanValue(), mean, 1e-13);
    EXPECT_NEAR(s.StdDev(), std::sqrt(ss / static_cast<double>(v.size())), 1e-15);
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    EXPECT_DOUBLE_EQ(s.PeakToPeak(), *hi - *lo);
    s.Clear();
    EXPECT_EQ(s.Count(), 0u);
    EXPECT_EQ(s.StdDev(), 0.0);
}
