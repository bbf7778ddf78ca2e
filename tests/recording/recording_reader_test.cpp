// Reading a recording back: the codes of a time range against what was appended, runs with
// their own time origin, a last line without its end (a copy cut short) skipped, and what is
// refused with its reason.
#include <gtest/gtest.h>

#include "recording_reader.h"
#include "recording_writer.h"
#include "temp_dir.h"

#include <random>
#include <string>
#include <vector>

namespace {

TRecordingHeader Header() {
    TRecordingHeader h;
    h.unit = "ZR4410QM";
    h.version = "1.00";
    h.rateText = "1ksps";
    h.filter = "Sinc5+Sinc1";
    h.channel = "CH1";
    h.startTime = "2026/12/09 10:00:00";
    h.periodMs = 1.0;
    return h;
}

// 5000 random codes written in two runs: 3000 from 0 s, 2000 from 10 s.
std::vector<uint32_t> WriteTwoRuns(const std::string& path) {
    std::mt19937 rng(11);
    std::vector<uint32_t> codes(5000);
    for (auto& c : codes)
        c = static_cast<uint32_t>(rng());
    TRecordingWriter w;
    int64_t now = 0;
    w.NowMs = [&] { return now; };
    EXPECT_TRUE(w.Open(path, Header()));
    for (int i = 0; i < 3000; i += 100) {
        now += 100;
        EXPECT_TRUE(w.Append(codes.data() + i, 100));
    }
    w.StartRun(10.0);
    EXPECT_TRUE(w.Append(codes.data() + 3000, 2000));
    EXPECT_TRUE(w.Close());
    return codes;
}

} // namespace

TEST(RecordingReader, TakesTheCodesOfATimeRange) {
    TempDir dir;
    const std::string path = dir.file("r.csv");
    const std::vector<uint32_t> codes = WriteTwoRuns(path);
    TRecordingContent c;
    std::string err;
    ASSERT_TRUE(ReadRecording(path, {}, c, err)) << err;
    EXPECT_EQ(c.codes, codes);
    EXPECT_EQ(c.linesInFile, 5000u);
    EXPECT_EQ(c.header.unit, "ZR4410QM");
    EXPECT_EQ(c.header.rateText, "1ksps");
    EXPECT_EQ(c.header.filter, "Sinc5+Sinc1");
    EXPECT_EQ(c.header.channel, "CH1");
    EXPECT_EQ(c.header.startTime, "2026/12/09 10:00:00");
    EXPECT_DOUBLE_EQ(c.header.periodMs, 1.0);

    // [1 s, 2 s) of the first run: samples 1000..1999 (1 ms each).
    ASSERT_TRUE(ReadRecording(path, {1.0, 2.0, 0}, c, err)) << err;
    EXPECT_EQ(c.codes, std::vector<uint32_t>(codes.begin() + 1000, codes.begin() + 2000));
    // The second run starts at 10 s: [2.5 s, 10.5 s) holds the first run's last 500 and the
    // second run's first 500.
    ASSERT_TRUE(ReadRecording(path, {2.5, 10.5, 0}, c, err)) << err;
    std::vector<uint32_t> want(codes.begin() + 2500, codes.begin() + 3500);
    EXPECT_EQ(c.codes, want);
    // At most maxSamples, and the rest noted.
    ASSERT_TRUE(ReadRecording(path, {0.0, -1.0, 100}, c, err)) << err;
    EXPECT_EQ(c.codes.size(), 100u);
    EXPECT_TRUE(c.truncated);
}

TEST(RecordingReader, SkipsALastLineWithoutItsEndAndRefusesBrokenFiles) {
    TempDir dir;
    const std::string path = dir.file("r.csv");
    WriteTwoRuns(path);
    std::string text = TempDir::Read(path);
    TempDir::Write(path, text + "10.002000,21474");
    TRecordingContent c;
    std::string err;
    ASSERT_TRUE(ReadRecording(path, {}, c, err)) << err;
    EXPECT_EQ(c.codes.size(), 5000u);

    struct Case {
        const char* name;
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {"empty", "", "empty file"},
        {"other", "DataFile:Kalvex\r\n", "not a Kalvex recording"},
        {"no column line", "# Kalvex recording\r\n# period_ms: 1\r\n", "no column line"},
        {"no period", "# Kalvex recording\r\ntime_s,code,volts\r\n", "no sample period"},
        {"bad line", "# Kalvex recording\r\n# period_ms: 1\r\ntime_s,code,volts\r\n1,2\r\n",
         "line 4"},
        {"code too big",
         "# Kalvex recording\r\n# period_ms: 1\r\ntime_s,code,volts\r\n0,4294967296,1\r\n",
         "line 4"},
        {"stray line", "# Kalvex recording\r\nhello\r\n", "line 2"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TempDir::Write(path, k.text);
        EXPECT_FALSE(ReadRecording(path, {}, c, err));
        EXPECT_NE(err.find(k.why), std::string::npos) << err;
    }
    EXPECT_FALSE(ReadRecording(dir.path(), {}, c, err));
    EXPECT_EQ(err, "not a regular file");
    EXPECT_FALSE(ReadRecording(dir.file("missing.csv"), {}, c, err));
}
