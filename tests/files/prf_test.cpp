#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "file_fixtures.h"
#include "myfile.h"
#include "temp_dir.h"

namespace {

struct Settings {
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    bool operator==(const Settings&) const = default;
};

class PrfTest : public ::testing::Test {
protected:
    TempDir dir;
    TmyFile f;

    // Reads lines as a settings file into records that start from s.
    bool ReadLines(const std::vector<std::string>& lines, Settings& s) {
        const std::string path = dir.file("t.prf");
        TempDir::Write(path, CrLf(lines));
        return f.ReadPrf(path, PRF_HEADER, &s.fft, &s.file, &s.ad);
    }
    // The default file with one line replaced (matched by key).
    static std::vector<std::string> With(const std::string& key, const std::string& line) {
        auto l = DefaultPrfLines();
        for (auto& s : l)
            if (s.rfind(key, 0) == 0) s = line;
        return l;
    }
    bool Accepts(const std::string& key, const std::string& line) {
        Settings s;
        return ReadLines(With(key, line), s);
    }
};

} // namespace

TEST_F(PrfTest, DefaultInitFileIsWrittenByteForByte) {
    Settings s;
    const std::string path = dir.file("Kalvexini.prf");
    ASSERT_TRUE(f.WritePrf(path, PRF_HEADER, &s.fft, &s.file, &s.ad));
    EXPECT_EQ(TempDir::Read(path), CrLf(DefaultPrfLines()));
}

TEST_F(PrfTest, WrittenSettingsReadBackExactly) {
    Settings s;
    s.ad = {4, 0, 1};
    s.file = {1, "C:\\data\\テスト 1.DTA", "2021/02/22 10:15:30"};
    s.fft.fSig_Volt = 1;
    s.fft.fLogGraph = 0;
    s.fft.index_FreqS = 3;
    s.fft.index_FreqE = 9;
    s.fft.index_dB_max = 0;
    s.fft.index_dB_min = 20;
    s.fft.whichWindowFunc = 3;
    s.fft.PenColorGraph = -1;
    s.fft.DataCountSel = 8;
    s.fft.DataCountMax = 262144;
    const std::string path = dir.file("mine.prf");
    ASSERT_TRUE(f.WritePrf(path, PRF_HEADER, &s.fft, &s.file, &s.ad));
    Settings back;
    ASSERT_TRUE(f.ReadPrf(path, PRF_HEADER, &back.fft, &back.file, &back.ad));
    EXPECT_EQ(back, s);
    EXPECT_NE(TempDir::Read(path).find("PenColorGraph:-1\r\n"), std::string::npos);
}

TEST_F(PrfTest, DefaultFileReadsAsTheDefaults) {
    Settings s;
    s.ad.spsSel = 3;
    s.fft.index_dB_min = 5;
    s.file.DataFileName = "x";
    ASSERT_TRUE(ReadLines(DefaultPrfLines(), s));
    EXPECT_EQ(s, Settings{});
}

TEST_F(PrfTest, HeaderMustMatchExactly) {
    Settings s;
    auto l = DefaultPrfLines();
    l[0] = "DataFile:Kalvex";
    EXPECT_FALSE(ReadLines(l, s));
    l[0] = "kalvexini";
    EXPECT_FALSE(ReadLines(l, s));
    l[0] = "Kalvexini ";
    EXPECT_FALSE(ReadLines(l, s));
    EXPECT_FALSE(f.ReadPrf(dir.file("t.prf"), "", &s.fft, &s.file, &s.ad));
}

TEST_F(PrfTest, CommentsAreSkippedAndDoNotCountBlankLinesDo) {
    auto l = DefaultPrfLines();
    l.insert(l.begin(), ";made by hand");
    // 19 foreign lines before "A:" are allowed, comments on top of them are free.
    std::vector<std::string> foreign;
    for (int i = 0; i < 19; ++i)
        foreign.push_back("junk" + std::to_string(i));
    for (int i = 0; i < 30; ++i)
        foreign.push_back(";comment");
    auto ok = l;
    ok.insert(ok.begin() + 2, foreign.begin(), foreign.end());
    Settings s;
    EXPECT_TRUE(ReadLines(ok, s));
    // A twentieth foreign line, even a blank one, is too many.
    auto bad = ok;
    bad.insert(bad.begin() + 2, "");
    EXPECT_FALSE(ReadLines(bad, s));
}

TEST_F(PrfTest, MissingKeysKeepTheCallersValues) {
    auto l = DefaultPrfLines();
    std::erase(l, "DataCountMax:65536");
    std::erase(l, "spsSel:13");
    Settings s;
    s.fft.DataCountMax = 2048;
    s.ad.spsSel = 5;
    ASSERT_TRUE(ReadLines(l, s));
    EXPECT_EQ(s.fft.DataCountMax, 2048);
    EXPECT_EQ(s.ad.spsSel, 5);
}

TEST_F(PrfTest, ValueRulesOfEveryKind) {
    // sinc3 is a number compared with 1.
    Settings s;
    ASSERT_TRUE(ReadLines(With("sinc3:", "sinc3:1.0"), s));
    EXPECT_EQ(s.ad.sinc3, 1);
    ASSERT_TRUE(ReadLines(With("sinc3:", "sinc3:2"), s));
    EXPECT_EQ(s.ad.sinc3, 0);
    EXPECT_FALSE(Accepts("sinc3:", "sinc3:"));
    EXPECT_FALSE(Accepts("sinc3:", "sinc3:one"));
    // Flags are exactly 0 or 1.
    EXPECT_FALSE(Accepts("fWaveGraph:", "fWaveGraph:2"));
    EXPECT_FALSE(Accepts("fWaveGraph:", "fWaveGraph:01"));
    EXPECT_FALSE(Accepts("fWaveGraph:", "fWaveGraph: 1"));
    EXPECT_FALSE(Accepts("fSaveDataFile:", "fSaveDataFile:"));
    // Ranges.
    EXPECT_FALSE(Accepts("spsSel:", "spsSel:14"));
    EXPECT_FALSE(Accepts("spsSel:", "spsSel:-1"));
    EXPECT_FALSE(Accepts("spsSel:", "spsSel:1x"));
    EXPECT_FALSE(Accepts("ch_sel:", "ch_sel:2"));
    EXPECT_FALSE(Accepts("whichWindowFunc:", "whichWindowFunc:4"));
    EXPECT_TRUE(Accepts("whichWindowFunc:", "whichWindowFunc:0"));
    EXPECT_FALSE(Accepts("index_FreqS:", "index_FreqS:15"));
    EXPECT_FALSE(Accepts("PenColorGraph:", "PenColorGraph:red"));
    // Sample counts: powers of two in 1024..262144; a selection index never negative.
    EXPECT_FALSE(Accepts("DataCountMax:", "DataCountMax:1023"));
    EXPECT_FALSE(Accepts("DataCountMax:", "DataCountMax:262145"));
    EXPECT_FALSE(Accepts("DataCountMax:", "DataCountMax:1500"));
    EXPECT_TRUE(Accepts("DataCountMax:", "DataCountMax:1024"));
    EXPECT_TRUE(Accepts("DataCountMax:", "DataCountMax:262144"));
    EXPECT_FALSE(Accepts("DataCountSel:", "DataCountSel:9"));
    EXPECT_FALSE(Accepts("DataCountSel:", "DataCountSel:-1"));
    // DataCountMax is not compared with DataCountSel.
    EXPECT_TRUE(Accepts("DataCountSel:", "DataCountSel:0"));
}

TEST_F(PrfTest, FrequencyEndMustLieAboveTheStart) {
    auto l = With("index_FreqS:", "index_FreqS:3");
    for (auto& s : l)
        if (s == "index_FreqE:14") s = "index_FreqE:3";
    Settings s;
    EXPECT_FALSE(ReadLines(l, s));
    for (auto& x : l)
        if (x == "index_FreqE:3") x = "index_FreqE:4";
    EXPECT_TRUE(ReadLines(l, s));
    // Without a start line the caller's start counts.
    auto noStart = DefaultPrfLines();
    std::erase(noStart, "index_FreqS:0");
    for (auto& x : noStart)
        if (x == "index_FreqE:14") x = "index_FreqE:5";
    Settings t;
    t.fft.index_FreqS = 5;
    EXPECT_FALSE(ReadLines(noStart, t));
    t.fft.index_FreqS = 4;
    EXPECT_TRUE(ReadLines(noStart, t));
    // Without an end line the caller's end counts.
    auto noEnd = With("index_FreqS:", "index_FreqS:12");
    std::erase(noEnd, "index_FreqE:14");
    Settings u;
    u.fft.index_FreqE = 10;
    const Settings uBefore = u;
    EXPECT_FALSE(ReadLines(noEnd, u));
    EXPECT_EQ(u, uBefore);
}

namespace {

// The default file with the two frequency lines given in this order, after the others.
std::vector<std::string> FreqLines(std::vector<std::string> freq) {
    auto l = DefaultPrfLines();
    std::erase(l, "index_FreqS:0");
    std::erase(l, "index_FreqE:14");
    l.insert(std::find(l.begin(), l.end(), "GEND:"), freq.begin(), freq.end());
    return l;
}

} // namespace

TEST_F(PrfTest, FrequencyPairIsJudgedWhateverTheKeyOrder) {
    Settings s;
    EXPECT_FALSE(ReadLines(FreqLines({"index_FreqE:3", "index_FreqS:5"}), s));
    ASSERT_TRUE(ReadLines(FreqLines({"index_FreqE:9", "index_FreqS:5"}), s));
    EXPECT_EQ(s.fft.index_FreqS, 5);
    EXPECT_EQ(s.fft.index_FreqE, 9);
    // An end above the caller's start but below the file's own start.
    Settings t;
    t.fft.index_FreqS = 0;
    EXPECT_FALSE(ReadLines(FreqLines({"index_FreqE:4", "index_FreqS:8"}), t));
    // A repeated key: the last one stands, and the pair must still hold.
    EXPECT_FALSE(ReadLines(FreqLines({"index_FreqS:3", "index_FreqE:4", "index_FreqS:10"}), s));
    EXPECT_TRUE(ReadLines(FreqLines({"index_FreqE:4", "index_FreqE:12", "index_FreqS:10"}), s));
}

TEST_F(PrfTest, WhatIsReadInAnyKeyOrderIsWrittenSoThatItReadsBack) {
    std::mt19937 rng(12);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int accepted = 0, rejected = 0;
    for (int round = 0; round < 400; ++round) {
        auto l = DefaultPrfLines();
        for (auto& x : l) {
            if (x.starts_with("index_FreqS:")) x = "index_FreqS:" + std::to_string(pick(0, 14));
            if (x.starts_with("index_FreqE:")) x = "index_FreqE:" + std::to_string(pick(0, 14));
            if (x.starts_with("index_dB_max:")) x = "index_dB_max:" + std::to_string(pick(-1, 17));
            if (x.starts_with("index_dB_min:")) x = "index_dB_min:" + std::to_string(pick(1, 21));
            if (x.starts_with("fAbsoGraph:")) x = "fAbsoGraph:" + std::to_string(pick(0, 1));
            if (x.starts_with("whichWindowFunc:"))
                x = "whichWindowFunc:" + std::to_string(pick(0, 3));
        }
        // Shuffle the body of every section.
        for (const auto& [open, close] :
             {std::pair{"A:", "AEND:"}, {"F:", "FEND:"}, {"G:", "GEND:"}}) {
            auto b = std::find(l.begin(), l.end(), open) + 1;
            auto e = std::find(b, l.end(), close);
            std::shuffle(b, e, rng);
        }
        Settings first;
        if (!ReadLines(l, first)) {
            ++rejected;
            continue;
        }
        ++accepted;
        EXPECT_LT(first.fft.index_FreqS, first.fft.index_FreqE);
        EXPECT_TRUE(CheckdBRange(first.fft));
        const std::string path = dir.file("again.prf");
        ASSERT_TRUE(f.WritePrf(path, PRF_HEADER, &first.fft, &first.file, &first.ad));
        // Read over other values: the written file stands on its own.
        Settings second;
        second.fft.index_FreqS = 13;
        second.fft.index_FreqE = 14;
        second.fft.fAbsoGraph = 0;
        second.fft.index_dB_min = 20;
        ASSERT_TRUE(f.ReadPrf(path, PRF_HEADER, &second.fft, &second.file, &second.ad))
            << TempDir::Read(path);
        EXPECT_EQ(second, first);
    }
    // Both outcomes are well represented, so the check above means something.
    EXPECT_GT(accepted, 40);
    EXPECT_GT(rejected, 40);
}

TEST_F(PrfTest, DbIndicesOffTheScaleRejectTheFileAndChangeNothing) {
    Settings held;
    held.fft.index_dB_min = 9;
    held.ad.spsSel = 4;
    const Settings before = held;
    const std::pair<const char*, const char*> bad[] = {
        {"index_dB_max:", "index_dB_max:-1"},         {"index_dB_max:", "index_dB_max:-2147483648"},
        {"index_dB_min:", "index_dB_min:2147483647"}, {"index_dB_min:", "index_dB_min:21"},
        {"index_dB_min:", "index_dB_min:2"},          {"index_dB_max:", "index_dB_max:17"},
        {"index_dB_max:", "index_dB_max:-99"},
    };
    for (const auto& [key, line] : bad) {
        EXPECT_FALSE(ReadLines(With(key, line), held)) << line;
        EXPECT_EQ(held, before);
    }
    // The whole section decides: a top above a bottom that is only changed later is fine.
    auto late = With("index_dB_max:", "index_dB_max:16");
    std::erase(late, "index_dB_min:17");
    late.insert(std::find(late.begin(), late.end(), "GEND:"), "index_dB_min:20");
    EXPECT_TRUE(ReadLines(late, held));
    EXPECT_EQ(held.fft.index_dB_max, 16);
    EXPECT_EQ(held.fft.index_dB_min, 20);
    // Relative dB keeps the top at 0 dB.
    Settings rel;
    EXPECT_TRUE(ReadLines(With("fAbsoGraph:", "fAbsoGraph:0"), rel));
    auto relTop = With("fAbsoGraph:", "fAbsoGraph:0");
    for (auto& x : relTop)
        if (x == "index_dB_max:2") x = "index_dB_max:3";
    Settings relHeld;
    EXPECT_FALSE(ReadLines(relTop, relHeld));
    EXPECT_EQ(relHeld, Settings{});
}

TEST_F(PrfTest, PathValuesStayWhole) {
    Settings s;
    ASSERT_TRUE(ReadLines(With("DataFileName:", "DataFileName:C:\\data\\a:b.DTA"), s));
    EXPECT_EQ(s.file.DataFileName, "C:\\data\\a:b.DTA");
    const std::string longPath = "/" + std::string(600, 'x') + "/run.DTA";
    ASSERT_TRUE(ReadLines(With("DataFileName:", "DataFileName:" + longPath), s));
    EXPECT_EQ(s.file.DataFileName, longPath);
}

TEST_F(PrfTest, SectionLineLimits) {
    // 100 body lines without an end: "A:" counts as complete, "G:" fails.
    auto l = DefaultPrfLines();
    auto a = std::find(l.begin(), l.end(), "AEND:");
    *a = "other:";
    l.insert(a, 95, "filler:1"); // 3 key lines + 95 + "other:" + 1 more = 100
    l.insert(std::find(l.begin(), l.end(), "other:") + 1, "filler:2");
    Settings s;
    EXPECT_TRUE(ReadLines(l, s));

    auto g = DefaultPrfLines();
    auto gend = std::find(g.begin(), g.end(), "GEND:");
    g.insert(gend, 82, "filler:1"); // 18 key lines + 82 = 100 lines, then GEND too late
    EXPECT_FALSE(ReadLines(g, s));
    auto g99 = DefaultPrfLines();
    g99.insert(std::find(g99.begin(), g99.end(), "GEND:"), 81, "filler:1");
    EXPECT_TRUE(ReadLines(g99, s));
}

TEST_F(PrfTest, EndMarkerIsMatchedByItsKeyAlone) {
    auto l = DefaultPrfLines();
    for (auto& s : l)
        if (s == "AEND:") s = "AEND:anything";
    Settings s;
    EXPECT_TRUE(ReadLines(l, s));
}

TEST_F(PrfTest, BadFilesChangeNothing) {
    Settings held;
    held.ad = {2, 0, 1};
    held.fft.index_dB_min = 9;
    held.file = {1, "/d/a.DTA", "then"};
    const Settings before = held;
    const std::string big = std::string(10 << 20, 'x');
    std::vector<std::vector<std::string>> bad = {
        {},
        {"Kalvexini"},
        {"Kalvexini", "A:", "spsSel:3", "AEND:", "F:"},
        {"Kalvexini", std::string("\0\x01\xff\xfe", 4), big},
        With("spsSel:", "spsSel:3\x01"),
        With("DataCountMax:", "DataCountMax:99999999999999999999"),
    };
    auto truncated = DefaultPrfLines();
    truncated.pop_back();
    bad.push_back(truncated);
    for (const auto& lines : bad) {
        EXPECT_FALSE(ReadLines(lines, held));
        EXPECT_EQ(held, before);
    }
    EXPECT_FALSE(f.ReadPrf(dir.file("absent.prf"), PRF_HEADER, &held.fft, &held.file, &held.ad));
    EXPECT_FALSE(f.ReadPrf(dir.path(), PRF_HEADER, &held.fft, &held.file, &held.ad));
    EXPECT_FALSE(f.ReadPrf(dir.file("t.prf"), PRF_HEADER, nullptr, &held.file, &held.ad));
    EXPECT_EQ(held, before);
}

TEST_F(PrfTest, LinesEndingInLfAloneOrWithStrayCrAreRead) {
    std::string text;
    for (auto& l : DefaultPrfLines())
        text += l + "\n";
    text.replace(text.find("spsSel:13"), 9, "spsSel:1\r2");
    const std::string path = dir.file("lf.prf");
    TempDir::Write(path, text);
    Settings s;
    ASSERT_TRUE(f.ReadPrf(path, PRF_HEADER, &s.fft, &s.file, &s.ad));
    EXPECT_EQ(s.ad.spsSel, 12);
}
